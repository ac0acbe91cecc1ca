#pragma once

#include "launcher/core/scanresult.h"
#include "launcher/report/report.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace ombrel {

// For hosts that show progress: one JSON object per line, each saying what
// it is ("record": "result" or "summary") and the format version.
// doc/schema/ombrel-scan-lines.schema.json describes them.

// A result as it becomes known, the same members as in the --json report.
QByteArray jsonLineResult(const ScanResult &result);

// The closing line: the counts of the --json report, without the results.
QByteArray jsonLineSummary(const QList<ScanResult> &results, const QString &scanner, bool interrupted,
                           const RunProtection &protection = {});

} // namespace ombrel
