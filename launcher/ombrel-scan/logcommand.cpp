#include "logcommand.h"

#include "errors.h"

#include "launcher/cache/scancache.h"
#include "launcher/report/failurelog.h"
#include "launcher/files/scannerset.h"

#include <QCoreApplication>

#include <cstdio>

using namespace ombrel;

int printLog(const QString &plugin, const QString &cacheFile, const QString &scannerOption)
{
    const ScannerSet scanners = findScanners(scannerOption, QCoreApplication::applicationFilePath());
    ScanCache cache(cacheFile, scannerSetIdentity(scanners));
    QString warning;
    cache.load(&warning);
    ScanResult result;
    if (!cache.lookupRecorded(plugin, &result)) {
        printError(QStringLiteral("%1: not in the cache %2%3")
                       .arg(plugin, cache.fileName(), warning.isEmpty() ? QString() : QStringLiteral("; ") + warning));
        return 1;
    }
    // Without a scanner there is nothing to compare the entry with.
    ScanResult current;
    const bool stillStands = scanners.native.path.isEmpty() || cache.lookupCurrent(result.path, &current);
    std::fputs(qPrintable(logText(result, stillStands)), stdout);
    return 0;
}
