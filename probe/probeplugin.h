#pragma once

#include "contract/plugininfo.h"

#include <QString>

// Refuses banned paths (writing the ban line), loads the library, talks to
// the effect and unloads it again before returning. Fails only by leaving
// the record's name empty: banned path, not loadable, no entry point,
// entry point refused, or no name at all. With `details`, a describing
// scan's further questions are asked too, after the helper's own and
// before the effect is closed; without, the conversation is the helper's.
struct Vst2Details;
PluginInfo probeLibrary(QString path, Vst2Details *details = nullptr);
