#include "launcher/files/filestamp.h"

#include "launcher/files/vst3bundle.h"

#include <QDateTime>
#include <QFileInfo>

namespace ombrel {

QString fileStamp(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    if (info.isDir()) {
        // A bundle: what its scan reads, each file by name, so that a
        // binary added, removed or changed is a change of the bundle.
        QString stamp = QStringLiteral("bundle");
        for (const QString &file : vst3ScannedFiles(path))
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
