#include "storerecord.h"

#include "identity.h"
#include "settingskey.h"

#include <QJsonValue>
#include <QSettings>

const QList<RecordField> &recordFields()
{
    // Hosts read these keys and value types: they never change.
    static const QList<RecordField> fields = {
        {"name", [](const PluginInfo &i) { return QVariant(i.name); },
         [](PluginInfo &i, const QVariant &v) { i.name = v.toString(); }},
        {"pluginfn", [](const PluginInfo &i) { return QVariant(i.pluginfn); },
         [](PluginInfo &i, const QVariant &v) { i.pluginfn = v.toString(); }},
        {"instrument", [](const PluginInfo &i) { return QVariant(i.instrument); },
         [](PluginInfo &i, const QVariant &v) { i.instrument = v.toBool(); }},
        {"vendor", [](const PluginInfo &i) { return QVariant(i.vendor); },
         [](PluginInfo &i, const QVariant &v) { i.vendor = v.toString(); }},
        {"inchans", [](const PluginInfo &i) { return QVariant(int(i.inchans)); },
         [](PluginInfo &i, const QVariant &v) { i.inchans = v.toInt(); }},
        {"outchans", [](const PluginInfo &i) { return QVariant(int(i.outchans)); },
         [](PluginInfo &i, const QVariant &v) { i.outchans = v.toInt(); }},
        {"type", [](const PluginInfo &i) { return QVariant(i.type); },
         [](PluginInfo &i, const QVariant &v) { i.type = v.toString(); }},
    };
    return fields;
}

PluginDescription describeRecord(const PluginInfo &info)
{
    PluginDescription description;
    description.format = QStringLiteral("vst2");
    description.name = info.name;
    description.vendor = info.vendor;
    description.file = info.pluginfn;
    // VST 2 has no buses beyond the main ones.
    description.audioInputs = description.audioInputsAll = info.inchans;
    description.audioOutputs = description.audioOutputsAll = info.outchans;
    description.index = 0;
    if (info.instrument)
        description.kind = PluginKind::instrument();
    return description;
}

QJsonObject recordToJson(const PluginInfo &info)
{
    QJsonObject object;
    for (const RecordField &field : recordFields())
        object.insert(QString::fromLatin1(field.key), QJsonValue::fromVariant(field.get(info)));
    return object;
}

PluginInfo recordFromJson(const QJsonObject &object)
{
    PluginInfo info;
    for (const RecordField &field : recordFields())
        field.set(info, object.value(QString::fromLatin1(field.key)).toVariant());
    return info;
}

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
    for (const RecordField &field : recordFields())
        field.set(info, store.value(QString::fromLatin1(field.key)));
    return info;
}
