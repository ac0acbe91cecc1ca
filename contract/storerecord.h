#pragma once

#include "plugininfo.h"

#include <QString>

// How a plug-in's record sits in the result store: the seven keys of its
// group, in writing order, and how a host reads the group back.
namespace StoreKey {
inline QString name()
{
    return QStringLiteral("name");
}
inline QString pluginfn()
{
    return QStringLiteral("pluginfn");
}
inline QString instrument()
{
    return QStringLiteral("instrument");
}
inline QString vendor()
{
    return QStringLiteral("vendor");
}
inline QString inchans()
{
    return QStringLiteral("inchans");
}
inline QString outchans()
{
    return QStringLiteral("outchans");
}
inline QString type()
{
    return QStringLiteral("type");
}
} // namespace StoreKey

// The store file of a scanner started with XDG_CONFIG_HOME set to
// configHome (Unix desktops other than macOS).
QString storeFileIn(const QString &configHome);

// The user's own store file, where a scanner started as it is writes.
QString userStoreFile();

// Reads back, as a host does, the group of the path from a store file.
// The name is empty when the file holds no such group.
PluginInfo readPluginRecord(const QString &storeFile, const QString &path);
