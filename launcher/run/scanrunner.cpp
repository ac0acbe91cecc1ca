#include "launcher/run/scanrunner.h"

#include "launcher/run/scanverdict.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace ombrel {

struct ScanRunner::Slot
{
    std::unique_ptr<ScanSlot> slot; // made when first needed
    bool busy = false;
    bool timedOut = false;
    quint64 generation = 0; // which start() an end belongs to
    ScanRequest request;
    QTimer limit;
    QTimer grace;
};

ScanRunner::ScanRunner(ScanSlotFactory &factory, int jobs)
    : m_factory(factory)
    , m_jobs(qMax(1, factory.slotCount(qMax(1, jobs))))
{
}

ScanRunner::~ScanRunner() = default;

void ScanRunner::cancel()
{
    m_cancelled = true;
    // Nothing more is reported: the loop ends now, and the slots, which
    // kill what they still run, go with run()'s end.
    for (const auto &slot : m_slots) {
        if (slot->busy)
            slot->slot->abort();
    }
    if (m_loop)
        m_loop->quit();
}

bool ScanRunner::wasCancelled() const
{
    return m_cancelled;
}

void ScanRunner::run(const QList<ScanRequest> &requests, const ResultHandler &onResult, const StartHandler &onStarted)
{
    QEventLoop loop;
    m_loop = &loop;
    m_queue = requests;
    m_next = 0;
    m_onResult = onResult;
    m_onStarted = onStarted;
    for (int i = int(m_slots.size()); i < m_jobs; ++i) {
        auto slot = std::make_unique<Slot>();
        Slot *raw = slot.get();
        slot->limit.setSingleShot(true);
        slot->limit.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5% early
        QObject::connect(&slot->limit, &QTimer::timeout, [this, raw] { onTimeLimit(*raw); });
        slot->grace.setSingleShot(true);
        QObject::connect(&slot->grace, &QTimer::timeout, [this, raw] { onAbortGraceOver(*raw); });
        m_slots.push_back(std::move(slot));
    }

    startMore();
    // A quit() before exec() would be lost: run the loop only for scans
    // that are under way.
    if (!m_cancelled && std::any_of(m_slots.begin(), m_slots.end(), [](const auto &slot) { return slot->busy; }))
        loop.exec();
    m_loop = nullptr;

    // Whatever still runs (after a cancel) ends here.
    for (const auto &slot : m_slots) {
        slot->limit.stop();
        slot->grace.stop();
        slot->busy = false;
        slot->slot.reset();
    }
    m_retired.clear();
    m_onResult = {};
    m_onStarted = {};
}

void ScanRunner::startMore()
{
    for (const auto &slot : m_slots) {
        if (m_cancelled || m_next >= m_queue.size())
            break;
        if (!slot->busy)
            startOn(*slot);
    }
    quitWhenIdle();
}

void ScanRunner::startOn(Slot &slot)
{
    if (!slot.slot)
        slot.slot = m_factory.makeSlot();
    slot.request = m_queue.at(m_next++);
    slot.busy = true;
    slot.timedOut = false;
    const quint64 generation = ++slot.generation;
    Slot *raw = &slot;
    slot.slot->start(slot.request, [this, raw, generation](const ProcessEnd &end) { onEnded(*raw, generation, end); });
    slot.limit.start(slot.request.timeLimitMs);
    if (m_onStarted)
        m_onStarted(slot.request);
}

void ScanRunner::onEnded(Slot &slot, quint64 generation, ProcessEnd end)
{
    if (!slot.busy || generation != slot.generation)
        return; // an end reported after we gave up on it
    if (slot.timedOut && end.ending != ProcessEnd::Ending::NotStarted)
        end.ending = ProcessEnd::Ending::TimedOut;
    finish(slot, std::move(end));
}

void ScanRunner::onTimeLimit(Slot &slot)
{
    if (!slot.busy)
        return;
    slot.timedOut = true;
    slot.grace.start(m_abortGraceMs);
    slot.slot->abort();
}

void ScanRunner::onAbortGraceOver(Slot &slot)
{
    if (!slot.busy)
        return;
    // The slot did not answer: it is not asked again.
    m_retired.push_back(std::move(slot.slot));
    ProcessEnd end;
    end.ending = ProcessEnd::Ending::TimedOut;
    end.milliseconds = slot.request.timeLimitMs + m_abortGraceMs;
    end.endedAt = QDateTime::currentDateTimeUtc();
    end.scanner = slot.request.scanner;
    finish(slot, std::move(end));
}

void ScanRunner::finish(Slot &slot, ProcessEnd end)
{
    slot.busy = false;
    slot.limit.stop();
    slot.grace.stop();
    if (!m_cancelled && m_onResult)
        m_onResult(slot.request, scanVerdict(slot.request, end));
    startMore();
}

void ScanRunner::quitWhenIdle()
{
    const bool busy = std::any_of(m_slots.begin(), m_slots.end(), [](const auto &slot) { return slot->busy; });
    if (!busy && m_loop)
        m_loop->quit();
}

} // namespace ombrel
