#include "scanrunner.h"

#include "elfexports.h"
#include "privatestores.h"
#include "scanlog.h"
#include "scanneroutput.h"

#include "contract/lines.h"
#include "contract/outcome.h"
#include "contract/storerecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <list>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <sys/prctl.h>
#endif

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

    void killGroup()
    {
#if defined(Q_OS_UNIX)
        // Only while running: once reaped, the id may belong to another.
        if (state() != QProcess::NotRunning && processId() > 0)
            ::kill(-pid_t(processId()), SIGKILL);
#endif
        kill();
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

} // namespace

struct ScanRunner::State
{
    struct Job
    {
        QString path;
        ScannerProcess *process = nullptr;
        QString configHome;   // the private store's folder
        QString failure;      // why it could not be started, on our side
        ScannerOutput output; // what is kept of its standard error
        QElapsedTimer clock;
        QTimer limit;
        qint64 pid = 0; // also its process group's id
        bool timedOut = false;
        bool failedToStart = false;
    };

    QEventLoop *loop = nullptr;
    QStringList queue;
    int next = 0;
    std::list<std::unique_ptr<Job>> running;
    bool cancelled = false;
    std::function<void(const ScanResult &)> onResult;
    std::function<void(const QString &)> onStarted;
    PrivateStores stores;
};

ScanRunner::ScanRunner(RunnerOptions options)
    : d(new State)
    , m_options(std::move(options))
{
    if (!privateStorePerProcess())
        m_options.jobs = 1;
    m_options.jobs = qMax(1, m_options.jobs);
}

ScanRunner::~ScanRunner() = default;

bool ScanRunner::privateStorePerProcess()
{
    // The settings facility places user INI files under XDG_CONFIG_HOME on
    // Unix desktops other than macOS; elsewhere it cannot be moved.
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return true;
#else
    return false;
#endif
}

void ScanRunner::cancel()
{
    d->cancelled = true;
    for (const auto &job : d->running)
        job->process->killGroup();
    if (d->running.empty() && d->loop)
        d->loop->quit();
}

bool ScanRunner::wasCancelled() const
{
    return d->cancelled;
}

