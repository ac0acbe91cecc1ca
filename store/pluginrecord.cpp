#include "pluginrecord.h"

#include "contract/settingskey.h"
#include "contract/storerecord.h"

#include <QSettings>

bool writePluginRecord(const QString &path, const PluginInfo &info)
{
    // Opened with the application's identity and default format; it shares
    // pending changes with the store object that emptied the file at start.
    QSettings store;
    store.beginGroup(settingsKeyForPath(path));
    store.setValue(StoreKey::name(), info.name);
    store.setValue(StoreKey::pluginfn(), info.pluginfn);
    store.setValue(StoreKey::instrument(), info.instrument);
    store.setValue(StoreKey::vendor(), info.vendor);
    store.setValue(StoreKey::inchans(), int(info.inchans));
    store.setValue(StoreKey::outchans(), int(info.outchans));
    store.setValue(StoreKey::type(), info.type);
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}
