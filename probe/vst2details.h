#pragma once

#include "contract/plugindescription.h"
#include "contract/plugininfo.h"

#include <cstdint>

namespace Vst2 {
struct AEffect;
}

// What a describing scan asks a VST 2 effect beyond the helper's own
// queries: read from the record and asked of the dispatcher after them,
// before effClose, instruments included.
struct Vst2Details
{
    bool asked = false; // the effect was reached and asked
    int32_t uniqueID = 0;
    int32_t version = 0;
    int32_t flags = 0;
    int32_t parameters = 0;
    int32_t programs = 0;
    bool replacing = false;
    intptr_t category = 0;      // effGetPlugCategory
    intptr_t vendorVersion = 0; // effGetVendorVersion
    intptr_t vstVersion = 0;    // effGetVstVersion
    bool receivesMidi = false;  // effCanDo "receiveVstMidiEvent" or "receiveVstEvents"
    bool sendsMidi = false;     // effCanDo "sendVstMidiEvent" or "sendVstEvents"
};

// Asks the open effect; the caller closes it afterwards.
Vst2Details askDetails(Vst2::AEffect *effect);

// The unique ID as hosts show it: four characters, most significant byte
// first; empty when a byte is not printable ASCII.
QString fourCharacterCode(int32_t uniqueID);

// The category's own name ("effect", "synth", "shell", ...), or its number.
QString categoryName(intptr_t category);

// The description of a named VST 2 file: the helper's record with the
// details. Without details (a scanner that was not asked) only what the
// record says.
PluginDescription describeVst2(const PluginInfo &info, const Vst2Details &details);
