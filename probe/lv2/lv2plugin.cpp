#include "lv2plugin.h"

#include "turtlecheck.h"

#include <QFileInfo>

namespace {

const char kLv2[] = "http://lv2plug.in/ns/lv2core#";

QByteArray lv2Uri(const char *name)
{
    return QByteArray(kLv2) + name;
}

// The kinds the core classes stand for, found on the way from the plug-in's
// class up to lv2:Plugin; a class below none of them is an effect.
QString kindOf(Lv2World &world, const LilvPluginClass *pluginClass)
{
    const LilvPluginClasses *classes = lilv_world_get_plugin_classes(world.world());
    const struct
    {
        const char *name;
        QString kind;
    } kinds[] = {
        {"InstrumentPlugin", PluginKind::instrument()},
        {"AnalyserPlugin", PluginKind::analyzer()},
        {"MIDIPlugin", PluginKind::noteEffect()},
        {"GeneratorPlugin", PluginKind::other()},
    };
    // The class tree comes from data too: a loop in it must end.
    for (int depth = 0; pluginClass && depth < 32; ++depth) {
        const QString uri = nodeText(lilv_plugin_class_get_uri(pluginClass));
        for (const auto &kind : kinds) {
            if (uri == QLatin1String(lv2Uri(kind.name)))
                return kind.kind;
        }
        const LilvNode *parent = lilv_plugin_class_get_parent_uri(pluginClass);
        pluginClass = parent ? lilv_plugin_classes_get_by_uri(classes, parent) : nullptr;
    }
    return PluginKind::effect();
}

// The class's label from the specification, else the last part of its URI.
QString className(const LilvPluginClass *pluginClass)
{
    const QString label = nodeText(lilv_plugin_class_get_label(pluginClass));
    if (!label.isEmpty())
        return label;
    const QString uri = nodeText(lilv_plugin_class_get_uri(pluginClass));
    return uri.mid(uri.lastIndexOf(QLatin1Char('#')) + 1);
}

QString version(Lv2World &world, const LilvPlugin *plugin)
{
    const auto number = [&](const char *name) -> std::optional<int> {
        LilvNodes *values = lilv_plugin_get_value(plugin, world.uri(lv2Uri(name).constData()));
        const LilvNode *value = values ? lilv_nodes_get_first(values) : nullptr;
        std::optional<int> result;
        if (value && lilv_node_is_int(value))
            result = lilv_node_as_int(value);
        lilv_nodes_free(values);
        return result;
    };
    const std::optional<int> minor = number("minorVersion");
    const std::optional<int> micro = number("microVersion");
    if (!minor && !micro)
        return QString();
    return QStringLiteral("%1.%2").arg(minor.value_or(0)).arg(micro.value_or(0));
}

void countPorts(Lv2World &world, const LilvPlugin *plugin, PluginDescription &description)
{
    const LilvNode *audio = world.uri(LILV_URI_AUDIO_PORT);
    const LilvNode *control = world.uri(LILV_URI_CONTROL_PORT);
    const LilvNode *atom = world.uri(LILV_URI_ATOM_PORT);
    const LilvNode *event = world.uri(LILV_URI_EVENT_PORT);
    const LilvNode *input = world.uri(LILV_URI_INPUT_PORT);
    const LilvNode *output = world.uri(LILV_URI_OUTPUT_PORT);
    const LilvNode *midi = world.uri(LILV_URI_MIDI_EVENT);
    const LilvNode *sideChain = world.uri(lv2Uri("isSideChain").constData());

    qint64 audioIn = 0, audioOut = 0, mainIn = 0, mainOut = 0, midiIn = 0, midiOut = 0, controlIn = 0;
    const uint32_t ports = lilv_plugin_get_num_ports(plugin);
    for (uint32_t index = 0; index < ports; ++index) {
        const LilvPort *port = lilv_plugin_get_port_by_index(plugin, index);
        if (!port)
            continue;
        const bool in = lilv_port_is_a(plugin, port, input);
        const bool out = lilv_port_is_a(plugin, port, output);
        if (lilv_port_is_a(plugin, port, audio)) {
            const bool main = !lilv_port_has_property(plugin, port, sideChain);
            audioIn += in;
            audioOut += out;
            mainIn += in && main;
            mainOut += out && main;
        } else if ((lilv_port_is_a(plugin, port, atom) || lilv_port_is_a(plugin, port, event))
                   && lilv_port_supports_event(plugin, port, midi)) {
            midiIn += in;
            midiOut += out;
        } else if (lilv_port_is_a(plugin, port, control)) {
            controlIn += in;
        }
    }
    description.audioInputs = mainIn;
    description.audioOutputs = mainOut;
    description.audioInputsAll = audioIn;
    description.audioOutputsAll = audioOut;
    description.midiInputs = midiIn;
    description.midiOutputs = midiOut;
    description.parameters = controlIn;
}

bool hasUi(const LilvPlugin *plugin)
{
    LilvUIs *uis = lilv_plugin_get_uis(plugin);
    const bool any = uis && lilv_uis_size(uis) > 0;
    lilv_uis_free(uis);
    return any;
}

QString uriPath(const LilvNode *uri)
{
    if (!uri || !lilv_node_is_uri(uri))
        return QString();
    char *path = lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr);
    const QString text = path ? QFile::decodeName(path) : QString();
    lilv_free(path);
    return text;
}

} // namespace

PluginDescription lv2Description(Lv2World &world, const LilvPlugin *plugin)
{
    PluginDescription description;
    description.format = QStringLiteral("lv2");
    description.id = nodeText(lilv_plugin_get_uri(plugin));
    description.name = nodeText(OwnedNode(lilv_plugin_get_name(plugin)).get());
    description.vendor = nodeText(OwnedNode(lilv_plugin_get_author_name(plugin)).get());
    description.version = version(world, plugin);
    if (const LilvPluginClass *pluginClass = lilv_plugin_get_class(plugin)) {
        description.category = className(pluginClass);
        description.kind = kindOf(world, pluginClass);
    }
    countPorts(world, plugin, description);
    description.editor = hasUi(plugin);
    description.file = uriPath(lilv_plugin_get_library_uri(plugin));
    return description;
}

QString lv2Defect(const LilvPlugin *plugin)
{
    QStringList files;
    const LilvNodes *data = lilv_plugin_get_data_uris(plugin);
    for (LilvIter *i = lilv_nodes_begin(data); !lilv_nodes_is_end(data, i); i = lilv_nodes_next(data, i)) {
        const QString file = uriPath(lilv_nodes_get(data, i));
        if (!file.isEmpty() && !QFileInfo(file).isFile())
            return QStringLiteral("its data file %1 is missing").arg(QFileInfo(file).fileName());
        files << file;
    }
    if (nodeText(OwnedNode(lilv_plugin_get_name(plugin)).get()).isEmpty()) {
        // A data file that stops at a syntax error may be why.
        for (const QString &file : files) {
            const QString error = file.isEmpty() ? QString() : turtleError(file);
            if (!error.isEmpty())
                return QStringLiteral("its data are not valid Turtle: ") + error;
        }
        return QStringLiteral("its data give it no name (doap:name)");
    }
    if (!lilv_plugin_verify(plugin))
        return QStringLiteral("lilv finds its data incomplete (no type, binary or port index)");
    return QString();
}
