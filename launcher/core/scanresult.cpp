#include "launcher/core/scanresult.h"

#include <QJsonArray>
#include <QJsonValue>

namespace ombrel {

namespace {

struct OutcomeEntry
{
    ScanOutcome outcome;
    const char *name;
};

const OutcomeEntry kOutcomes[] = {
    {ScanOutcome::Ok, "ok"},
    {ScanOutcome::Banned, "banned"},
    {ScanOutcome::NotAPlugin, "not-a-plugin"},
    {ScanOutcome::Missing, "missing"},
    {ScanOutcome::Crashed, "crashed"},
    {ScanOutcome::TimedOut, "timed-out"},
    {ScanOutcome::NonUtf8Name, "non-utf8-name"},
    {ScanOutcome::Failed, "failed"},
    {ScanOutcome::Foreign, "foreign"},
    {ScanOutcome::MemoryLimit, "memory-limit"},
};

} // namespace

const QList<ScanOutcome> &allOutcomes()
{
    static const QList<ScanOutcome> outcomes = [] {
        QList<ScanOutcome> list;
        for (const OutcomeEntry &entry : kOutcomes)
            list << entry.outcome;
        return list;
    }();
    return outcomes;
}

QString outcomeName(ScanOutcome outcome)
{
    for (const OutcomeEntry &entry : kOutcomes) {
        if (entry.outcome == outcome)
            return QString::fromLatin1(entry.name);
    }
    return QString();
}

bool outcomeFromName(const QString &name, ScanOutcome *outcome)
{
    for (const OutcomeEntry &entry : kOutcomes) {
        if (name == QLatin1String(entry.name)) {
            *outcome = entry.outcome;
            return true;
        }
    }
    return false;
}

QJsonObject toJson(const ScanResult &result)
{
    QJsonObject object{
        {QStringLiteral("path"), result.path},
        {QStringLiteral("outcome"), outcomeName(result.outcome)},
        {QStringLiteral("milliseconds"), double(result.milliseconds)},
    };
    if (result.scannedAt.isValid())
        object.insert(QStringLiteral("scannedAt"), result.scannedAt.toString(Qt::ISODate));
    if (!result.lines.isEmpty())
        object.insert(QStringLiteral("lines"), QJsonArray::fromStringList(result.lines));
    if (result.outcome == ScanOutcome::Ok) {
        object.insert(QStringLiteral("name"), result.info.name);
        object.insert(QStringLiteral("pluginfn"), result.info.pluginfn);
        object.insert(QStringLiteral("instrument"), result.info.instrument);
        object.insert(QStringLiteral("vendor"), result.info.vendor);
        object.insert(QStringLiteral("inchans"), int(result.info.inchans));
        object.insert(QStringLiteral("outchans"), int(result.info.outchans));
        object.insert(QStringLiteral("type"), result.info.type);
    }
    if (result.outcome == ScanOutcome::Crashed)
        object.insert(QStringLiteral("signal"), result.signal);
    // The exit code of every scanner process that exited: --log shows it.
    if (!result.scanner.isEmpty() && result.failure.isEmpty() && result.outcome != ScanOutcome::Crashed
        && result.outcome != ScanOutcome::TimedOut && result.outcome != ScanOutcome::MemoryLimit)
        object.insert(QStringLiteral("exitCode"), result.exitCode);
    if (!result.failure.isEmpty())
        object.insert(QStringLiteral("reason"), result.failure);
    if (result.outcome == ScanOutcome::Foreign)
        object.insert(QStringLiteral("binary"), result.binary);
    if (!result.cause.isEmpty())
        object.insert(QStringLiteral("cause"), result.cause);
    if (!result.scanner.isEmpty())
        object.insert(QStringLiteral("scanner"), result.scanner);
    if (!result.protection.isEmpty())
        object.insert(QStringLiteral("protection"), result.protection);
    return object;
}

bool fromJson(const QJsonObject &object, ScanResult *result)
{
    ScanResult parsed;
    parsed.path = object.value(QStringLiteral("path")).toString();
    if (parsed.path.isEmpty() || !outcomeFromName(object.value(QStringLiteral("outcome")).toString(), &parsed.outcome))
        return false;
    parsed.milliseconds = qint64(object.value(QStringLiteral("milliseconds")).toDouble());
    parsed.info.name = object.value(QStringLiteral("name")).toString();
    parsed.info.pluginfn = object.value(QStringLiteral("pluginfn")).toString();
    parsed.info.instrument = object.value(QStringLiteral("instrument")).toBool();
    parsed.info.vendor = object.value(QStringLiteral("vendor")).toString();
    parsed.info.inchans = object.value(QStringLiteral("inchans")).toInt();
    parsed.info.outchans = object.value(QStringLiteral("outchans")).toInt();
    parsed.info.type = object.value(QStringLiteral("type")).toString();
    parsed.signal = object.value(QStringLiteral("signal")).toInt();
    parsed.exitCode = object.value(QStringLiteral("exitCode")).toInt();
    parsed.failure = object.value(QStringLiteral("reason")).toString();
    parsed.scannedAt = QDateTime::fromString(object.value(QStringLiteral("scannedAt")).toString(), Qt::ISODate);
    for (const QJsonValue &line : object.value(QStringLiteral("lines")).toArray())
        parsed.lines << line.toString();
    parsed.binary = object.value(QStringLiteral("binary")).toString();
    parsed.cause = object.value(QStringLiteral("cause")).toString();
    parsed.scanner = object.value(QStringLiteral("scanner")).toString();
    parsed.protection = object.value(QStringLiteral("protection")).toString();
    if (parsed.outcome == ScanOutcome::Ok && parsed.info.name.isEmpty())
        return false;
    *result = parsed;
    return true;
}

} // namespace ombrel
