#include "pluginexitguard.h"

#include "diagnostics.h"

#include "contract/lines.h"
#include "contract/outcome.h"

#include <atomic>
#include <cstdlib>
#include <unistd.h>

namespace {

std::atomic<bool> pluginCodeRunning{false};

// Composed before the plug-in runs, so the handler needs no allocation.
QByteArray &unspecifiedFailureLine()
{
    static QByteArray line = diagnosticLineBytes(quoted(statusText(OutcomeUnspecified)));
    return line;
}

void endAsUnspecifiedFailure()
{
    if (!pluginCodeRunning.load())
        return;
    const QByteArray &line = unspecifiedFailureLine();
    // Written directly: the plug-in may have exited from any thread, and
    // stdio or Qt might be held by another one.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.constData(), size_t(line.size()));
    ::_exit(OutcomeUnspecified);
}

} // namespace

PluginExitGuard::PluginExitGuard()
{
    // Registered once, and late: exit handlers run in reverse order, so
    // this one runs before those of Qt and of the scanner registered earlier.
    static const bool registered = [] {
        unspecifiedFailureLine();
        return std::atexit(endAsUnspecifiedFailure) == 0 && std::at_quick_exit(endAsUnspecifiedFailure) == 0;
    }();
    (void)registered;
    pluginCodeRunning = true;
}

PluginExitGuard::~PluginExitGuard()
{
    pluginCodeRunning = false;
}
