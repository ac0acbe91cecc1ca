#pragma once

namespace ombrel {

// Qt delivers no event, timer or process end in any thread of a process
// without a QCoreApplication. A host that has one keeps it; for a host that
// has none, one is made once, on a thread of its own that runs its event
// loop until the process exits (then both end), with the host's locale left as it was
// (except LC_CTYPE, which Qt needs in UTF-8). False only when that thread
// cannot be started. Safe from any thread.
bool ensureQtRuntime();

} // namespace ombrel
