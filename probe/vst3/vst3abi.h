// The slice of the VST 3 binary interface that a scan speaks: the three
// module symbols, the factory, the component and the edit controller up to
// its parameter count, the host application, and the structs they fill.
// Objects are a pointer to a table of functions, called with the object as
// their first argument; tables list a base interface's slots first. Written
// from the published binary facts; used by the probe and the test plug-ins.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Vst3 {

using tresult = int32_t;
using TUID = char[16];
using char16 = char16_t;

// Result codes as Linux and macOS builds define them; only 0 is success.
enum : tresult {
    kNoInterface = -1,
    kResultOk = 0,
    kResultFalse = 1,
    kInvalidArgument = 2,
    kNotImplemented = 3,
};

// An interface ID from its four 32-bit words, each stored most significant
// byte first (the Linux layout; Windows swaps the first eight bytes).
struct Iid
{
    char bytes[16];
};
constexpr Iid makeIid(uint32_t l1, uint32_t l2, uint32_t l3, uint32_t l4)
{
    const uint32_t words[4] = {l1, l2, l3, l4};
    Iid iid{};
    for (int k = 0; k < 4; ++k) {
        for (int j = 0; j < 4; ++j)
            iid.bytes[4 * k + j] = char((words[k] >> (24 - 8 * j)) & 0xFF);
    }
    return iid;
}

constexpr Iid kFUnknownIid = makeIid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
constexpr Iid kPluginFactoryIid = makeIid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
constexpr Iid kPluginFactory2Iid = makeIid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
constexpr Iid kPluginFactory3Iid = makeIid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
constexpr Iid kComponentIid = makeIid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
constexpr Iid kEditControllerIid = makeIid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
constexpr Iid kHostApplicationIid = makeIid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
constexpr Iid kRunLoopIid = makeIid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);

// Factory, class and bus records. Every member aligns to 4 at most, so the
// layouts are the same for both word sizes (pinned below).
struct PFactoryInfo
{
    char vendor[64];
    char url[256];
    char email[128];
    int32_t flags;
};

struct PClassInfo
{
    TUID cid;
    int32_t cardinality;
    char category[32];
    char name[64];
};

