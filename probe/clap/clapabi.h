// The slice of the CLAP binary interface that a scan speaks: the entry
// record, the plug-in factory, the descriptor, the host and plug-in records,
// and the extensions a scan asks or answers. Plain C structs of pointers
// and 32-bit numbers, laid out by the compiler; pinned below for both word
// sizes. Written from the published binary facts; used by the probe and the
// test plug-ins.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Clap {

struct Version
{
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
};

// 0.x was the format's draft: only 1.x and later are compatible.
constexpr bool isCompatible(const Version &version)
{
    return version.major >= 1;
}

struct Host;
struct Plugin;

struct PluginDescriptor
{
    Version version;
    const char *id;
    const char *name;
    const char *vendor;
    const char *url;
    const char *manualUrl;
    const char *supportUrl;
    const char *pluginVersion;
    const char *description;
    const char *const *features; // ends with a null pointer
};

struct PluginEntry
{
    Version version;
    bool (*init)(const char *pluginPath);
    void (*deinit)();
    const void *(*getFactory)(const char *factoryId);
};

struct PluginFactory
{
    uint32_t (*getPluginCount)(const PluginFactory *factory);
    const PluginDescriptor *(*getPluginDescriptor)(const PluginFactory *factory, uint32_t index);
    const Plugin *(*createPlugin)(const PluginFactory *factory, const Host *host, const char *pluginId);
};

struct Host
{
    Version version;
    void *hostData;
    const char *name;
    const char *vendor;
    const char *url;
    const char *hostVersion;
    const void *(*getExtension)(const Host *host, const char *extensionId);
    void (*requestRestart)(const Host *host);
    void (*requestProcess)(const Host *host);
    void (*requestCallback)(const Host *host);
};

struct Plugin
{
    const PluginDescriptor *desc;
    void *pluginData;
    bool (*init)(const Plugin *plugin);
    void (*destroy)(const Plugin *plugin);
    bool (*activate)(const Plugin *plugin, double sampleRate, uint32_t minFrames, uint32_t maxFrames);
    void (*deactivate)(const Plugin *plugin);
    bool (*startProcessing)(const Plugin *plugin);
    void (*stopProcessing)(const Plugin *plugin);
    void (*reset)(const Plugin *plugin);
    int32_t (*process)(const Plugin *plugin, const void *process);
    const void *(*getExtension)(const Plugin *plugin, const char *extensionId);
    void (*onMainThread)(const Plugin *plugin);
};

constexpr uint32_t kNameSize = 256;

struct AudioPortInfo
{
    uint32_t id;
    char name[kNameSize];
    uint32_t flags;
    uint32_t channelCount;
    const char *portType;
    uint32_t inPlacePair;
};
constexpr uint32_t kAudioPortIsMain = 1;

struct PluginAudioPorts
{
    uint32_t (*count)(const Plugin *plugin, bool isInput);
    bool (*get)(const Plugin *plugin, uint32_t index, bool isInput, AudioPortInfo *info);
};

struct NotePortInfo
{
    uint32_t id;
    uint32_t supportedDialects;
    uint32_t preferredDialect;
    char name[kNameSize];
};
enum : uint32_t { kNoteDialectClap = 1, kNoteDialectMidi = 2, kNoteDialectMidiMpe = 4, kNoteDialectMidi2 = 8 };

struct PluginNotePorts
{
    uint32_t (*count)(const Plugin *plugin, bool isInput);
    bool (*get)(const Plugin *plugin, uint32_t index, bool isInput, NotePortInfo *info);
};

// Only the count, which is all a scan asks; the rest of the record follows it.
struct PluginParams
{
    uint32_t (*count)(const Plugin *plugin);
};

struct HostThreadCheck
{
    bool (*isMainThread)(const Host *host);
    bool (*isAudioThread)(const Host *host);
};

struct HostLog
{
    void (*log)(const Host *host, int32_t severity, const char *message);
};

constexpr char kEntrySymbol[] = "clap_entry";
constexpr char kPluginFactoryId[] = "clap.plugin-factory";
constexpr char kAudioPortsId[] = "clap.audio-ports";
constexpr char kNotePortsId[] = "clap.note-ports";
constexpr char kParamsId[] = "clap.params";
constexpr char kGuiId[] = "clap.gui";
constexpr char kThreadCheckId[] = "clap.thread-check";
constexpr char kLogId[] = "clap.log";

static_assert(sizeof(Version) == 12, "clap_version");
static_assert(sizeof(NotePortInfo) == 268, "clap_note_port_info");
#if INTPTR_MAX == INT64_MAX
static_assert(sizeof(PluginEntry) == 40 && offsetof(PluginEntry, init) == 16, "64-bit clap_plugin_entry");
static_assert(sizeof(PluginDescriptor) == 88 && offsetof(PluginDescriptor, features) == 80,
              "64-bit clap_plugin_descriptor");
static_assert(sizeof(Host) == 88 && offsetof(Host, getExtension) == 56, "64-bit clap_host");
static_assert(sizeof(Plugin) == 96 && offsetof(Plugin, getExtension) == 80, "64-bit clap_plugin");
static_assert(sizeof(AudioPortInfo) == 288 && offsetof(AudioPortInfo, portType) == 272, "64-bit clap_audio_port_info");
#else
static_assert(sizeof(PluginEntry) == 24 && offsetof(PluginEntry, init) == 12, "32-bit clap_plugin_entry");
static_assert(sizeof(PluginDescriptor) == 48 && offsetof(PluginDescriptor, features) == 44,
              "32-bit clap_plugin_descriptor");
static_assert(sizeof(Host) == 48 && offsetof(Host, getExtension) == 32, "32-bit clap_host");
static_assert(sizeof(Plugin) == 48 && offsetof(Plugin, getExtension) == 40, "32-bit clap_plugin");
static_assert(sizeof(AudioPortInfo) == 276 && offsetof(AudioPortInfo, portType) == 268, "32-bit clap_audio_port_info");
#endif

} // namespace Clap
