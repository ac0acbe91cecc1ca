#include "launcher/run/childprocess.h"

#include <QCoreApplication>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <sys/prctl.h>
#endif

namespace ombrel {

namespace {

// Runs in the child between fork and exec.
[[maybe_unused]] void prepareChild([[maybe_unused]] qint64 launcher, [[maybe_unused]] bool mergeOutput)
{
#if defined(Q_OS_UNIX)
    ::setpgid(0, 0);
    if (mergeOutput)
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
#endif
#if defined(Q_OS_LINUX)
    // Had the launcher died before this was set, the child would have
    // another parent already: end now.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (qint64(::getppid()) != launcher)
        ::_exit(127);
#endif
}

} // namespace

ChildProcess::ChildProcess(bool mergeOutput)
    : m_launcher(QCoreApplication::applicationPid())
    , m_mergeOutput(mergeOutput)
{
#if defined(Q_OS_UNIX) && QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const qint64 launcher = m_launcher;
    setChildProcessModifier([launcher, mergeOutput] { prepareChild(launcher, mergeOutput); });
#endif
}

#if defined(Q_OS_UNIX) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
void ChildProcess::setupChildProcess()
{
    prepareChild(m_launcher, m_mergeOutput);
}
#endif

void ChildProcess::killGroup()
{
#if defined(Q_OS_UNIX)
    if (state() != QProcess::NotRunning && processId() > 0)
        ::kill(-pid_t(processId()), SIGKILL);
#endif
    kill();
}

} // namespace ombrel
