#include "embed/libraryplace.h"

#include "contract/installedlayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace ombrel {

namespace {

const QString kScanner = QLatin1Char('/') + QString::fromLatin1(layout::kScannerName);

// Any address inside this library names it to dladdr().
void anchor() { }

bool holdsScanner(const QString &folder)
{
    const QFileInfo scanner(folder + kScanner);
    return scanner.isFile() && scanner.isExecutable();
}

} // namespace

QString libraryFile()
{
    Dl_info info = {};
    if (::dladdr(reinterpret_cast<void *>(&anchor), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).canonicalFilePath();
}

ScannerPlace findScannerPlace(const QString &folder)
{
    if (!folder.isEmpty()) {
        const QString absolute = QFileInfo(folder).absoluteFilePath();
        if (holdsScanner(absolute))
            return {absolute + kScanner, QString()};
        return {absolute + kScanner, absolute + kScanner};
    }
    const QString library = libraryFile();
    if (library.isEmpty())
        return {QString(), QStringLiteral("the library's own folder, which the system does not name")};
    const QString libraryDir = QFileInfo(library).absolutePath();
    const QString installed
        = QDir::cleanPath(libraryDir + QLatin1Char('/') + QString::fromLatin1(layout::kScannersFromLibdir));
    for (const QString &place : {installed, libraryDir}) {
        if (holdsScanner(place))
            return {place + kScanner, QString()};
    }
    return {installed + kScanner, installed + kScanner + QStringLiteral(" and ") + libraryDir + kScanner};
}

} // namespace ombrel
