#pragma once

#include "contract/plugindescription.h"

#include <ladspa.h>

// What a LADSPA descriptor says of its plug-in, as format "ladspa" with
// kind effect (LADSPA has no instruments): the unique ID and label, names,
// the audio input and output ports and the control input ports. The
// descriptor's strings and port list are read within bounds; port counts
// stay absent when the list is missing or past any real plug-in's size.
PluginDescription ladspaDescription(const LADSPA_Descriptor &descriptor);
