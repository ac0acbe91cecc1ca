// The yardstick for scanning LV2: one process that reads every bundle of
// LV2_PATH with lilv, as a host does at start-up, and asks each plug-in
// for what ombrel-scan reports (name, author, class, audio and MIDI port
// counts). Prints the number of plug-ins read; with --list, first one
// tab-separated line per plug-in: URI, name, author, class, audio inputs
// and outputs, MIDI inputs and outputs.

#include <lilv/lilv.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

const char *text(const LilvNode *node)
{
    return node ? lilv_node_as_string(node) : "";
}

unsigned midiPorts(const LilvPlugin *plugin, const LilvNode *direction, const LilvNode *atom, const LilvNode *event,
                   const LilvNode *midi)
{
    unsigned count = 0;
    for (uint32_t p = 0; p < lilv_plugin_get_num_ports(plugin); ++p) {
        const LilvPort *port = lilv_plugin_get_port_by_index(plugin, p);
        count += lilv_port_is_a(plugin, port, direction)
            && (lilv_port_is_a(plugin, port, atom) || lilv_port_is_a(plugin, port, event))
            && lilv_port_supports_event(plugin, port, midi);
    }
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    const bool list = argc > 1 && std::strcmp(argv[1], "--list") == 0;
    LilvWorld *world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode *audio = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
    LilvNode *atom = lilv_new_uri(world, LILV_URI_ATOM_PORT);
    LilvNode *input = lilv_new_uri(world, LILV_URI_INPUT_PORT);
    LilvNode *output = lilv_new_uri(world, LILV_URI_OUTPUT_PORT);
    LilvNode *midi = lilv_new_uri(world, LILV_URI_MIDI_EVENT);
    LilvNode *event = lilv_new_uri(world, LILV_URI_EVENT_PORT);

    const LilvPlugins *plugins = lilv_world_get_all_plugins(world);
    unsigned count = 0;
    unsigned long ports = 0;
    for (LilvIter *i = lilv_plugins_begin(plugins); !lilv_plugins_is_end(plugins, i);
         i = lilv_plugins_next(plugins, i)) {
        const LilvPlugin *plugin = lilv_plugins_get(plugins, i);
        LilvNode *name = lilv_plugin_get_name(plugin);
        LilvNode *author = lilv_plugin_get_author_name(plugin);
        const LilvNode *label = lilv_plugin_class_get_label(lilv_plugin_get_class(plugin));
        const unsigned audioIn = lilv_plugin_get_num_ports_of_class(plugin, audio, input, nullptr);
        const unsigned audioOut = lilv_plugin_get_num_ports_of_class(plugin, audio, output, nullptr);
        const unsigned midiIn = midiPorts(plugin, input, atom, event, midi);
        const unsigned midiOut = midiPorts(plugin, output, atom, event, midi);
        ports += audioIn + audioOut + midiIn + midiOut;
        if (list)
            std::printf("%s\t%s\t%s\t%s\t%u\t%u\t%u\t%u\n", text(lilv_plugin_get_uri(plugin)), text(name), text(author),
                        text(label), audioIn, audioOut, midiIn, midiOut);
        lilv_node_free(name);
        lilv_node_free(author);
        ++count;
    }
    std::printf("%u plug-ins, %lu audio and MIDI ports\n", count, ports);

    for (LilvNode *node : {audio, atom, input, output, midi, event})
        lilv_node_free(node);
    lilv_world_free(world);
    return 0;
}
