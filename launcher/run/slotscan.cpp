#include "launcher/run/slotscan.h"

namespace ombrel {

void SlotScan::begin(const ScanRequest &request, ScanSlot::EndHandler ended)
{
    m_request = request;
    m_ended = std::move(ended);
    m_output = OutputCapture();
    m_inFlight = true;
    m_clock.start();
}

void SlotScan::finish(ProcessEnd end)
{
    if (!m_inFlight)
        return;
    m_inFlight = false;
    end.output = m_output;
    end.milliseconds = m_clock.elapsed();
    end.endedAt = QDateTime::currentDateTimeUtc();
    end.scanner = m_request.scanner;
    const ScanSlot::EndHandler ended = std::move(m_ended);
    m_ended = nullptr;
    if (ended)
        ended(end);
}

} // namespace ombrel
