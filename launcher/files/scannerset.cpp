#include "launcher/files/scannerset.h"

#include "launcher/files/elfexports.h"
#include "launcher/files/filestamp.h"
#include "launcher/files/vst3bundle.h"

#include "contract/installedlayout.h"

#include <QFileInfo>

namespace ombrel {

namespace {

const QString kScannerName = QString::fromLatin1(layout::kScannerName);
const QString kServerName = QString::fromLatin1(layout::kServerName);

// A place in the layout for a scanner of another architecture than the
// native one, and what a file for it is missing while the place is empty.
struct CompanionPlace
{
    QString folder;
    Architecture architecture;
    QString whenAbsent;
};

QList<CompanionPlace> companionPlaces()
{
#if defined(Q_OS_LINUX)
    return {
        {QString::fromLatin1(layout::kI386Folder), {Cpu::X86, 32, 3}, QStringLiteral("no 32-bit scanner installed")}};
#else
    return {};
#endif
}

BinaryFormat elfFor(const Architecture &architecture)
{
    return {Container::Elf, {architecture}};
}

// The first executable file at `relative` below the launcher's folder or
// the installed scanners' folder (../libexec/ombrel).
QString findInLayout(const QString &launcherDir, const QString &relative)
{
    for (const QString &place :
         {launcherDir, launcherDir + QLatin1Char('/') + QString::fromLatin1(layout::kScannersFromBindir)}) {
        const QFileInfo candidate(place + QLatin1Char('/') + relative);
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.canonicalFilePath();
    }
    return QString();
}

bool isExecutableFormat(const BinaryFormat &format)
{
    return format.container != Container::None && format.container != Container::Unreadable;
}

} // namespace

QString ScannerSet::scannerFor(const BinaryFormat &format) const
{
    if (!native.path.isEmpty() && native.format.canLoad(format))
        return native.path;
    for (const InstalledScanner &companion : companions) {
        if (companion.format.canLoad(format))
            return companion.path;
    }
    return QString();
}

ScannerSet findScanners(const QString &given, const QString &launcherPath)
{
    const QString launcherDir = QFileInfo(launcherPath).absolutePath();
    ScannerSet set;
    if (given.isEmpty())
        set.native.path = findInLayout(launcherDir, kScannerName);
    else if (QFileInfo(given).isExecutable())
        set.native.path = QFileInfo(given).absoluteFilePath();
    if (!set.native.path.isEmpty()) {
        set.native.format = readBinaryFormat(set.native.path);
        // A wrapper script runs something built like the launcher itself.
        if (!isExecutableFormat(set.native.format))
            set.native.format = readBinaryFormat(launcherPath);
    }
    // Beside the native scanner, where both are installed; else in the layout.
    const QFileInfo besideScanner(QFileInfo(set.native.path).absolutePath() + QLatin1Char('/') + kServerName);
    set.server = !set.native.path.isEmpty() && besideScanner.isFile() && besideScanner.isExecutable()
        ? besideScanner.canonicalFilePath()
        : findInLayout(launcherDir, kServerName);
    for (const CompanionPlace &place : companionPlaces()) {
        const QString path = findInLayout(launcherDir, place.folder + QLatin1Char('/') + kScannerName);
        if (path.isEmpty())
            set.absentCompanions << place.folder;
        else
            set.companions << InstalledScanner{path, elfFor(place.architecture)};
    }
    return set;
}

QString scannerSetIdentity(const ScannerSet &scanners)
{
    QString identity = scannerIdentity(scanners.native.path);
    for (const InstalledScanner &companion : scanners.companions)
        identity += QLatin1Char(' ') + companion.path + QLatin1Char('=') + scannerIdentity(companion.path);
    return identity;
}

QHash<QString, QString> assignScanners(const ScannerSet &scanners, QStringList *paths, QList<ScanResult> *unstarted)
{
    QHash<QString, QString> assigned;
    QStringList toStart;
    const QStringList all = *paths;
    for (const QString &path : all) {
        // A bundle is what its binaries are built for.
        const BinaryFormat format = QFileInfo(path).isDir() ? vst3BundleFormat(path) : readBinaryFormat(path);
        const QString scanner
            = format.container == Container::Unreadable ? scanners.native.path : scanners.scannerFor(format);
        if (!scanner.isEmpty()) {
            assigned.insert(path, scanner);
            toStart << path;
            continue;
        }
        ScanResult result;
        result.path = path;
        result.outcome = isExecutableFormat(format) ? ScanOutcome::Foreign : ScanOutcome::NotAPlugin;
        if (result.outcome == ScanOutcome::NotAPlugin)
            result.cause = notAPluginCause(path);
        if (result.outcome == ScanOutcome::Foreign) {
            result.binary = describe(format);
            for (const CompanionPlace &place : companionPlaces()) {
                if (scanners.absentCompanions.contains(place.folder) && elfFor(place.architecture).canLoad(format))
                    result.binary += QStringLiteral(" (") + place.whenAbsent + QLatin1Char(')');
            }
        }
        *unstarted << result;
    }
    *paths = toStart;
    return assigned;
}

} // namespace ombrel
