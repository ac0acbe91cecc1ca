#pragma once

#include "launcher/run/scanslot.h"

#include <QElapsedTimer>

namespace ombrel {

// The scan a slot runs, whatever runs it: what it was asked, what it
// printed and for how long, and its end handler. Every slot reports an end
// the same way through it: once, and with what every end carries.
class SlotScan
{
public:
    void begin(const ScanRequest &request, ScanSlot::EndHandler ended);

    bool inFlight() const { return m_inFlight; }
    const ScanRequest &request() const { return m_request; }
    OutputCapture &output() { return m_output; }

    // Adds the output, the time taken and the scanner to `end` and calls
    // the handler, last, as it may start the next scan in the slot.
    // Nothing when no scan is in flight: an end is reported once.
    void finish(ProcessEnd end);

private:
    ScanRequest m_request;
    ScanSlot::EndHandler m_ended;
    OutputCapture m_output;
    QElapsedTimer m_clock;
    bool m_inFlight = false;
};

} // namespace ombrel
