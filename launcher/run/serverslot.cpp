#include "launcher/run/serverslot.h"

#include "launcher/run/childprocess.h"
#include "launcher/run/slotscan.h"

#include "contract/serverprotocol.h"
#include "contract/storerecord.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <csignal>

namespace ombrel {

using namespace scanserver;

namespace {

class ServerSlot : public ScanSlot
{
public:
    ServerSlot(const ServerSlotSettings &settings, PrivateStores &stores)
        : m_settings(settings)
        , m_stores(stores)
    {
    }
    ~ServerSlot() override { stopServer(); }

    void start(const ScanRequest &request, EndHandler ended) override;
    void abort() override;

private:
    bool startServer(QString *failure);
    void stopServer();
    void readFrames();
    void serverEnded(int exitCode, QProcess::ExitStatus status);
    void sendScan();
    void scanEnded(const QList<QByteArray> &fields);
    void report(ProcessEnd end);

    const ServerSlotSettings &m_settings;
    PrivateStores &m_stores;
    QObject m_context; // for calls from the event loop, which end with the slot
    ChildProcess *m_server = nullptr;
    QString m_storeBase; // outside a sandbox: this slot's private folder
    FrameReader m_frames;
    QByteArray m_serverErrors; // what bubblewrap or the server itself said, bounded
    bool m_ready = false;
    SlotScan m_scan;
};

bool ServerSlot::startServer(QString *failure)
{
    QStringList arguments;
    QString program = m_settings.server;
    if (m_settings.sandboxed) {
        program = m_settings.sandbox.bubblewrap;
        arguments = sandboxArguments(m_settings.sandbox);
    } else {
        if (m_storeBase.isEmpty())
            m_storeBase = m_stores.newFolder(failure);
        if (m_storeBase.isEmpty())
            return false;
        arguments = QStringList{m_storeBase};
    }
    m_server = new ChildProcess(false);
    m_server->setProgram(program);
    m_server->setArguments(arguments);
    m_frames = FrameReader();
    m_serverErrors.clear();
    m_ready = false;
    QObject::connect(m_server, &QProcess::readyReadStandardOutput, m_server, [this] { readFrames(); });
    QObject::connect(m_server, &QProcess::readyReadStandardError, m_server,
                     [this] { m_serverErrors = (m_serverErrors + m_server->readAllStandardError()).right(4096); });
    QObject::connect(m_server, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), m_server,
                     [this](int code, QProcess::ExitStatus status) { serverEnded(code, status); });
    QObject::connect(
        m_server, &QProcess::errorOccurred, m_server,
        [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                serverEnded(-1, QProcess::NormalExit);
        },
        Qt::QueuedConnection);
    m_server->start();
    return true;
}

void ServerSlot::stopServer()
{
    if (!m_server)
        return;
    m_server->disconnect();
    // Told first, so that it kills what a scan left; then made sure of.
    m_server->closeWriteChannel();
    if (!m_server->waitForFinished(500))
        m_server->killGroup();
    m_server->waitForFinished(-1);
    delete m_server;
    m_server = nullptr;
    PrivateStores::remove(m_storeBase);
    m_storeBase.clear();
}

void ServerSlot::start(const ScanRequest &request, EndHandler ended)
{
    m_scan.begin(request, std::move(ended));
    QString failure;
    if (!m_server && !startServer(&failure)) {
        ProcessEnd end;
        end.failure = failure;
        QTimer::singleShot(0, &m_context, [this, end] { report(end); });
        return;
    }
    if (m_ready)
        sendScan();
}

void ServerSlot::sendScan()
{
    const QByteArray limit = QByteArray::number(m_settings.memoryLimit);
    m_server->write(
        frame(Frame::Scan,
              joinFields({QFile::encodeName(m_scan.request().scanner), QFile::encodeName(m_scan.request().path), limit,
                          m_scan.request().format.toLatin1()})));
}

void ServerSlot::abort()
{
    if (m_server && m_scan.inFlight())
        m_server->write(frame(Frame::Abort));
}

void ServerSlot::readFrames()
{
    m_frames.append(m_server->readAllStandardOutput());
    Frame type;
    QByteArray payload;
    bool broken = false;
    while (m_server && m_frames.next(&type, &payload, &broken)) {
        switch (type) {
        case Frame::Ready:
            m_ready = true;
            if (m_scan.inFlight())
                sendScan();
            break;
        case Frame::Output:
            m_scan.output().append(payload);
            break;
        case Frame::Ended:
            scanEnded(splitFields(payload));
            break;
        case Frame::NotRun: {
            ProcessEnd end;
            end.failure = QString::fromLocal8Bit(payload);
            report(end);
            break;
        }
        default:
            broken = true;
        }
        if (broken)
            break;
    }
    if (broken && m_server)
        m_server->killGroup(); // reported as the server's end
}

void ServerSlot::scanEnded(const QList<QByteArray> &fields)
{
    ProcessEnd end;
    const bool signalled = fields.value(0) == "signal";
    end.ending = signalled ? ProcessEnd::Ending::Crashed : ProcessEnd::Ending::Exited;
    (signalled ? end.signal : end.exitCode) = fields.value(1).toInt();
    end.memoryLimitHit = fields.value(2) == "1";
    if (!fields.value(3).isEmpty())
        end.record = recordFromJson(QJsonDocument::fromJson(fields.at(3)).object());
    end.described = fileDescriptionFromBytes(fields.value(4), &end.description);
    report(end);
}

void ServerSlot::serverEnded(int exitCode, QProcess::ExitStatus status)
{
    const bool wasReady = m_ready;
    m_server->deleteLater(); // we may be inside one of its signals
    m_server = nullptr;
    m_ready = false;
    if (!m_scan.inFlight())
        return;
    ProcessEnd end;
    if (wasReady) {
        // Gone during a scan: the scan's doing, where a plug-in can reach
        // the server (no sandbox), or it broke the stream.
        end.ending = ProcessEnd::Ending::Crashed;
        end.signal = status == QProcess::CrashExit ? exitCode : SIGKILL;
    } else {
        const QString said = QString::fromLocal8Bit(m_serverErrors).trimmed().section(QLatin1Char('\n'), -1);
        end.failure = m_settings.sandboxed
            ? QStringLiteral("the sandbox could not be started (%1)")
                  .arg(said.isEmpty() ? QStringLiteral("bwrap ended with %1").arg(exitCode) : said)
            : QStringLiteral("the scan server could not be started (%1)")
                  .arg(said.isEmpty() ? QStringLiteral("exit %1").arg(exitCode) : said);
    }
    report(end);
}

void ServerSlot::report(ProcessEnd end)
{
    end.protection = m_settings.protection;
    m_scan.finish(std::move(end));
}

} // namespace

ServerSlotFactory::ServerSlotFactory(ServerSlotSettings settings)
    : m_settings(std::move(settings))
{
}

std::unique_ptr<ScanSlot> ServerSlotFactory::makeSlot()
{
    return std::make_unique<ServerSlot>(m_settings, m_stores);
}

} // namespace ombrel
