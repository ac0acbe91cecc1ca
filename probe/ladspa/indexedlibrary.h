#pragma once

#include "contract/filedescription.h"

#include <QFunctionPointer>
#include <QString>

// LADSPA and DSSI name their plug-ins by one exported function that answers
// a descriptor per index, from 0 until it answers none. This loads the
// library once for all of them, resolves `symbol` and calls `describeAt`
// with it for index 0, 1, ... until that returns false; the library is
// unloaded before returning. Returns the outcome code of FormatDescriber:
// 3 when nothing is at the path, 5 with the cause when it is not a
// loadable library or does not export `symbol`, else 0.
using DescribeAt
    = bool (*)(QFunctionPointer entry, unsigned long index, const QString &path, PluginDescription *description);
int describeIndexedLibrary(const QString &path, const char *symbol, DescribeAt describeAt,
                           FileDescription *description);

// A list longer than this is taken as endless (LSP's library holds 114).
constexpr unsigned long kMaxIndexedPlugins = 4096;
