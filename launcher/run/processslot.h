#pragma once

#include "launcher/run/privatestores.h"
#include "launcher/run/scanslot.h"

#include <QProcessEnvironment>

namespace ombrel {

// Today's way to run a scan: one scanner process per plug-in, started with
// a private result store (XDG_CONFIG_HOME in a folder of PrivateStores), in
// a process group of its own that is killed when the scan ends, however it
// ends; on Linux it dies with the thread that started it. Reads the path's
// group back from the private store after any exit, for the verdict to judge.
class ProcessSlotFactory : public ScanSlotFactory
{
public:
    explicit ProcessSlotFactory(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());

    // Where each process cannot have a store of its own, scans would share
    // the user's: then one at a time.
    int slotCount(int wanted) const override;
    std::unique_ptr<ScanSlot> makeSlot() override;

    // Whether each scanner process can be given a store of its own.
    static bool privateStorePerProcess();

private:
    QProcessEnvironment m_environment;
    PrivateStores m_stores;
};

} // namespace ombrel
