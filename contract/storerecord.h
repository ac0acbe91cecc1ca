#pragma once

#include "plugindescription.h"
#include "plugininfo.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>

// How a plug-in's record sits in the result store: the seven keys of its
// group, in writing order, each with how its value is taken from and put
// into the record. The INI store, the scan server's frames and the reading
// back all walk this one table.
struct RecordField
{
    const char *key;
    QVariant (*get)(const PluginInfo &info);
    void (*set)(PluginInfo &info, const QVariant &value);
};
const QList<RecordField> &recordFields();

// What the record alone tells of a VST 2 plug-in, for a scanner that was
// not asked for more (contract/filedescription.h).
PluginDescription describeRecord(const PluginInfo &info);

// The record as a JSON object under the store's keys, and back.
QJsonObject recordToJson(const PluginInfo &info);
PluginInfo recordFromJson(const QJsonObject &object);

// The store file of a scanner started with XDG_CONFIG_HOME set to
// configHome (Unix desktops other than macOS).
QString storeFileIn(const QString &configHome);

// The user's own store file, where a scanner started as it is writes.
QString userStoreFile();

// Reads back, as a host does, the group of the path from a store file.
// The name is empty when the file holds no such group.
PluginInfo readPluginRecord(const QString &storeFile, const QString &path);
