#pragma once

#include "launcher/core/scanresult.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace ombrel {

// What protected the scans of a run, for the reports: ScanResult::protection's
// word, and when it is less than a sandbox, why.
struct RunProtection
{
    QString protection;
    QString note;
};

// For people: one row per plug-in (name, vendor, kind, ins/outs, outcome,
// path), a summary line, what protected the scans and, when a scan failed,
// the command that shows why: `logCommand`, as it can be pasted, followed
// by the quoted path. Rows wider than maxWidth (0: no limit) are cut to it
// where they can be.
QString reportTable(const QList<ScanResult> &results, const RunProtection &protection = {},
                    const QString &logCommand = QStringLiteral("ombrel-scan --log"), int maxWidth = 0);

// "Protection: ..." for the table's last line, said of the `scanned` scans
// this run made; empty when it made none or nothing is known.
QString protectionLine(const RunProtection &protection, int scanned);

// "1 file", "2 files".
QString fileCount(qsizetype n);

// "12 files: 9 ok, 1 banned, ... (3 scanned, 9 from the cache); 14 plug-ins found"
QString reportSummary(const QList<ScanResult> &results);

// For programs: one JSON document with every result and the counts.
// doc/schema/ombrel-scan-report.schema.json describes it.
QByteArray reportJson(const QList<ScanResult> &results, const QString &scanner, bool interrupted,
                      const RunProtection &protection = {});

// The document's parts: the format version, scanner, counts; and one result.
QJsonObject reportSummaryJson(const QList<ScanResult> &results, const QString &scanner, bool interrupted,
                              const RunProtection &protection = {});
QJsonObject reportResultJson(const ScanResult &result);

} // namespace ombrel
