#include "storerecord.h"

#include "identity.h"
#include "settingskey.h"

#include <QSettings>

QString storeFileIn(const QString &configHome)
{
    return configHome + QLatin1Char('/') + storeOrganizationName() + QLatin1Char('/') + storeApplicationName()
        + QStringLiteral(".ini");
}

QString userStoreFile()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, storeOrganizationName(), storeApplicationName())
        .fileName();
}

PluginInfo readPluginRecord(const QString &storeFile, const QString &path)
{
    QSettings store(storeFile, QSettings::IniFormat);
    store.beginGroup(settingsKeyForPath(path));
    PluginInfo info;
    info.name = store.value(StoreKey::name()).toString();
    info.pluginfn = store.value(StoreKey::pluginfn()).toString();
    info.instrument = store.value(StoreKey::instrument()).toBool();
    info.vendor = store.value(StoreKey::vendor()).toString();
    info.inchans = store.value(StoreKey::inchans()).toInt();
    info.outchans = store.value(StoreKey::outchans()).toInt();
    info.type = store.value(StoreKey::type()).toString();
    return info;
}
