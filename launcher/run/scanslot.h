#pragma once

#include "launcher/run/scanrequest.h"

#include <functional>
#include <memory>

namespace ombrel {

// A place where one scan runs at a time: a scanner process started per
// plug-in, a scan server in a sandbox, or a test double. The runner keeps
// the queue and the time limits; a slot only runs what it is handed.
class ScanSlot
{
public:
    using EndHandler = std::function<void(const ProcessEnd &end)>;

    virtual ~ScanSlot() = default; // ends a scan still in flight, reporting nothing

    // Starts scanning request.path. `ended` is called exactly once, from the
    // event loop of the calling thread and never from inside start(),
    // unless the slot is destroyed first.
    virtual void start(const ScanRequest &request, EndHandler ended) = 0;

    // Kills the scan in flight with every process it started. Its end is
    // still reported, with what the process printed until then.
    virtual void abort() = 0;
};

// Makes the slots of one run, all alike.
class ScanSlotFactory
{
public:
    virtual ~ScanSlotFactory() = default;

    // How many slots may run at once when `wanted` (at least 1) are asked for.
    virtual int slotCount(int wanted) const = 0;

    virtual std::unique_ptr<ScanSlot> makeSlot() = 0;
};

} // namespace ombrel
