#include "launcher/files/filestamp.h"

#include "launcher/files/vst3bundle.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace ombrel {

namespace {

// An LV2 bundle's scan reads whichever of its data files the manifest
// names: every file in it counts. Bounded, as a bundle is the plug-in's.
QStringList bundleFiles(const QString &bundle)
{
    constexpr int kMostFiles = 4096;
    QStringList files;
    QDirIterator it(bundle, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext() && files.size() < kMostFiles)
        files << it.next();
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

QString fileStamp(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    if (info.isDir()) {
        // A bundle: what its scan reads, each file by name, so that a
        // binary added, removed or changed is a change of the bundle.
        QString stamp = QStringLiteral("bundle");
        const QStringList files = path.endsWith(QLatin1String(".vst3")) ? vst3ScannedFiles(path) : bundleFiles(path);
        for (const QString &file : files)
            stamp += QLatin1Char(' ') + file.mid(path.size()) + QLatin1Char('=') + fileStamp(file);
        return stamp;
    }
    return QString::number(info.size()) + QLatin1Char(':') + QString::number(info.lastModified().toMSecsSinceEpoch());
}

QString scannerIdentity(const QString &scannerPath)
{
    return fileStamp(scannerPath);
}

} // namespace ombrel
