#include "hostcallback.h"

Vst2::VstTimeInfo *hostTimeInfo()
{
    // A function-local static is initialised exactly once even when several
    // plug-in threads make their first callback at the same moment. It is
    // trivially destructible, so plug-ins may keep the pointer until the process ends.
    static Vst2::VstTimeInfo info{};
    return &info;
}

intptr_t VST2_CALL hostCallback(Vst2::AEffect *, int32_t opcode, int32_t, intptr_t, void *, float)
{
    Vst2::VstTimeInfo *const timeInfo = hostTimeInfo();
    switch (opcode) {
    case Vst2::audioMasterVersion:
        return Vst2::kHostVersion;
    case Vst2::audioMasterGetTime:
        return reinterpret_cast<intptr_t>(timeInfo);
    case Vst2::audioMasterGetCurrentProcessLevel:
        return Vst2::kVstProcessLevelUser;
    default:
        // Idle, automation, edit brackets and everything we do not know.
        return 0;
    }
}
