#include "embed/embeddedscan.h"

#include "embed/libraryplace.h"
#include "embed/qtruntime.h"

#include <QEventLoop>
#include <QMap>
#include <QStringList>
#include <QThread>

#include <exception>
#include <system_error>

namespace ombrel {

namespace {

int endCode(const LibraryScanSummary &summary)
{
    switch (summary.status) {
    case LibraryScanStatus::Completed:
        return summary.inputNotFound ? OMBREL_SCAN_E_INPUT_NOT_FOUND : OMBREL_SCAN_OK;
    case LibraryScanStatus::Interrupted:
        return OMBREL_SCAN_E_CANCELLED;
    case LibraryScanStatus::NoScanner:
        return OMBREL_SCAN_E_NO_SCANNER;
    case LibraryScanStatus::UnreadableInput:
        return OMBREL_SCAN_E_UNREADABLE_INPUT;
    case LibraryScanStatus::CacheNotWritten:
        return OMBREL_SCAN_E_CACHE;
    case LibraryScanStatus::NoSandbox:
        return OMBREL_SCAN_E_NO_SANDBOX;
    }
    return OMBREL_SCAN_E_INTERNAL;
}

int problemCode(LibraryProblem problem)
{
    switch (problem) {
    case LibraryProblem::InputNotFound:
        return OMBREL_PROBLEM_INPUT_NOT_FOUND;
    case LibraryProblem::UnreadableFolder:
        return OMBREL_PROBLEM_UNREADABLE_FOLDER;
    case LibraryProblem::NoPluginFiles:
        return OMBREL_PROBLEM_NO_PLUGIN_FILES;
    case LibraryProblem::CacheUnreadable:
        return OMBREL_PROBLEM_CACHE_UNREADABLE;
    case LibraryProblem::JournalNotWritten:
        return OMBREL_PROBLEM_JOURNAL_NOT_WRITTEN;
    case LibraryProblem::NoSandbox:
        return OMBREL_PROBLEM_NO_SANDBOX;
    }
    return OMBREL_PROBLEM_INPUT_NOT_FOUND;
}

} // namespace

// Turns what the scan tells, on its thread, into callbacks posted to the
// callback thread; keeps the problems that explain how the scan ended.
class EmbeddedScan::Events : public LibraryScanEvents
{
public:
    explicit Events(EmbeddedScan &scan)
        : m_scan(scan)
    {
    }

    void problem(LibraryProblem problem, const QString &message) override
    {
        if (problem == LibraryProblem::InputNotFound || problem == LibraryProblem::UnreadableFolder)
            told[problem] << message;
        const HostCallbacks &host = m_scan.callbacks;
        if (host.problem) {
            m_scan.post([&host, code = problemCode(problem), text = message.toStdString()] {
                host.problem(host.problemUser, code, text.c_str());
            });
        }
    }

    void scansPlanned(int count) override
    {
        m_total = m_done + count;
        progress();
    }

    void scanStarted(const QString &) override { }

    void result(const ScanResult &result, bool scanned) override
    {
        ++m_done;
        const HostCallbacks &host = m_scan.callbacks;
        if (host.result) {
            m_scan.post([&host, c = toC(result)] { host.result(host.resultUser, &c); });
        }
        if (scanned)
            progress();
    }

    QMap<LibraryProblem, QStringList> told; // on the scan thread only

private:
    void progress()
    {
        const HostCallbacks &host = m_scan.callbacks;
        if (host.progress) {
            m_scan.post([&host, done = m_done, total = m_total] { host.progress(host.progressUser, done, total); });
        }
    }

    EmbeddedScan &m_scan;
    long m_done = 0;
    long m_total = 0;
};

EmbeddedScan::EmbeddedScan()
{
    // As ombrel-scan: one scan per processor.
    options.jobs = qBound(1, QThread::idealThreadCount(), 1024);
}

EmbeddedScan::~EmbeddedScan()
{
    cancel();
    joinThreads();
}

bool EmbeddedScan::start(QString *error)
{
    if (!ensureQtRuntime()) {
        *error = QStringLiteral("cannot start the thread that Qt needs in a host without a QCoreApplication");
        return false;
    }
    LibraryScanOptions scanOptions = options;
    if (scanOptions.scanner.isEmpty()) {
        const ScannerPlace place = findScannerPlace(scannerFolder);
        scanOptions.layoutBase = place.layoutBase;
        m_scannerMissing = place.missing;
    } else {
        // The layout (i386/, the server) is the given scanner's, as the header promises.
        scanOptions.layoutBase = scanOptions.scanner;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events = std::make_unique<Events>(*this);
        m_scan = std::make_unique<LibraryScan>(scanOptions, m_events.get());
        if (m_cancelled)
            m_scan->cancel();
    }
    try {
        m_callbackThread = std::thread([this] { deliverCallbacks(); });
    } catch (const std::system_error &failure) {
        *error
            = QStringLiteral("cannot start a thread for the callbacks: %1").arg(QString::fromLocal8Bit(failure.what()));
        return false;
    }
    try {
        m_scanThread = std::thread([this] { runScan(); });
    } catch (const std::system_error &failure) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_scanEnded = true;
        }
        m_wake.notify_one();
        m_callbackThread.join();
        *error = QStringLiteral("cannot start a thread for the scan: %1").arg(QString::fromLocal8Bit(failure.what()));
        return false;
    }
    m_started = true;
    return true;
}

