#pragma once

#include "contract/plugininfo.h"

#include <QString>

// Writes the record as the one group of the path and flushes it. The store
// emptied at start-up and not yet flushed is written out by this flush, so
// afterwards the file holds exactly this group. False when the file could
// not be written: the host would find no group, so this is no success.
bool writePluginRecord(const QString &path, const PluginInfo &info);
