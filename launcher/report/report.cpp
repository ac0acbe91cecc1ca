#include "launcher/report/report.h"

#include "launcher/core/duplicateids.h"
#include "launcher/report/jsonformat.h"
#include "launcher/report/tablefit.h"
#include "launcher/report/terminaltext.h"

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QStringList>
#include <QVector>

namespace ombrel {

namespace {

QString outcomeText(const ScanResult &result)
{
    if (result.outcome == ScanOutcome::Crashed)
        return QStringLiteral("crashed (signal %1)").arg(result.signal);
    if (result.outcome == ScanOutcome::Failed && !result.failure.isEmpty())
        return QStringLiteral("failed (%1)").arg(result.failure);
    if (result.outcome == ScanOutcome::Failed)
        return QStringLiteral("failed (exit %1)").arg(result.exitCode);
    if (result.outcome == ScanOutcome::Foreign)
        return QStringLiteral("foreign: ") + result.binary;
    if (result.outcome == ScanOutcome::NotAPlugin && !result.cause.isEmpty())
        return QStringLiteral("not-a-plugin: ") + result.cause;
    return outcomeName(result.outcome);
}

// Plug-ins report names of any length and content; keep the table
// readable and the terminal theirs alone.
QString elided(const QString &text)
{
    constexpr int kMaxWidth = 32;
    const QString shown = escapedForTerminal(text);
    return shown.size() <= kMaxWidth ? shown : shown.left(kMaxWidth - 1) + QChar(0x2026);
}

int countOf(const QList<ScanResult> &results, ScanOutcome outcome)
{
    return int(
        std::count_if(results.begin(), results.end(), [outcome](const ScanResult &r) { return r.outcome == outcome; }));
}

// One row per plug-in the file holds; one for a file that holds none or
// did not end ok.
QList<QStringList> resultRows(const ScanResult &r)
{
    const QString outcome = escapedForTerminal(outcomeText(r));
    const QString path = escapedForTerminal(r.path);
    const QString none = QStringLiteral("-");
    if (r.outcome != ScanOutcome::Ok || r.descriptions.isEmpty())
        return {{none, none, r.format, none, none,
                 r.outcome == ScanOutcome::Ok ? outcome + QStringLiteral(" (no plug-ins)") : outcome, path}};
    QList<QStringList> rows;
    for (const PluginDescription &d : r.descriptions) {
        const auto count = [&none](const std::optional<qint64> &n) { return n ? QString::number(*n) : none; };
        rows << QStringList{elided(d.name),
                            d.vendor.isEmpty() ? none : elided(d.vendor),
                            d.format,
                            d.kind.isEmpty() ? none : d.kind,
                            count(d.audioInputs) + QLatin1Char('/') + count(d.audioOutputs),
                            outcome,
                            path};
    }
    return rows;
}

} // namespace

QString reportTable(const QList<ScanResult> &results, const RunProtection &protection, const QString &logCommand,
                    int maxWidth)
{
    const QStringList header
        = {QStringLiteral("name"),   QStringLiteral("vendor"),  QStringLiteral("format"), QStringLiteral("kind"),
           QStringLiteral("in/out"), QStringLiteral("outcome"), QStringLiteral("path")};
    QList<QStringList> rows{header};
    for (const ScanResult &r : results)
        rows << resultRows(r);
    // One long cell (a cause, a vendor) must not push every row past the
    // terminal's edge: the outcome, name and vendor give way first, then the
    // path, which keeps its file name. --log and the JSON keep the whole text.
    const QVector<ColumnFit> fits = {{1, 10}, {1, 8}, {}, {}, {}, {1, 12}, {2, 20, ColumnFit::End}};
    QString table = fitTable(rows, fits, maxWidth).join(QLatin1Char('\n')) + QLatin1Char('\n');
    table += reportSummary(results) + QLatin1Char('\n');
    for (const DuplicateId &duplicate : duplicateIds(results)) {
        QStringList files;
        for (const QString &file : duplicate.files)
            files << escapedForTerminal(file);
        table += QStringLiteral("Shared ID (a host keeps one of them): %1 %2 in %3\n")
                     .arg(duplicate.format, escapedForTerminal(duplicate.id), files.join(QStringLiteral(", ")));
    }
    // Where to look next: the first scan that failed, whose last lines the
    // cache keeps. A file that is no plug-in, or a failure on the launcher's
    // side (never cached), says what it can in its row.
    const auto failed = std::find_if(results.begin(), results.end(), [](const ScanResult &r) {
        return r.outcome == ScanOutcome::Crashed || r.outcome == ScanOutcome::TimedOut
            || r.outcome == ScanOutcome::MemoryLimit || (r.outcome == ScanOutcome::Failed && r.failure.isEmpty());
    });
    if (failed != results.end()) {
        // Quoted for the shell it is meant to be pasted into.
        QString path = escapedForTerminal(failed->path);
        path.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
        table += QStringLiteral("Why a plug-in did not end ok: %1 '%2'\n").arg(logCommand, path);
    }
    const int scanned
        = int(std::count_if(results.begin(), results.end(), [](const ScanResult &r) { return !r.cached; }));
    const QString line = protectionLine(protection, scanned);
    if (!line.isEmpty())
        table += line + QLatin1Char('\n');
    return table;
}

QString protectionLine(const RunProtection &protection, int scanned)
{
    // Results from the cache were protected by whatever held when they were
    // scanned; this run vouches only for its own scans.
    if (scanned == 0)
        return QString();
    if (protection.protection == QLatin1String("sandbox"))
        return QStringLiteral("Protection: each scan of this run ran in a sandbox (no network, no writes outside "
                              "it, nothing of it left running)");
    if (protection.protection == QLatin1String("limits"))
        return QStringLiteral("Protection: no sandbox (%1); each scan of this run had a memory limit and a "
                              "system call filter, and its processes ended with it")
            .arg(protection.note);
    if (protection.protection == QLatin1String("none"))
        return QStringLiteral("Protection: none (%1); only each scan's process group was killed with it")
            .arg(protection.note);
    return QString();
}

namespace {

QString counted(qsizetype n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// A file may hold several plug-ins (LADSPA and DSSI libraries, VST 3
// modules, CLAP files): the results count files, the descriptions plug-ins.
qsizetype describedCount(const QList<ScanResult> &results)
{
    qsizetype n = 0;
    for (const ScanResult &r : results)
        n += r.descriptions.size();
    return n;
}

} // namespace

QString fileCount(qsizetype n)
{
    return counted(n, "file", "files");
}

QString reportSummary(const QList<ScanResult> &results)
{
    QStringList counts;
    for (ScanOutcome outcome : allOutcomes()) {
        if (const int n = countOf(results, outcome))
            counts << QStringLiteral("%1 %2").arg(n).arg(outcomeName(outcome));
    }
    const int cached = int(std::count_if(results.begin(), results.end(), [](const ScanResult &r) { return r.cached; }));
    QString summary = QStringLiteral("%1: %2 (%3 scanned, %4 from the cache)")
                          .arg(fileCount(results.size()))
                          .arg(counts.isEmpty() ? QStringLiteral("none") : counts.join(QStringLiteral(", ")))
                          .arg(results.size() - cached)
                          .arg(cached);
    if (!results.isEmpty())
        summary += QStringLiteral("; %1 found").arg(counted(describedCount(results), "plug-in", "plug-ins"));
    return summary;
}

QJsonObject reportSummaryJson(const QList<ScanResult> &results, const QString &scanner, bool interrupted,
                              const RunProtection &protection)
{
    const int cached = int(std::count_if(results.begin(), results.end(), [](const ScanResult &r) { return r.cached; }));
    QJsonObject counts;
    for (ScanOutcome outcome : allOutcomes())
        counts.insert(outcomeName(outcome), countOf(results, outcome));
    QJsonObject summary{
        {QStringLiteral("version"), kJsonFormatVersion},
        {QStringLiteral("scanner"), scanner},
        {QStringLiteral("interrupted"), interrupted},
        {QStringLiteral("total"), int(results.size())},
        {QStringLiteral("scanned"), int(results.size()) - cached},
        {QStringLiteral("cached"), cached},
        {QStringLiteral("outcomes"), counts},
        {QStringLiteral("described"), int(describedCount(results))},
    };
    if (!protection.protection.isEmpty())
        summary.insert(QStringLiteral("protection"), protection.protection);
    if (!protection.note.isEmpty())
        summary.insert(QStringLiteral("protectionNote"), protection.note);
    QJsonArray duplicates;
    for (const DuplicateId &duplicate : duplicateIds(results))
        duplicates.append(QJsonObject{{QStringLiteral("format"), duplicate.format},
                                      {QStringLiteral("id"), duplicate.id},
                                      {QStringLiteral("files"), QJsonArray::fromStringList(duplicate.files)}});
    if (!duplicates.isEmpty())
        summary.insert(QStringLiteral("duplicateIds"), duplicates);
    return summary;
}

QJsonObject reportResultJson(const ScanResult &result)
{
    QJsonObject object = toJson(result);
    object.insert(QStringLiteral("cached"), result.cached);
    return object;
}

QByteArray reportJson(const QList<ScanResult> &results, const QString &scanner, bool interrupted,
                      const RunProtection &protection)
{
    QJsonArray plugins;
    for (const ScanResult &r : results)
        plugins.append(reportResultJson(r));
    QJsonObject root = reportSummaryJson(results, scanner, interrupted, protection);
    root.insert(QStringLiteral("plugins"), plugins);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

} // namespace ombrel
