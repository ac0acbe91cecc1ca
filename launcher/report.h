#pragma once

#include "scanresult.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// For people: one row per plug-in (name, vendor, kind, ins/outs, outcome,
// path), a closing summary line and, when a scan failed, the command that
// shows why: `logCommand`, as it can be pasted, followed by the quoted path.
QString reportTable(const QList<ScanResult> &results, const QString &logCommand = QStringLiteral("ombrel-scan --log"));

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