struct PClassInfo2
{
    TUID cid;
    int32_t cardinality;
    char category[32];
    char name[64];
    uint32_t classFlags;
    char subCategories[128];
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

struct PClassInfoW
{
    TUID cid;
    int32_t cardinality;
    char category[32];
    char16 name[64];
    uint32_t classFlags;
    char subCategories[128]; // 8-bit even here
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

struct BusInfo
{
    int32_t mediaType;
    int32_t direction;
    int32_t channelCount;
    char16 name[128];
    int32_t busType;
    uint32_t flags;
};

enum : int32_t { kAudio = 0, kEvent = 1 };
enum : int32_t { kInput = 0, kOutput = 1 };
enum : int32_t { kMain = 0, kAux = 1 };

constexpr char kAudioModuleClass[] = "Audio Module Class";

// Interface tables. Arguments that are objects the scan never calls into
// (streams, views, handlers) are plain pointers.
struct FUnknownVtbl
{
    tresult (*queryInterface)(void *self, const char *iid, void **object);
    uint32_t (*addRef)(void *self);
    uint32_t (*release)(void *self);
};

struct PluginFactoryVtbl
{
    FUnknownVtbl unknown;
    tresult (*getFactoryInfo)(void *self, PFactoryInfo *info);
    int32_t (*countClasses)(void *self);
    tresult (*getClassInfo)(void *self, int32_t index, PClassInfo *info);
    tresult (*createInstance)(void *self, const char *cid, const char *iid, void **object);
    // IPluginFactory2
    tresult (*getClassInfo2)(void *self, int32_t index, PClassInfo2 *info);
    // IPluginFactory3
    tresult (*getClassInfoUnicode)(void *self, int32_t index, PClassInfoW *info);
    tresult (*setHostContext)(void *self, void *context);
};

struct ComponentVtbl
{
    FUnknownVtbl unknown;
    // IPluginBase
    tresult (*initialize)(void *self, void *context);
    tresult (*terminate)(void *self);
    // IComponent
    tresult (*getControllerClassId)(void *self, char *classId);
    tresult (*setIoMode)(void *self, int32_t mode);
    int32_t (*getBusCount)(void *self, int32_t type, int32_t direction);
    tresult (*getBusInfo)(void *self, int32_t type, int32_t direction, int32_t index, BusInfo *info);
    tresult (*getRoutingInfo)(void *self, void *in, void *out);
    tresult (*activateBus)(void *self, int32_t type, int32_t direction, int32_t index, uint8_t state);
    tresult (*setActive)(void *self, uint8_t state);
    tresult (*setState)(void *self, void *stream);
    tresult (*getState)(void *self, void *stream);
};

// Up to the parameter count, which is all a scan asks.
struct EditControllerVtbl
{
    FUnknownVtbl unknown;
    tresult (*initialize)(void *self, void *context);
    tresult (*terminate)(void *self);
    tresult (*setComponentState)(void *self, void *stream);
    tresult (*setState)(void *self, void *stream);
    tresult (*getState)(void *self, void *stream);
    int32_t (*getParameterCount)(void *self);
};

struct HostApplicationVtbl
{
    FUnknownVtbl unknown;
    tresult (*getName)(void *self, char16 *name);
    tresult (*createInstance)(void *self, char *cid, char *iid, void **object);
};

struct RunLoopVtbl
{
    FUnknownVtbl unknown;
    tresult (*registerEventHandler)(void *self, void *handler, int fd);
    tresult (*unregisterEventHandler)(void *self, void *handler);
    tresult (*registerTimer)(void *self, void *handler, uint64_t milliseconds);
    tresult (*unregisterTimer)(void *self, void *handler);
};

// Every object starts with its table.
template <typename Vtbl> struct Object
{
    const Vtbl *vtbl;
};

using ModuleEntryProc = bool (*)(void *libraryHandle);
using ModuleExitProc = bool (*)();
using GetPluginFactoryProc = Object<PluginFactoryVtbl> *(*)();

static_assert(sizeof(char16) == 2, "UTF-16 code units, not wchar_t");
static_assert(sizeof(PFactoryInfo) == 452 && offsetof(PFactoryInfo, flags) == 448, "PFactoryInfo");
static_assert(sizeof(PClassInfo) == 116 && offsetof(PClassInfo, name) == 52, "PClassInfo");
static_assert(sizeof(PClassInfo2) == 440 && offsetof(PClassInfo2, subCategories) == 120
                  && offsetof(PClassInfo2, sdkVersion) == 376,
              "PClassInfo2");
static_assert(sizeof(PClassInfoW) == 696 && offsetof(PClassInfoW, classFlags) == 180
                  && offsetof(PClassInfoW, subCategories) == 184 && offsetof(PClassInfoW, vendor) == 312
                  && offsetof(PClassInfoW, sdkVersion) == 568,
              "PClassInfoW");
static_assert(sizeof(BusInfo) == 276 && offsetof(BusInfo, busType) == 268, "BusInfo");
// Slot n sits at n pointers into its table on both word sizes.
static_assert(offsetof(PluginFactoryVtbl, createInstance) == 6 * sizeof(void *), "factory slot 6");
static_assert(offsetof(PluginFactoryVtbl, setHostContext) == 9 * sizeof(void *), "factory slot 9");
static_assert(offsetof(ComponentVtbl, getBusInfo) == 8 * sizeof(void *), "component slot 8");
static_assert(offsetof(ComponentVtbl, getState) == 13 * sizeof(void *), "component slot 13");
static_assert(offsetof(EditControllerVtbl, getParameterCount) == 8 * sizeof(void *), "controller slot 8");
static_assert(offsetof(HostApplicationVtbl, createInstance) == 4 * sizeof(void *), "host slot 4");

} // namespace Vst3
