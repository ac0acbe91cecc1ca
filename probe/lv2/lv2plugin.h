#pragma once

#include "lv2world.h"

#include "contract/plugindescription.h"

// What lilv reads of one plug-in of a loaded bundle: its URI (the ID),
// name, author, version (minor.micro), class and kind, audio ports (the
// main ones leave side-chains out), MIDI-carrying atom and event ports in
// each direction, control inputs, and whether it has a UI. Reads data only.
PluginDescription lv2Description(Lv2World &world, const LilvPlugin *plugin);

// Why a plug-in of the bundle cannot be described (a data file it names is
// missing, it has no name, lilv finds its data invalid); empty when it can.
QString lv2Defect(const LilvPlugin *plugin);
