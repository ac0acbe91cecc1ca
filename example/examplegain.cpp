// A minimal VST 2 effect: stereo in, stereo out, a name, a vendor and a
// product, and just enough of a dispatcher to answer a scan.

#include "probe/vst2.h"

#include <cstring>

namespace {

void copyText(void *buffer, const char *text)
{
    std::strcpy(static_cast<char *>(buffer), text);
}

intptr_t VST2_CALL dispatcher(Vst2::AEffect *effect, int32_t opcode, int32_t, intptr_t, void *ptr, float)
{
    switch (opcode) {
    case Vst2::effGetEffectName:
        copyText(ptr, "Example Gain");
        return 1;
    case Vst2::effGetVendorString:
        copyText(ptr, "Kestrune Examples");
        return 1;
    case Vst2::effGetProductString:
        copyText(ptr, "Example Gain Plug-in");
        return 1;
    case Vst2::effClose:
        delete effect;
        return 0;
    default:
        return 0;
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) Vst2::AEffect *VSTPluginMain(Vst2::HostCallback host)
{
    if (!host || host(nullptr, Vst2::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    auto *effect = new Vst2::AEffect{};
    effect->magic = 0x56737450; // 'VstP'
    effect->dispatcher = dispatcher;
    effect->numInputs = 2;
    effect->numOutputs = 2;
    effect->uniqueID = 0x4B734567; // 'KsEg': what hosts recall it by
    effect->version = 100;
    return effect;
}
