#include "launcher/run/processslot.h"

#include "launcher/run/childprocess.h"
#include "launcher/run/slotscan.h"

#include "contract/filedescription.h"
#include "contract/storerecord.h"

#include <QPointer>
#include <QProcess>
#include <QTimer>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <unistd.h>
#endif

namespace ombrel {

namespace {

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
    // Beside the private store, where the scanner is asked to describe the file.
    QString descriptionFile() const { return m_configHome + QStringLiteral("/description.json"); }
    void killGroup();
    void processEnded(int exitCode, QProcess::ExitStatus status);
    void report(ProcessEnd end);

    QObject m_context; // for calls from the event loop, which end with the slot
    QProcessEnvironment m_environment;
    PrivateStores &m_stores;
    ChildProcess *m_process = nullptr;
    SlotScan m_scan;
    QString m_configHome; // the private store's folder
    qint64 m_pid = 0;     // also its process group's id
};

void ProcessSlot::start(const ScanRequest &request, EndHandler ended)
{
    m_scan.begin(request, std::move(ended));
    m_pid = 0;

    QProcessEnvironment environment = m_environment;
    QString failure;
    if (ProcessSlotFactory::privateStorePerProcess()) {
        m_configHome = m_stores.newFolder(&failure);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
        environment.insert(QString::fromLatin1(descriptionFileVariable()), descriptionFile());
    }
    environment.insert(QString::fromLatin1(scanFormatVariable()), request.format);
    if (!failure.isEmpty()) {
        // Reported from the event loop, as a failure to start is.
        ProcessEnd end;
        end.failure = failure;
        QTimer::singleShot(0, &m_context, [this, end] { report(end); });
        return;
    }

    m_process = new ChildProcess(true);
    m_process->setProcessEnvironment(environment);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setProgram(request.scanner);
    m_process->setArguments({request.path});
    // Read as it comes, so that the pipe never holds more than it can, and
    // kept only as far as OutputCapture keeps it.
    QObject::connect(m_process, &QProcess::readyReadStandardError, m_process,
                     [this] { m_scan.output().append(m_process->readAllStandardError()); });
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
    m_process->killGroup();
}

void ProcessSlot::processEnded(int exitCode, QProcess::ExitStatus status)
{
    m_scan.output().append(m_process->readAllStandardError());
    ProcessEnd end;
    if (status == QProcess::CrashExit) {
        // Qt reports the terminating signal as the exit code of a crash.
        end.ending = ProcessEnd::Ending::Crashed;
        end.signal = exitCode;
    } else {
        end.ending = ProcessEnd::Ending::Exited;
        end.exitCode = exitCode;
        // Read whatever the exit: what the code means is the verdict's to say.
        end.record = readPluginRecord(m_configHome.isEmpty() ? userStoreFile() : storeFileIn(m_configHome),
                                      m_scan.request().path);
        end.described = !m_configHome.isEmpty() && readFileDescription(descriptionFile(), &end.description);
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
    PrivateStores::remove(m_configHome);
    m_configHome.clear();
    m_scan.finish(std::move(end));
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
