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
    for (const RecordField &field : recordFields())
        m_settings.setValue(QString::fromLatin1(field.key), field.get(info));
    m_settings.endGroup();
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
