#include "launcher/files/filestamp.h"

#include <QDateTime>
#include <QFileInfo>

namespace ombrel {

QString fileStamp(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QString::number(info.size()) + QLatin1Char(':') + QString::number(info.lastModified().toMSecsSinceEpoch());
}

QString scannerIdentity(const QString &scannerPath)
{
    return fileStamp(scannerPath);
}

} // namespace ombrel
