#pragma once

#include "scanresult.h"

#include <QByteArray>
#include <QList>
#include <QString>

// For people: one row per plug-in (name, vendor, kind, ins/outs, outcome,
// path) and a closing summary line.
QString reportTable(const QList<ScanResult> &results);

// "12 plug-ins: 9 ok, 1 banned, ... (3 scanned, 9 from the cache)"
QString reportSummary(const QList<ScanResult> &results);

// For programs: one JSON document with every result and the counts.
QByteArray reportJson(const QList<ScanResult> &results, const QString &scanner, bool interrupted);
