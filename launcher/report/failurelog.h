#pragma once

#include "launcher/core/scanresult.h"

#include <QString>

namespace ombrel {

// Why a scan did not end ok, for a person: what ombrel-scan --log shows of
// a cached result (outcome, exit code or signal, when, the kept lines).

// What ombrel-scan --log prints for one cached result. `current` is false
// when the file or the scanner changed since, so the next run scans again.
QString logText(const ScanResult &result, bool current);

} // namespace ombrel
