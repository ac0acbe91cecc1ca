#include "embed/cobjects.h"

#include "contract/plugindescription.h"
#include "launcher/core/duplicateids.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtGlobal>

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

// Within what a long holds on every host, 32-bit ones included, and
// exactly representable as a double.
constexpr double kMostLong = sizeof(long) >= 8 ? 9.0e18 : 2147483647.0;

// Through the one table of fields, whose order the C numbers follow.
ombrel_scan_description_values toC(const QJsonObject &json)
{
    static_assert(OMBREL_FIELD_INDEX + 1 == OMBREL_FIELD_COUNT, "the C numbers end with the table's last field");
    ombrel_scan_description_values c;
    const QList<DescriptionField> &fields = descriptionFields();
    for (int i = 0; i < OMBREL_FIELD_COUNT && i < int(fields.size()); ++i) {
        const QJsonValue value = json.value(QLatin1String(fields.at(i).key));
        c.present[i] = !value.isUndefined();
        if (value.isString())
            c.text[i] = value.toString().toStdString();
        else if (value.isBool())
            c.number[i] = value.toBool() ? 1 : 0;
        else // clamped to what a long holds (32 bits on some hosts)
            c.number[i] = long(qBound(-kMostLong, value.toDouble(), kMostLong));
    }
    return c;
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
    c.format = utf8(json, "format");
    c.note = utf8(json, "note");
    for (const QJsonValue &description : json.value(QLatin1String("descriptions")).toArray())
        c.descriptions.push_back(toC(description.toObject()));
    // What 1.0's accessors gave: the helper's record, now the first description.
    const QJsonObject first = json.value(QLatin1String("descriptions")).toArray().at(0).toObject();
    if (!first.isEmpty()) {
        c.name = utf8(first, "name");
        c.vendor = utf8(first, "vendor");
        c.pluginfn = utf8(first, "file");
        c.type = c.format == "vst2" ? "VST" : c.format;
        c.instrument = first.value(QLatin1String("kind")).toString() == QLatin1String("instrument") ? 1 : 0;
        c.inputs = first.value(QLatin1String("audioInputs")).toInt();
        c.outputs = first.value(QLatin1String("audioOutputs")).toInt();
    }
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
    for (const DuplicateId &duplicate : duplicateIds(summary.results)) {
        ombrel_scan_summary::Duplicate d{duplicate.format.toStdString(), duplicate.id.toStdString(), {}};
        for (const QString &file : duplicate.files)
            d.files.push_back(file.toStdString());
        c.duplicates.push_back(std::move(d));
    }
    return c;
}

} // namespace ombrel
