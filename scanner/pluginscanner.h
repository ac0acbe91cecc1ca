#pragma once

#include "contract/plugininfo.h"

#include <QString>

class ResultStore;
struct Vst2Details;

// Examines one plug-in per process. Stateless: every call stands alone.
class PluginScanner
{
public:
    // Checks the path, probes the plug-in and stores what it found.
    // Returns the outcome code (see contract/outcome.h): 0 when a record was stored,
    // 3 when nothing exists at the path, 5 when the probe found no name,
    // 6 when the record could not be written to the store. A plug-in that
    // calls exit() or quick_exit() ends the process with 4 (pluginexitguard.h).
    // With `details`, a describing scan's further questions are asked too,
    // and `named` gets the record that was stored.
    int scanPlugin(const QString &path, ResultStore &store, Vst2Details *details = nullptr,
                   PluginInfo *named = nullptr) const;

    // The probe (probe/probeplugin.h): loads the library, talks to the effect
    // and unloads it again before returning. Fails only by leaving the
    // record's name empty: banned path, not a regular file, not loadable, no
    // entry point, entry point refused, or no name at all.
    PluginInfo probePlugin(QString path, Vst2Details *details = nullptr) const;
};
