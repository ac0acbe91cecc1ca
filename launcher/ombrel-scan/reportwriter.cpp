#include "reportwriter.h"

#include "launcher/core/systemerror.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

using namespace ombrel;

bool writeStandardOutput(const QByteArray &text, QString *error)
{
    errno = 0;
    const bool written = std::fwrite(text.constData(), 1, size_t(text.size()), stdout) == size_t(text.size())
        && std::fflush(stdout) == 0;
    if (written)
        return true;
    const int reason = errno;
    if (reason == EPIPE) {
        // SIGPIPE may be ignored (Qt's process code does so); end as if it
        // were not.
        std::signal(SIGPIPE, SIG_DFL);
        std::raise(SIGPIPE);
    }
    *error = QStringLiteral("cannot write the report to standard output (%1)")
                 .arg(systemError(reason != 0 ? reason : EIO));
    return false;
}
