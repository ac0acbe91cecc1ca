// The slice of the VST 2.x binary interface that the probe speaks: the effect
// record up to its flags, the dispatcher and host-callback shapes, the time
// block handed out for audioMasterGetTime, and the opcodes we send or answer.
// Written from the published interface; nothing here is used beyond the probe
// and the plug-ins built for testing it.
#pragma once

#include <cstddef>
#include <cstdint>

// Both directions of the interface use the C calling convention; a 32-bit
// Windows build has to say so, everywhere else it is already the default.
#if defined(_WIN32)
#define VST2_CALL __cdecl
#else
#define VST2_CALL
#endif

namespace Vst2 {

struct AEffect;

using HostCallback
    = intptr_t(VST2_CALL *)(AEffect *effect, int32_t opcode, int32_t index, intptr_t value, void *ptr, float opt);
using DispatcherProc
    = intptr_t(VST2_CALL *)(AEffect *effect, int32_t opcode, int32_t index, intptr_t value, void *ptr, float opt);
using EntryPoint = AEffect *(VST2_CALL *)(HostCallback host);

// The whole record. The helper reads nothing past flags; a describing
// scan also reads the unique ID, the version and the process functions.
struct AEffect
{
    int32_t magic;
    DispatcherProc dispatcher;
    void *process;      // deprecated accumulating process, unused
    void *setParameter; // unused by the probe
    void *getParameter; // unused by the probe
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;
    int32_t numOutputs;
    int32_t flags;
    void *resvd1;
    void *resvd2;
    int32_t initialDelay;
    int32_t realQualities;
    int32_t offQualities;
    float ioRatio;
    void *object;
    void *user;
    int32_t uniqueID;
    int32_t version;
    void *processReplacing;
    void *processDoubleReplacing;
    char future[56];
};

struct VstTimeInfo
{
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    int32_t timeSigNumerator;
    int32_t timeSigDenominator;
    int32_t smpteOffset;
    int32_t smpteFrameRate;
    int32_t samplesToNextClock;
    int32_t flags;
};

// Dispatcher opcodes (host to plug-in).
enum : int32_t {
    effOpen = 0,
    effClose = 1,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetPlugCategory = 35,
    effGetVendorVersion = 49,
    effCanDo = 51,
    effGetVstVersion = 58,
};

// What effGetPlugCategory answers.
enum : int32_t {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
    kPlugCategAnalysis = 3,
    kPlugCategMastering = 4,
    kPlugCategSpacializer = 5,
    kPlugCategRoomFx = 6,
    kPlugSurroundFx = 7,
    kPlugCategRestoration = 8,
    kPlugCategOfflineProcess = 9,
    kPlugCategShell = 10,
    kPlugCategGenerator = 11,
};

// Host-callback opcodes (plug-in to host) that get an answer other than 0.
enum : int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterIdle = 3,
    audioMasterGetTime = 7,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
};

constexpr int32_t effFlagsHasEditor = 1 << 0;
constexpr int32_t effFlagsCanReplacing = 1 << 4;
constexpr int32_t effFlagsIsSynth = 1 << 8;
constexpr intptr_t kHostVersion = 2400;
constexpr intptr_t kVstProcessLevelUser = 1;

// A dispatcher call with no index, value or float, as every query of the
// probe is.
inline intptr_t dispatch(AEffect *effect, int32_t opcode, void *ptr = nullptr)
{
    return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f);
}

// Plug-ins are compiled against the same layout on both word sizes; a
// mismatch here would make every field read garbage.
static_assert(sizeof(intptr_t) == sizeof(void *), "pointer-sized values are intptr_t");
static_assert(sizeof(float) == 4 && sizeof(double) == 8, "IEEE single and double");
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo is 88 bytes on every platform");
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64, "eight doubles lead the time block");
static_assert(offsetof(AEffect, dispatcher) == sizeof(void *), "dispatcher follows the magic");
#if INTPTR_MAX == INT64_MAX
static_assert(offsetof(AEffect, numInputs) == 48 && offsetof(AEffect, numOutputs) == 52
                  && offsetof(AEffect, flags) == 56 && offsetof(AEffect, resvd1) == 64
                  && offsetof(AEffect, uniqueID) == 112 && offsetof(AEffect, version) == 116
                  && offsetof(AEffect, processReplacing) == 120 && sizeof(AEffect) == 192,
              "64-bit AEffect layout");
#else
static_assert(offsetof(AEffect, numInputs) == 28 && offsetof(AEffect, numOutputs) == 32
                  && offsetof(AEffect, flags) == 36 && offsetof(AEffect, resvd1) == 40
                  && offsetof(AEffect, uniqueID) == 72 && offsetof(AEffect, version) == 76
                  && offsetof(AEffect, processReplacing) == 80 && sizeof(AEffect) == 144,
              "32-bit AEffect layout");
#endif

} // namespace Vst2
