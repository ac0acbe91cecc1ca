// The yardstick for scanning LV2: one process that reads every bundle of
// LV2_PATH with lilv, as a host does at start-up, and asks each plug-in
// for what ombrel-scan reports (name, author, class, audio and MIDI port
// counts). Prints the number of plug-ins read.

#include <lilv/lilv.h>

#include <cstdio>
#include <initializer_list>

int main()
{
    LilvWorld *world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode *audio = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
    LilvNode *atom = lilv_new_uri(world, LILV_URI_ATOM_PORT);
    LilvNode *input = lilv_new_uri(world, LILV_URI_INPUT_PORT);
    LilvNode *output = lilv_new_uri(world, LILV_URI_OUTPUT_PORT);
    LilvNode *midi = lilv_new_uri(world, LILV_URI_MIDI_EVENT);

    const LilvPlugins *plugins = lilv_world_get_all_plugins(world);
    unsigned count = 0;
    unsigned long ports = 0;
    for (LilvIter *i = lilv_plugins_begin(plugins); !lilv_plugins_is_end(plugins, i);
         i = lilv_plugins_next(plugins, i)) {
        const LilvPlugin *plugin = lilv_plugins_get(plugins, i);
        lilv_node_free(lilv_plugin_get_name(plugin));
        lilv_node_free(lilv_plugin_get_author_name(plugin));
        lilv_plugin_class_get_label(lilv_plugin_get_class(plugin));
        ports += lilv_plugin_get_num_ports_of_class(plugin, audio, input, nullptr);
        ports += lilv_plugin_get_num_ports_of_class(plugin, audio, output, nullptr);
        for (uint32_t p = 0; p < lilv_plugin_get_num_ports(plugin); ++p) {
            const LilvPort *port = lilv_plugin_get_port_by_index(plugin, p);
            ports += lilv_port_is_a(plugin, port, atom) && lilv_port_supports_event(plugin, port, midi);
        }
        ++count;
    }
    std::printf("%u plug-ins, %lu audio and MIDI ports\n", count, ports);

    for (LilvNode *node : {audio, atom, input, output, midi})
        lilv_node_free(node);
    lilv_world_free(world);
    return 0;
}
