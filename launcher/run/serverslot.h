#pragma once

#include "launcher/run/privatestores.h"
#include "launcher/run/sandbox.h"
#include "launcher/run/scanslot.h"

namespace ombrel {

// How the scan servers of a run are started.
struct ServerSlotSettings
{
    QString server;         // ombrel-scan-server
    bool sandboxed = false; // in bubblewrap (sandbox.h); else started directly
    SandboxLayout sandbox;  // when sandboxed
    qint64 memoryLimit = 0; // bytes of data per scan; 0: none
    QString protection;     // what each result says protected it
};

// Slots that each keep one scan server running for the whole run, so the
// cost of a sandbox is paid once per slot, not per plug-in. The server
// forks the scanner for each request exactly as a host would start it and
// reads the record back inside, so nothing outside reads a file a plug-in
// could have written. A server that dies (a plug-in killed it, where no
// sandbox could be had) ends only its scan; the next scan starts a new one.
class ServerSlotFactory : public ScanSlotFactory
{
public:
    explicit ServerSlotFactory(ServerSlotSettings settings);

    int slotCount(int wanted) const override { return wanted; }
    std::unique_ptr<ScanSlot> makeSlot() override;

private:
    ServerSlotSettings m_settings;
    PrivateStores m_stores; // for servers outside a sandbox
};

} // namespace ombrel
