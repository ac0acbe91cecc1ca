#pragma once

#include "vst2.h"

// The host side of the conversation. Plug-ins may call it at any time after
// the entry point got it, from inside the entry point (with a null effect),
// from inside any dispatcher call, and from threads of their own.
intptr_t VST2_CALL hostCallback(Vst2::AEffect *effect, int32_t opcode, int32_t index, intptr_t value, void *ptr,
                                float opt);

// The all-zero time block answered to audioMasterGetTime.
Vst2::VstTimeInfo *hostTimeInfo();
