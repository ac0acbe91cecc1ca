#include "launcher/report/jsonlines.h"

#include "launcher/report/jsonformat.h"
#include "launcher/report/report.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace ombrel {

namespace {

// "record", not "type": an ok result already has a "type" (the plug-in's).
QByteArray line(QJsonObject object, const char *record)
{
    object.insert(QStringLiteral("record"), QLatin1String(record));
    object.insert(QStringLiteral("version"), kJsonFormatVersion);
    // Compact JSON never holds a raw newline: strings escape theirs.
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

QByteArray jsonLineResult(const ScanResult &result)
{
    return line(reportResultJson(result), "result");
}

QByteArray jsonLineSummary(const QList<ScanResult> &results, const QString &scanner, bool interrupted,
                           const RunProtection &protection)
{
    return line(reportSummaryJson(results, scanner, interrupted, protection), "summary");
}

} // namespace ombrel
