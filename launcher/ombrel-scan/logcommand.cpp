#include "logcommand.h"

#include "errors.h"

#include "launcher/cache/scancache.h"
#include "launcher/report/failurelog.h"
#include "launcher/files/scannerset.h"

#include <QCoreApplication>

#include <QRegularExpression>

#include <cstdio>

using namespace ombrel;

namespace {

QString shellQuoted(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

int printLog(const QString &plugin, const QString &cacheFile, const QString &scannerOption)
{
    const ScannerSet scanners = findScanners(scannerOption, QCoreApplication::applicationFilePath());
    ScanCache cache(cacheFile, scannerSetIdentity(scanners));
    QString warning;
    cache.load(&warning);
    const QList<ScanResult> results = cache.lookupRecorded(plugin);
    if (results.isEmpty()) {
        printError(QStringLiteral("%1: not in the cache %2%3")
                       .arg(plugin, cache.fileName(), warning.isEmpty() ? QString() : QStringLiteral("; ") + warning));
        return 1;
    }
    // A library of several formats has a result for each.
    for (int i = 0; i < results.size(); ++i) {
        const ScanResult &result = results.at(i);
        // Without a scanner there is nothing to compare the entry with.
        ScanResult current;
        const bool stillStands
            = scanners.native.path.isEmpty() || cache.lookupCurrent(result.path, result.format, &current);
        std::fputs(qPrintable((i > 0 ? QStringLiteral("\n") : QString()) + logText(result, stillStands)), stdout);
    }
    return 0;
}

QString logCommandLine(const QString &givenCache)
{
    // argv[0] as typed: a bare name came from the PATH, a path with a slash
    // runs from the same folder; either way the same program answers.
    QString command = shellQuoted(QCoreApplication::arguments().value(0, QStringLiteral("ombrel-scan")));
    if (!givenCache.isEmpty())
        command += QStringLiteral(" --cache ") + shellQuoted(givenCache);
    return command + QStringLiteral(" --log");
}
