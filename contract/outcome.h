#pragma once

#include <QString>

// Outcome codes double as the scanner's exit code; hosts act on them.
//   0  OK: the record was written to the store
//   1  no plug-in path was given (exit code only; no status line)
//   3  nothing exists at the path
//   4  the plug-in's code ended the process (exit() or quick_exit())
//   5  the probe found nothing usable (banned, not a regular file, not
//      loadable, no entry point, entry point refused, no name)
//   6  the plug-in was named but the store could not be written
// 2 has a text for hosts that share the table; the scanner never produces it.
enum Outcome : int {
    OutcomeOk = 0,
    OutcomeNoPluginGiven = 1,
    OutcomeBanned = 2,
    OutcomeNotFound = 3,
    OutcomeUnspecified = 4,
    OutcomeNoName = 5,
    OutcomeError = 6,
};

// The text logged after a scan; unknown codes, 5 included, share one text.
QString statusText(int outcome);
