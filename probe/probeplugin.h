#pragma once

#include "contract/plugininfo.h"

#include <QString>

// Refuses banned paths (writing the ban line), loads the library, talks to
// the effect and unloads it again before returning. Fails only by leaving
// the record's name empty: banned path, not loadable, no entry point,
// entry point refused, or no name at all.
PluginInfo probeLibrary(QString path);
