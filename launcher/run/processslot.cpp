#include "launcher/run/processslot.h"

#include "contract/storerecord.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QTimer>

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
[[maybe_unused]] void prepareScannerChild([[maybe_unused]] qint64 launcher)
{
#if defined(Q_OS_UNIX)
    ::setpgid(0, 0);
    // The scanner writes nothing to stdout, but a plug-in may: send it
    // where the scanner's lines go, so that a failed scan's kept lines
    // hold the plug-in's own output too (bounded like the rest).
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
#endif
#if defined(Q_OS_LINUX)
    // Dies with the launcher, whatever kills it (the signal comes when the
    // thread that started it ends). Had the launcher died before this was
    // set, the child would have another parent already: end now.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (qint64(::getppid()) != launcher)
        ::_exit(127);
#endif
}

// A scanner process in a process group of its own: a terminal's Ctrl-C
// reaches the launcher alone, which then decides what becomes of the scans
// in flight, and killing the group also ends what a plug-in started.
class ScannerProcess : public QProcess
{
public:
    ScannerProcess()
    {
#if defined(Q_OS_UNIX) && QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        const qint64 launcher = QCoreApplication::applicationPid();
        setChildProcessModifier([launcher] { prepareScannerChild(launcher); });
#endif
    }

protected:
#if defined(Q_OS_UNIX) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void setupChildProcess() override
    {
        prepareScannerChild(m_launcher);
    }

private:
    qint64 m_launcher = QCoreApplication::applicationPid();
#endif
};

class ProcessSlot : public ScanSlot
{
public:
    ProcessSlot(const QProcessEnvironment &environment, PrivateStores &stores)
        : m_environment(environment)
        , m_stores(stores)
    {
    }

    ~ProcessSlot() override
    {
        if (m_process) {
            killGroup();
            m_process->disconnect();
            m_process->waitForFinished(-1); // reaped, so its group id cannot be reused while we think it ours
            delete m_process;
        }
        PrivateStores::remove(m_configHome);
    }

    void start(const ScanRequest &request, EndHandler ended) override;

    void abort() override
    {
        if (m_process)
            killGroup();
    }

private:
    void killGroup();
    void processEnded(int exitCode, QProcess::ExitStatus status);
    void report(ProcessEnd end);

    QObject m_context; // for calls from the event loop, which end with the slot
    QProcessEnvironment m_environment;
    PrivateStores &m_stores;
    ScannerProcess *m_process = nullptr;
    ScanRequest m_request;
    EndHandler m_ended;
    QString m_configHome; // the private store's folder
    OutputCapture m_output;
    QElapsedTimer m_clock;
    qint64 m_pid = 0; // also its process group's id
};

void ProcessSlot::start(const ScanRequest &request, EndHandler ended)
{
    m_request = request;
    m_ended = std::move(ended);
    m_output = OutputCapture();
    m_clock.start();
    m_pid = 0;

    QProcessEnvironment environment = m_environment;
    QString failure;
    if (ProcessSlotFactory::privateStorePerProcess()) {
        m_configHome = m_stores.newFolder(&failure);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
    }
    if (!failure.isEmpty()) {
        // Reported from the event loop, as a failure to start is.
        ProcessEnd end;
        end.failure = failure;
        QTimer::singleShot(0, &m_context, [this, end] { report(end); });
        return;
    }

    m_process = new ScannerProcess;
    m_process->setProcessEnvironment(environment);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setProgram(request.scanner);
    m_process->setArguments({request.path});
    // Read as it comes, so that the pipe never holds more than it can, and
    // kept only as far as OutputCapture keeps it.
    QObject::connect(m_process, &QProcess::readyReadStandardError, m_process,
                     [this] { m_output.append(m_process->readAllStandardError()); });
    QObject::connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), m_process,
                     [this](int code, QProcess::ExitStatus status) { processEnded(code, status); });
    // Reported after start() has returned, never from inside it.
    QObject::connect(
        m_process, &QProcess::errorOccurred, m_process,
        [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart || !m_process)
                return;
            ProcessEnd end;
            end.failure = QStringLiteral("cannot start the scanner: ") + m_process->errorString();
            m_process->deleteLater();
            m_process = nullptr;
            report(end);
        },
        Qt::QueuedConnection);
    m_process->start();
    m_pid = m_process->processId();
}

void ProcessSlot::killGroup()
{
#if defined(Q_OS_UNIX)
    // Only while running: once reaped, the id may belong to another.
    if (m_process->state() != QProcess::NotRunning && m_pid > 0)
        ::kill(-pid_t(m_pid), SIGKILL);
#endif
    m_process->kill();
}

void ProcessSlot::processEnded(int exitCode, QProcess::ExitStatus status)
{
    m_output.append(m_process->readAllStandardError());
    ProcessEnd end;
    if (status == QProcess::CrashExit) {
        // Qt reports the terminating signal as the exit code of a crash.
        end.ending = ProcessEnd::Ending::Crashed;
        end.signal = exitCode;
    } else {
        end.ending = ProcessEnd::Ending::Exited;
        end.exitCode = exitCode;
        if (exitCode == 0)
            end.record = readPluginRecord(m_configHome.isEmpty() ? userStoreFile() : storeFileIn(m_configHome),
                                          m_request.path);
    }
#if defined(Q_OS_UNIX)
    // What the plug-in started goes with the scan, even when the scan ended
    // on its own. A group with members left keeps its id from being given
    // to a new process, so this reaches only them.
    if (m_pid > 0)
        ::kill(-pid_t(m_pid), SIGKILL);
#endif
    m_process->deleteLater(); // we are inside one of its signals
    m_process = nullptr;
    report(std::move(end));
}

void ProcessSlot::report(ProcessEnd end)
{
    end.output = m_output;
    end.milliseconds = m_clock.elapsed();
    end.endedAt = QDateTime::currentDateTimeUtc();
    end.scanner = m_request.scanner;
    PrivateStores::remove(m_configHome);
    m_configHome.clear();
    // Last: the handler may start the next scan in this slot.
    const EndHandler ended = std::move(m_ended);
    m_ended = nullptr;
    if (ended)
        ended(end);
}

} // namespace

ProcessSlotFactory::ProcessSlotFactory(QProcessEnvironment environment)
    : m_environment(std::move(environment))
{
}

bool ProcessSlotFactory::privateStorePerProcess()
{
    // The settings facility places user INI files under XDG_CONFIG_HOME on
    // Unix desktops other than macOS; elsewhere it cannot be moved.
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return true;
#else
    return false;
#endif
}

int ProcessSlotFactory::slotCount(int wanted) const
{
    return privateStorePerProcess() ? wanted : 1;
}

std::unique_ptr<ScanSlot> ProcessSlotFactory::makeSlot()
{
    return std::make_unique<ProcessSlot>(m_environment, m_stores);
}

} // namespace ombrel
