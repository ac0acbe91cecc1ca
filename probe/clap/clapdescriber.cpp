#include "clapdescriber.h"

#include "clapabi.h"
#include "claphost.h"

#include "contract/outcome.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <dlfcn.h>

namespace {

// Bounds on what a plug-in may hand over: far beyond real ones, short of
// a lying count or an unterminated list running for hours.
constexpr uint32_t kMaxPlugins = 100000;
constexpr uint32_t kMaxPorts = 256;
constexpr int kMaxFeatures = 256;
constexpr size_t kMaxText = 64 * 1024;

// A descriptor's strings end with a NUL by the format's word; that word is
// not taken further than kMaxText.
QString text(const char *string)
{
    return string ? QString::fromUtf8(string, int(strnlen(string, kMaxText))) : QString();
}

QStringList featuresOf(const char *const *features)
{
    QStringList list;
    for (int i = 0; features && features[i] && i < kMaxFeatures; ++i)
        list << text(features[i]);
    return list;
}

struct Ports
{
    qint64 main = 0;
    qint64 all = 0;
};

Ports audioPorts(const Clap::Plugin *plugin, const Clap::PluginAudioPorts *ports, bool input)
{
    Ports result;
    if (!ports->count || !ports->get)
        return result;
    const uint32_t count = qMin(ports->count(plugin, input), kMaxPorts);
    bool mainSeen = false;
    for (uint32_t index = 0; index < count; ++index) {
        Clap::AudioPortInfo info{};
        if (!ports->get(plugin, index, input, &info))
            continue;
        result.all += info.channelCount;
        if ((info.flags & Clap::kAudioPortIsMain) && !mainSeen) {
            result.main = info.channelCount;
            mainSeen = true;
        }
    }
    return result;
}

// Note ports that take or give MIDI or the format's own notes.
qint64 notePorts(const Clap::Plugin *plugin, const Clap::PluginNotePorts *ports, bool input)
{
    qint64 result = 0;
    if (!ports->count || !ports->get)
        return result;
    const uint32_t count = qMin(ports->count(plugin, input), kMaxPorts);
    for (uint32_t index = 0; index < count; ++index) {
        Clap::NotePortInfo info{};
        if (ports->get(plugin, index, input, &info) && info.supportedDialects)
            ++result;
    }
    return result;
}

template <typename Extension> const Extension *extension(const Clap::Plugin *plugin, const char *id)
{
    return plugin->getExtension ? static_cast<const Extension *>(plugin->getExtension(plugin, id)) : nullptr;
}

// Ports, parameters and GUI from one instance. Extensions are asked only
// after init: some plug-ins crash when asked before.
void describeInstance(const Clap::PluginFactory *factory, const ClapHost &host, const char *id,
                      PluginDescription *description)
{
    const Clap::Plugin *plugin = factory->createPlugin ? factory->createPlugin(factory, host.host(), id) : nullptr;
    if (!plugin || !plugin->init || !plugin->destroy)
        return;
    if (plugin->init(plugin)) {
        if (const auto *ports = extension<Clap::PluginAudioPorts>(plugin, Clap::kAudioPortsId)) {
            const Ports in = audioPorts(plugin, ports, true);
            const Ports out = audioPorts(plugin, ports, false);
            description->audioInputs = in.main;
            description->audioInputsAll = in.all;
            description->audioOutputs = out.main;
            description->audioOutputsAll = out.all;
        }
        const auto *notes = extension<Clap::PluginNotePorts>(plugin, Clap::kNotePortsId);
        description->midiInputs = notes ? notePorts(plugin, notes, true) : 0;
        description->midiOutputs = notes ? notePorts(plugin, notes, false) : 0;
        const auto *params = extension<Clap::PluginParams>(plugin, Clap::kParamsId);
        if (params && params->count)
            description->parameters = params->count(plugin);
        description->editor = extension<void>(plugin, Clap::kGuiId) != nullptr;
    }
    // Never activated, so destroying it at once is allowed, after a failed init too.
    plugin->destroy(plugin);
}

QList<PluginDescription> describePlugins(const Clap::PluginFactory *factory, const QString &file)
{
    const ClapHost host;
    QList<PluginDescription> plugins;
    if (!factory->getPluginCount || !factory->getPluginDescriptor)
        return plugins;
    const uint32_t count = qMin(factory->getPluginCount(factory), kMaxPlugins);
    for (uint32_t index = 0; index < count; ++index) {
        const Clap::PluginDescriptor *descriptor = factory->getPluginDescriptor(factory, index);
        // The id and name are mandatory; a descriptor without them names nothing a host could load.
        if (!descriptor || !Clap::isCompatible(descriptor->version) || !descriptor->id || !descriptor->name)
            continue;
        PluginDescription plugin;
        plugin.format = QStringLiteral("clap");
        plugin.id = text(descriptor->id);
        plugin.name = text(descriptor->name);
        plugin.vendor = text(descriptor->vendor);
        plugin.version = text(descriptor->pluginVersion);
        plugin.description = text(descriptor->description);
        const QStringList features = featuresOf(descriptor->features);
        plugin.category = features.join(QLatin1Char(' '));
        plugin.kind = clapKind(features);
        plugin.file = file;
        plugin.index = index;
        // The descriptor's strings last until deinit; the id is copied for create_plugin.
        const QByteArray id = plugin.id.toUtf8();
        describeInstance(factory, host, id.constData(), &plugin);
        plugins << plugin;
    }
    return plugins;
}

} // namespace

