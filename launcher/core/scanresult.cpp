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

QString resultKey(const QString &path, const QString &format)
{
    return format == QLatin1String("vst2") ? path : format + QLatin1Char(':') + path;
}

QJsonObject toJson(const ScanResult &result)
{
    QJsonObject object{
        {QStringLiteral("path"), result.path},
        {QStringLiteral("format"), result.format},
        {QStringLiteral("outcome"), outcomeName(result.outcome)},
        {QStringLiteral("milliseconds"), double(result.milliseconds)},
    };
    if (result.scannedAt.isValid())
        object.insert(QStringLiteral("scannedAt"), result.scannedAt.toString(Qt::ISODate));
    if (!result.lines.isEmpty())
        object.insert(QStringLiteral("lines"), QJsonArray::fromStringList(result.lines));
    if (result.outcome == ScanOutcome::Ok)
        object.insert(QStringLiteral("descriptions"), descriptionsToJson(result.descriptions));
    if (!result.note.isEmpty())
        object.insert(QStringLiteral("note"), result.note);
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
    // Results recorded before there were formats are all VST 2.
    parsed.format = object.value(QStringLiteral("format")).toString(QStringLiteral("vst2"));
    const QJsonValue descriptions = object.value(QStringLiteral("descriptions"));
    parsed.descriptions = descriptionsFromJson(descriptions.toArray());
    parsed.note = object.value(QStringLiteral("note")).toString();
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
    if (parsed.outcome == ScanOutcome::Ok && !descriptions.isArray())
        return false;
    *result = parsed;
    return true;
}

} // namespace ombrel
