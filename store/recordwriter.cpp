#include "recordwriter.h"

#include "settingskey.h"

#include <QSettings>

void writePluginRecord(const QString &path, const PluginInfo &info)
{
    // Opened with the application's identity and default format; it shares
    // pending changes with the store object that emptied the file at start.
    QSettings store;
    const QString group = settingsKeyForPath(path) + QLatin1Char('/');
    store.setValue(group + QStringLiteral("name"), info.name);
    store.setValue(group + QStringLiteral("pluginfn"), info.pluginfn);
    store.setValue(group + QStringLiteral("instrument"), info.instrument);
    store.setValue(group + QStringLiteral("vendor"), info.vendor);
    store.setValue(group + QStringLiteral("inchans"), int(info.inchans));
    store.setValue(group + QStringLiteral("outchans"), int(info.outchans));
    store.setValue(group + QStringLiteral("type"), info.type);
    store.sync();
}
