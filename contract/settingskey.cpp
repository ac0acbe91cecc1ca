#include "settingskey.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>

QString settingsKeyForPath(const QString &path)
{
    QByteArray serialised;
    {
        QDataStream stream(&serialised, QIODevice::WriteOnly);
        stream << path;
    }
    const QByteArray digest = QCryptographicHash::hash(serialised, QCryptographicHash::Sha1);
    return QString::fromLatin1(digest.toHex());
}
