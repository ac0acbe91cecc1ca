#pragma once

#include "probe/plugininfo.h"

#include <QString>

// Writes the record as the one group of the path and flushes it. The store
// emptied at start-up and not yet flushed is written out by this flush, so
// afterwards the file holds exactly this group. False when the file could
// not be written: the host would find no group, so this is no success.
bool writePluginRecord(const QString &path, const PluginInfo &info);

// Reads back, as a host does, the group of the path from a store file.
// The name is empty when the file holds no such group.
PluginInfo readPluginRecord(const QString &storeFile, const QString &path);
