#pragma once

#include "launcher/core/scanresult.h"
#include "launcher/run/scanrequest.h"

namespace ombrel {

// Turns what a scan's process did into the launcher's result: the one
// place on this side that reads the scanner's exit-code contract
// (contract/outcome.h). Pure: the same request and end give the same result.
//   exited 0 with the path's group        ok (VST 2), described by what the scan
//                                         left, else by the group alone
//   exited 0 with a description           ok (other formats), with its plug-ins
//   exited 0 without either               failed; with a reason when the
//                                         scanner's last line was "OK" (the
//                                         record could not be read: ours),
//                                         else the plug-in ended the process
//   exited 3                              missing
//   exited 5, the ban line among the      banned
//   first lines, else                     not-a-plugin (with the scan's cause)
//   exited otherwise                      failed (exit N)
//   died by a signal                      crashed (with it)
//   killed at the time limit              timed-out
//   not started                           failed, with the reason
//   ended abnormally at the memory limit  memory-limit
// Every result but ok keeps the last lines the process printed.
ScanResult scanVerdict(const ScanRequest &request, const ProcessEnd &end);

} // namespace ombrel