void ScanRunner::run(const QStringList &paths, const std::function<void(const ScanResult &)> &onResult,
                     const std::function<void(const QString &)> &onStarted)
{
    QEventLoop loop;
    d->loop = &loop;
    d->queue = paths;
    d->next = 0;
    d->onResult = onResult;
    d->onStarted = onStarted;

    const QProcessEnvironment baseEnv = QProcessEnvironment::systemEnvironment();

    std::function<void()> startMore;
    auto finish = [this, &startMore](State::Job *job, int exitCode, QProcess::ExitStatus status) {
        ScanResult result;
        result.path = job->path;
        result.milliseconds = job->clock.elapsed();
        result.scannedAt = QDateTime::currentDateTimeUtc();
        result.exitCode = exitCode;
        result.scanner = job->process->program();
        job->output.append(job->process->readAllStandardError());
        if (!job->failure.isEmpty()) {
            // Not a plug-in's doing: the scanner could not be run for it.
            result.outcome = ScanOutcome::Failed;
            result.failure = job->failure;
        } else if (job->timedOut) {
            result.outcome = ScanOutcome::TimedOut;
        } else if (job->failedToStart) {
            result.outcome = ScanOutcome::Failed;
            result.failure = QStringLiteral("cannot start the scanner: ") + job->process->errorString();
        } else if (status == QProcess::CrashExit) {
            // Qt reports the terminating signal as the exit code of a crash.
            result.outcome = ScanOutcome::Crashed;
            result.signal = exitCode;
        } else if (exitCode == OutcomeOk) {
            result.info = readPluginRecord(job->configHome.isEmpty() ? userStoreFile() : storeFileIn(job->configHome),
                                           job->path);
            result.outcome = result.info.name.isEmpty() ? ScanOutcome::Failed : ScanOutcome::Ok;
            // The scanner said it wrote the record: not finding it is our
            // side's failure (out of file descriptors, say), not the plug-in's.
            // Without that last line, the plug-in ended the process itself.
            if (result.info.name.isEmpty() && job->output.lastLine() == quoted(statusText(OutcomeOk)).toUtf8())
                result.failure = QStringLiteral("the scanner's result could not be read");
        } else if (exitCode == OutcomeNotFound) {
            result.outcome = ScanOutcome::Missing;
        } else if (exitCode == OutcomeNoName) {
            const QString head = QString::fromUtf8(job->output.head());
            result.outcome = head.contains(banLineText()) ? ScanOutcome::Banned : ScanOutcome::NotAPlugin;
            if (result.outcome == ScanOutcome::NotAPlugin)
                result.cause = notAPluginCause(job->path);
        } else {
            result.outcome = ScanOutcome::Failed;
        }

        if (result.outcome != ScanOutcome::Ok)
            result.lines = keptLines(job->output.head() + job->output.tail());

        job->limit.stop();
#if defined(Q_OS_UNIX)
        // What the plug-in started goes with the scan, even when the scan
        // ended on its own. A group with members left keeps its id from
        // being given to a new process, so this reaches only them.
        if (job->pid > 0)
            ::kill(-pid_t(job->pid), SIGKILL);
#endif
        PrivateStores::remove(job->configHome);
        job->process->deleteLater(); // we are inside one of its signals
        d->running.remove_if([job](const std::unique_ptr<State::Job> &j) { return j.get() == job; });
        if (!d->cancelled && d->onResult)
            d->onResult(result);
        startMore();
    };

    startMore = [this, &finish, &baseEnv, &loop]() {
        while (!d->cancelled && int(d->running.size()) < m_options.jobs && d->next < d->queue.size()) {
            auto job = std::make_unique<State::Job>();
            State::Job *raw = job.get();
            job->path = d->queue.at(d->next++);
            job->process = new ScannerProcess;
            QProcessEnvironment env = baseEnv;
            if (privateStorePerProcess()) {
                job->configHome = d->stores.newFolder(&job->failure);
                env.insert(QStringLiteral("XDG_CONFIG_HOME"), job->configHome);
            }
            job->process->setProcessEnvironment(env);
            job->process->setStandardOutputFile(QProcess::nullDevice());
            job->process->setProgram(m_options.scannerFor ? m_options.scannerFor(job->path) : m_options.scanner);
            job->process->setArguments({job->path});
            // Read as it comes, so that the pipe never holds more than it
            // can, and kept only as far as ScannerOutput keeps it.
            QObject::connect(job->process, &QProcess::readyReadStandardError, job->process,
                             [raw] { raw->output.append(raw->process->readAllStandardError()); });
            QObject::connect(job->process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), job->process,
                             [raw, &finish](int code, QProcess::ExitStatus status) { finish(raw, code, status); });
            job->limit.setSingleShot(true);
            job->limit.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5% early
            QObject::connect(&job->limit, &QTimer::timeout, [raw] {
                raw->timedOut = true;
                raw->process->killGroup();
            });
            // Reported after start() has returned, never from inside it.
            QObject::connect(
                job->process, &QProcess::errorOccurred, job->process,
                [raw, &finish](QProcess::ProcessError error) {
                    if (error == QProcess::FailedToStart) {
                        raw->failedToStart = true;
                        finish(raw, raw->process->exitCode(), QProcess::NormalExit);
                    }
                },
                Qt::QueuedConnection);
            d->running.push_back(std::move(job));
            raw->clock.start();
            if (!raw->failure.isEmpty()) {
                // Reported from the event loop, as a failure to start is.
                QTimer::singleShot(0, raw->process, [raw, &finish] { finish(raw, -1, QProcess::NormalExit); });
                continue;
            }
            raw->process->start();
            raw->pid = raw->process->processId();
            raw->limit.start(m_options.timeLimitMs);
            if (d->onStarted)
                d->onStarted(raw->path);
        }
        if (d->running.empty())
            loop.quit();
    };

    startMore();
    if (!d->running.empty())
        loop.exec();
    d->loop = nullptr;
}
