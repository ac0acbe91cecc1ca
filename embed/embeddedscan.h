#pragma once

#include "embed/cobjects.h"
#include "ombrel/ombrelscan.h"

#include "launcher/library/libraryscan.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace ombrel {

// The callbacks a host registered, each with its user pointer.
struct HostCallbacks
{
    ombrel_scan_result_fn result = nullptr;
    void *resultUser = nullptr;
    ombrel_scan_progress_fn progress = nullptr;
    void *progressUser = nullptr;
    ombrel_scan_problem_fn problem = nullptr;
    void *problemUser = nullptr;
    ombrel_scan_finished_fn finished = nullptr;
    void *finishedUser = nullptr;
};

// One library scan inside a host: LibraryScan, run on a thread of its own
// (scanner processes die with the thread that started them), telling the
// host through its callbacks on a second thread, so that a slow callback
// never holds up the event loop that times the scans. Installs no signal
// handler. ombrel-scan runs the same LibraryScan on its main thread.
class EmbeddedScan
{
public:
    EmbeddedScan();
    // Cancels a scan still running and waits for it.
    ~EmbeddedScan();
    EmbeddedScan(const EmbeddedScan &) = delete;
    EmbeddedScan &operator=(const EmbeddedScan &) = delete;

    // Before start() only.
    LibraryScanOptions options;
    QString scannerFolder; // empty: the library's own layout
    HostCallbacks callbacks;

    bool started() const { return m_started; }
    // False, with *error, when Qt or the threads cannot be started.
    bool start(QString *error);
    void cancel();
    // Until the scan ended and its last callback returned; the end as an
    // OMBREL_SCAN_* code, with *message for any but OMBREL_SCAN_OK. Not from
    // a callback of this scan.
    int wait(QString *message);
    // The summary once wait() returned; null before.
    const ombrel_scan_summary *summary() const { return m_waited ? &m_summary : nullptr; }
    // True on the thread that runs this scan's callbacks.
    bool inCallback() const { return std::this_thread::get_id() == m_callbackThread.get_id(); }
    // From a callback: `destroy` is called, on the callback thread, once
    // the last callback has returned (it deletes whatever owns this scan).
    void destroyWhenDone(std::function<void()> destroy);

private:
    class Events;

    void runScan();
    void deliverCallbacks();
    void post(std::function<void()> callback);
    void joinThreads();

    std::unique_ptr<Events> m_events;
    std::unique_ptr<LibraryScan> m_scan;
    QString m_scannerMissing; // where no scanner was found, for the error
    bool m_started = false;
    bool m_cancelled = false; // guarded by m_mutex
    std::thread m_scanThread;
    std::thread m_callbackThread;

    std::mutex m_mutex; // guards everything below, up to m_waited
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_scanEnded = false; // nothing more will be posted
    std::function<void()> m_destroy;
    int m_end = OMBREL_SCAN_OK;
    QString m_endMessage;

    std::mutex m_joinMutex;
    std::atomic<bool> m_waited{false};
    ombrel_scan_summary m_summary;
};

} // namespace ombrel
