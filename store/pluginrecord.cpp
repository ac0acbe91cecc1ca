#include "pluginrecord.h"

#include "settingskey.h"

#include <QSettings>

namespace {

// The seven keys of a group, in writing order.
const QString kName = QStringLiteral("name");
const QString kPluginFn = QStringLiteral("pluginfn");
const QString kInstrument = QStringLiteral("instrument");
const QString kVendor = QStringLiteral("vendor");
const QString kInChans = QStringLiteral("inchans");
const QString kOutChans = QStringLiteral("outchans");
const QString kType = QStringLiteral("type");

} // namespace

bool writePluginRecord(const QString &path, const PluginInfo &info)
{
    // Opened with the application's identity and default format; it shares
    // pending changes with the store object that emptied the file at start.
    QSettings store;
    store.beginGroup(settingsKeyForPath(path));
    store.setValue(kName, info.name);
    store.setValue(kPluginFn, info.pluginfn);
    store.setValue(kInstrument, info.instrument);
    store.setValue(kVendor, info.vendor);
    store.setValue(kInChans, int(info.inchans));
    store.setValue(kOutChans, int(info.outchans));
    store.setValue(kType, info.type);
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

PluginInfo readPluginRecord(const QString &storeFile, const QString &path)
{
    QSettings store(storeFile, QSettings::IniFormat);
    store.beginGroup(settingsKeyForPath(path));
    PluginInfo info;
    info.name = store.value(kName).toString();
    info.pluginfn = store.value(kPluginFn).toString();
    info.instrument = store.value(kInstrument).toBool();
    info.vendor = store.value(kVendor).toString();
    info.inchans = store.value(kInChans).toInt();
    info.outchans = store.value(kOutChans).toInt();
    info.type = store.value(kType).toString();
    return info;
}
