#include "resultstore.h"

#include "contract/settingskey.h"
#include "contract/storerecord.h"

#include <QStringList>

ResultStore::ResultStore(const QString &file)
    : m_settings(file, QSettings::IniFormat)
{
}

QString ResultStore::userFile()
{
    return userStoreFile();
}

void ResultStore::empty(const QString &scannedPath)
{
    const bool holdsScannedPath
        = !scannedPath.isEmpty() && m_settings.childGroups().contains(settingsKeyForPath(scannedPath));
    m_settings.clear();
    if (holdsScannedPath)
        m_settings.sync();
}

bool ResultStore::write(const QString &path, const PluginInfo &info)
{
    m_settings.beginGroup(settingsKeyForPath(path));
    m_settings.setValue(StoreKey::name(), info.name);
    m_settings.setValue(StoreKey::pluginfn(), info.pluginfn);
    m_settings.setValue(StoreKey::instrument(), info.instrument);
    m_settings.setValue(StoreKey::vendor(), info.vendor);
    m_settings.setValue(StoreKey::inchans(), int(info.inchans));
    m_settings.setValue(StoreKey::outchans(), int(info.outchans));
    m_settings.setValue(StoreKey::type(), info.type);
    m_settings.endGroup();
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
