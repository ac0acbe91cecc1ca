#pragma once

#include "launcher/core/scanresult.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace ombrel {

// For people: one row per plug-in (name, vendor, kind, ins/outs, outcome,
// path) and a closing summary line.
QString reportTable(const QList<ScanResult> &results);

// "1 plug-in", "2 plug-ins".
QString plugInCount(qsizetype n);

// "12 plug-ins: 9 ok, 1 banned, ... (3 scanned, 9 from the cache)"
QString reportSummary(const QList<ScanResult> &results);

// For programs: one JSON document with every result and the counts.
// doc/schema/ombrel-scan-report.schema.json describes it.
QByteArray reportJson(const QList<ScanResult> &results, const QString &scanner, bool interrupted);

// The document's parts: the format version, scanner, counts; and one result.
QJsonObject reportSummaryJson(const QList<ScanResult> &results, const QString &scanner, bool interrupted);
QJsonObject reportResultJson(const ScanResult &result);

} // namespace ombrel
