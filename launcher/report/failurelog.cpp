#include "launcher/report/failurelog.h"

#include "launcher/report/terminaltext.h"

#include <QDateTime>

namespace ombrel {

QString logText(const ScanResult &result, bool current)
{
    QString outcome = outcomeName(result.outcome);
    if (result.outcome == ScanOutcome::Crashed)
        outcome += QStringLiteral(" (signal %1)").arg(result.signal);
    else if (result.outcome == ScanOutcome::TimedOut)
        outcome += QStringLiteral(" (killed after the time limit)");
    else if (result.outcome == ScanOutcome::MemoryLimit)
        outcome += QStringLiteral(" (ended at the scan's memory limit)");
    else if (!result.scanner.isEmpty())
        outcome += QStringLiteral(" (exit code %1)").arg(result.exitCode);
    else
        outcome += QStringLiteral(" (told by the file's header; no scanner was started)");
    if (result.outcome == ScanOutcome::Foreign)
        outcome += QStringLiteral(": built for %1").arg(result.binary);
    if (!result.cause.isEmpty())
        outcome += QStringLiteral(": ") + result.cause;
    if (result.outcome == ScanOutcome::Banned)
        outcome += QStringLiteral(": the path holds a name on the scanner's ban list");
    if (result.outcome == ScanOutcome::Ok && result.descriptions.isEmpty())
        outcome += QStringLiteral(": no plug-ins in it");
    for (const PluginDescription &description : result.descriptions)
        outcome += QStringLiteral("\n  \"%1\" by \"%2\" (%3 %4)")
                       .arg(escapedForTerminal(description.name), escapedForTerminal(description.vendor),
                            description.format, escapedForTerminal(description.id));
    if (!result.note.isEmpty())
        outcome += QStringLiteral("\n  ") + escapedForTerminal(result.note);

    // Names, paths and output come from plug-ins: never raw to a terminal.
    QString text = escapedForTerminal(result.path) + QLatin1Char('\n');
    text += QStringLiteral("format: %1\n").arg(result.format);
    text += QStringLiteral("outcome: %1\n").arg(outcome);
    text += QStringLiteral("scanned: %1, in %2 ms\n")
                .arg(result.scannedAt.isValid() ? result.scannedAt.toString(Qt::ISODate) : QStringLiteral("unknown"))
                .arg(result.milliseconds);
    if (!result.scanner.isEmpty())
        text += QStringLiteral("scanner: %1\n").arg(escapedForTerminal(result.scanner));
    if (!result.protection.isEmpty())
        text += QStringLiteral("protection: %1\n").arg(result.protection);
    if (!current)
        text += QStringLiteral("The file or the scanner changed since; the next run scans it again.\n");
    if (result.outcome == ScanOutcome::Ok)
        return text;
    if (result.scanner.isEmpty())
        return text;
    if (result.lines.isEmpty())
        return text + QStringLiteral("The scanner printed nothing.\n");
    text += QStringLiteral("Last lines the scanner printed (the plug-in's own output included):\n");
    for (const QString &line : result.lines)
        text += QStringLiteral("  ") + escapedForTerminal(line) + QLatin1Char('\n');
    return text;
}

} // namespace ombrel
