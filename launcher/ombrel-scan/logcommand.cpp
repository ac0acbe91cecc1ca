#include "logcommand.h"

#include "launcher/scancache.h"
#include "launcher/scanlog.h"
#include "launcher/scannerset.h"

#include <QCoreApplication>

#include <cstdio>

int printLog(const QString &plugin, const QString &cacheFile, const QString &scannerOption)
{
    const ScannerSet scanners = findScanners(scannerOption, QCoreApplication::applicationFilePath());
    ScanCache cache(cacheFile, scannerSetIdentity(scanners));
    QString warning;
    cache.load(&warning);
    ScanResult result;
    if (!cache.find(plugin, &result)) {
        std::fprintf(stderr, "ombrel-scan: %s\n",
                     qPrintable(QStringLiteral("%1: not in the cache %2%3")
                                    .arg(plugin, cache.fileName(),
                                         warning.isEmpty() ? QString() : QStringLiteral("; ") + warning)));
        return 1;
    }
    // Without a scanner there is nothing to compare the entry with.
    ScanResult current;
    const bool stillStands = scanners.native.path.isEmpty() || cache.lookup(result.path, &current);
    std::fputs(qPrintable(logText(result, stillStands)), stdout);
    return 0;
}