QString clapKind(const QStringList &features)
{
    if (features.contains(QLatin1String("instrument")))
        return PluginKind::instrument();
    if (features.contains(QLatin1String("note-effect")))
        return PluginKind::noteEffect();
    if (features.contains(QLatin1String("analyzer")))
        return PluginKind::analyzer();
    if (features.contains(QLatin1String("audio-effect")))
        return PluginKind::effect();
    return PluginKind::other();
}

int describeClap(const QString &path, FileDescription *description)
{
    const QFileInfo info(path);
    if (!info.exists())
        return OutcomeNotFound;
    // The loader would block forever on a FIFO; a folder is a macOS bundle.
    if (!info.isFile()) {
        description->cause = QStringLiteral("not a regular file");
        return OutcomeNoName;
    }
    const QString file = info.absoluteFilePath();
    const QByteArray encoded = QFile::encodeName(file);
    void *handle = dlopen(encoded.constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
        const char *error = dlerror();
        description->cause = QStringLiteral("not loadable: %1").arg(QString::fromLocal8Bit(error ? error : "?"));
        return OutcomeNoName;
    }
    int outcome = OutcomeOk;
    const auto *entry = static_cast<const Clap::PluginEntry *>(dlsym(handle, Clap::kEntrySymbol));
    if (!entry) {
        description->cause = QStringLiteral("no clap_entry");
        outcome = OutcomeNoName;
    } else if (!Clap::isCompatible(entry->version)) {
        description->cause = QStringLiteral("clap_entry of version %1.%2.%3, before 1.0")
                                 .arg(entry->version.major)
                                 .arg(entry->version.minor)
                                 .arg(entry->version.revision);
        outcome = OutcomeNoName;
    } else if (!entry->init || !entry->deinit || !entry->getFactory || !entry->init(encoded.constData())) {
        // After a refused init nothing else is called, deinit included.
        description->cause = QStringLiteral("clap_entry's init refused to start the library");
        outcome = OutcomeNoName;
    } else {
        const auto *factory = static_cast<const Clap::PluginFactory *>(entry->getFactory(Clap::kPluginFactoryId));
        if (factory)
            description->plugins = describePlugins(factory, file);
        else
            description->note = QStringLiteral("no plug-in factory");
        entry->deinit();
    }
    dlclose(handle);
    return outcome;
}
