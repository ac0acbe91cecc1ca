#include "embed/cobjects.h"

#include <QJsonArray>
#include <QJsonObject>

namespace ombrel {

namespace {

// Indexed by the C outcome codes; the names are outcomeName()'s.
const char *const kOutcomeNames[OMBREL_OUTCOME_COUNT]
    = {"ok",        "banned",        "not-a-plugin", "missing", "crashed",
       "timed-out", "non-utf8-name", "failed",       "foreign", "memory-limit"};

std::string utf8(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString().toStdString();
}

int statusCode(LibraryScanStatus status)
{
    switch (status) {
    case LibraryScanStatus::Completed:
        return OMBREL_STATUS_COMPLETED;
    case LibraryScanStatus::Interrupted:
        return OMBREL_STATUS_INTERRUPTED;
    case LibraryScanStatus::NoScanner:
        return OMBREL_STATUS_NO_SCANNER;
    case LibraryScanStatus::UnreadableInput:
        return OMBREL_STATUS_UNREADABLE_INPUT;
    case LibraryScanStatus::CacheNotWritten:
        return OMBREL_STATUS_CACHE_NOT_WRITTEN;
    case LibraryScanStatus::NoSandbox:
        return OMBREL_STATUS_NO_SANDBOX;
    }
    return OMBREL_STATUS_COMPLETED;
}

} // namespace

int outcomeCode(ScanOutcome outcome)
{
    const QString name = outcomeName(outcome);
    for (int code = 0; code < OMBREL_OUTCOME_COUNT; ++code) {
        if (name == QLatin1String(kOutcomeNames[code]))
            return code;
    }
    return OMBREL_OUTCOME_FAILED;
}

const char *outcomeCodeName(int code)
{
    return code >= 0 && code < OMBREL_OUTCOME_COUNT ? kOutcomeNames[code] : "";
}

ombrel_scan_result toC(const ScanResult &result)
{
    const QJsonObject json = toJson(result);
    ombrel_scan_result c;
    c.path = utf8(json, "path");
    c.outcome = outcomeCode(result.outcome);
    c.name = utf8(json, "name");
    c.vendor = utf8(json, "vendor");
    c.type = utf8(json, "type");
    c.pluginfn = utf8(json, "pluginfn");
    c.instrument = json.value(QLatin1String("instrument")).toBool() ? 1 : 0;
    c.inputs = json.value(QLatin1String("inchans")).toInt();
    c.outputs = json.value(QLatin1String("outchans")).toInt();
    c.exitCode = json.contains(QLatin1String("exitCode")) ? json.value(QLatin1String("exitCode")).toInt() : -1;
    c.signal = json.value(QLatin1String("signal")).toInt();
    c.reason = utf8(json, "reason");
    for (const QJsonValue &line : json.value(QLatin1String("lines")).toArray())
        c.lines.push_back(line.toString().toStdString());
    c.scanner = utf8(json, "scanner");
    c.binary = utf8(json, "binary");
    c.cached = result.cached ? 1 : 0;
    c.milliseconds = result.milliseconds;
    c.scannedAt = utf8(json, "scannedAt");
    c.protection
        = json.contains(QLatin1String("protection")) ? utf8(json, "protection") : result.protection.toStdString();
    return c;
}

ombrel_scan_summary toC(const LibraryScanSummary &summary)
{
    ombrel_scan_summary c;
    c.status = statusCode(summary.status);
    c.error = summary.error.toStdString();
    c.total = long(summary.candidates);
    for (const ScanResult &result : summary.results) {
        ++c.counts[outcomeCode(result.outcome)];
        if (!result.cached)
            ++c.scanned;
    }
    c.inputNotFound = summary.inputNotFound ? 1 : 0;
    c.scanner = summary.scanner.toStdString();
    c.protection = summary.protection.toStdString();
    c.protectionNote = summary.protectionNote.toStdString();
    return c;
}

} // namespace ombrel