void EmbeddedScan::cancel()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    if (m_scan)
        m_scan->cancel();
}

void EmbeddedScan::runScan()
{
    LibraryScanSummary summary;
    int end = OMBREL_SCAN_E_INTERNAL;
    QString message;
    try {
        // An adopted thread has no event dispatcher until a loop asks for one;
        // the scan's timers need it from the start.
        QEventLoop dispatcher;
        summary = m_scan->run();
        end = endCode(summary);
        switch (summary.status) {
        case LibraryScanStatus::Completed:
            message = m_events->told.value(LibraryProblem::InputNotFound).join(QStringLiteral("; "));
            break;
        case LibraryScanStatus::Interrupted:
            message = QStringLiteral("the scan was cancelled; the cache keeps every finished scan");
            break;
        case LibraryScanStatus::NoScanner:
            summary.error = options.scanner.isEmpty()
                ? QStringLiteral("no scanner found at %1; name one with ombrel_scan_set_scanner() or "
                                 "ombrel_scan_set_scanner_folder()")
                      .arg(m_scannerMissing)
                : QStringLiteral("no scanner at %1: not an executable file").arg(options.scanner);
            message = summary.error;
            break;
        case LibraryScanStatus::UnreadableInput:
            summary.error = m_events->told.value(LibraryProblem::UnreadableFolder).join(QStringLiteral("; "));
            message = summary.error;
            break;
        case LibraryScanStatus::CacheNotWritten:
        case LibraryScanStatus::NoSandbox:
            message = summary.error;
            break;
        }
        m_summary = toC(summary);
    } catch (const std::bad_alloc &) {
        end = OMBREL_SCAN_E_NO_MEMORY;
        message = QStringLiteral("the scan ran out of memory");
    } catch (...) {
        end = OMBREL_SCAN_E_INTERNAL;
        message = QStringLiteral("the scan failed inside the library");
    }
    if (end == OMBREL_SCAN_E_NO_MEMORY || end == OMBREL_SCAN_E_INTERNAL) {
        m_summary = ombrel_scan_summary();
        m_summary.status = OMBREL_STATUS_INTERRUPTED;
        m_summary.error = message.toStdString();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_end = end;
        m_endMessage = message;
    }
    if (callbacks.finished) {
        const HostCallbacks &host = callbacks;
        post([&host, this] { host.finished(host.finishedUser, &m_summary); });
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_scanEnded = true;
    }
    m_wake.notify_one();
}

void EmbeddedScan::post(std::function<void()> callback)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(callback));
    }
    m_wake.notify_one();
}

void EmbeddedScan::deliverCallbacks()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_queue.empty() || m_scanEnded; });
        if (m_queue.empty())
            break;
        const std::function<void()> callback = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        callback();
        lock.lock();
    }
    std::function<void()> destroy = std::move(m_destroy);
    lock.unlock();
    if (destroy) {
        // Freed from one of its callbacks: nobody else will join.
        m_scanThread.join();
        m_callbackThread.detach();
        destroy();
    }
}

void EmbeddedScan::destroyWhenDone(std::function<void()> destroy)
{
    cancel();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_destroy = std::move(destroy);
}

void EmbeddedScan::joinThreads()
{
    std::lock_guard<std::mutex> lock(m_joinMutex);
    if (m_scanThread.joinable())
        m_scanThread.join();
    if (m_callbackThread.joinable())
        m_callbackThread.join();
}

int EmbeddedScan::wait(QString *message)
{
    joinThreads();
    m_waited = true;
    std::lock_guard<std::mutex> lock(m_mutex);
    *message = m_endMessage;
    return m_end;
}

} // namespace ombrel
