#pragma once

#include "launcher/core/scanresult.h"
#include "launcher/run/scanrequest.h"
#include "launcher/run/scanslot.h"

#include <QList>

#include <functional>
#include <memory>
#include <vector>

class QEventLoop;

namespace ombrel {

// Runs scan requests in the slots a factory makes, several at once, kills
// each scan at its time limit and turns each end into a ScanResult
// (scanVerdict()). Knows nothing of processes: the slots run them.
class ScanRunner
{
public:
    using ResultHandler = std::function<void(const ScanRequest &request, const ScanResult &result)>;
    using StartHandler = std::function<void(const ScanRequest &request)>;

    // At most `jobs` scans at once, fewer when the factory allows fewer.
    ScanRunner(ScanSlotFactory &factory, int jobs);
    ~ScanRunner();
    ScanRunner(const ScanRunner &) = delete;
    ScanRunner &operator=(const ScanRunner &) = delete;

    // Scans every request and returns when all are done or cancel() was
    // called. onStarted is called as each scan starts, onResult as each
    // ends, in the order they end. Scans cut short by cancel() are killed
    // and not reported. Runs its own event loop; call from a thread with
    // none running, or from the one running it. A slot that does not
    // report an end soon after it was told to abort a scan over its time
    // limit is given up: the scan is timed-out, and a new slot takes its
    // place.
    void run(const QList<ScanRequest> &requests, const ResultHandler &onResult, const StartHandler &onStarted = {});

    // Safe to call from onResult, onStarted or anything else running on
    // the thread that called run().
    void cancel();
    bool wasCancelled() const;

    int jobs() const { return m_jobs; }

    // How long a slot may take to report the end of a scan it was told to
    // abort before it is given up on.
    void setAbortGrace(int milliseconds) { m_abortGraceMs = milliseconds; }

private:
    struct Slot;

    void startMore();
    void startOn(Slot &slot);
    void onEnded(Slot &slot, quint64 generation, ProcessEnd end);
    void onTimeLimit(Slot &slot);
    void onAbortGraceOver(Slot &slot);
    void finish(Slot &slot, ProcessEnd end);
    void quitWhenIdle();

    ScanSlotFactory &m_factory;
    int m_jobs;
    int m_abortGraceMs = 5000;
    std::vector<std::unique_ptr<Slot>> m_slots;
    // Slots given up on: kept until run() returns, so that none is
    // destroyed from inside its own callback.
    std::vector<std::unique_ptr<ScanSlot>> m_retired;
    QList<ScanRequest> m_queue;
    int m_next = 0;
    bool m_cancelled = false;
    QEventLoop *m_loop = nullptr;
    ResultHandler m_onResult;
    StartHandler m_onStarted;
};

} // namespace ombrel
