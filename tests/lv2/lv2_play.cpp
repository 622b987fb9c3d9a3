// morvo-lv2-play: an LV2 host of our own, through lilv, that plays a scripted song through an LV2
// plug-in as a host does (a time:Position at the start of every block, notes as MIDI events at
// their frames, parameter changes as control port values before the block) and writes every
// MIDI message it sends in the lines morvo-host --dump writes, so that the doors' streams can be
// compared byte for byte.
//   morvo-lv2-play BUNDLE_FOLDER SONG DUMP [RATE BLOCK]
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "run/Song.h"
#include "tests/lv2/AtomSequence.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "morvo-lv2-play: %s\n", message.c_str());
    return 1;
}

std::vector<std::string> mapped;
LV2_URID map(LV2_URID_Map_Handle, const char* uri) {
    for (std::size_t i = 0; i < mapped.size(); ++i)
        if (mapped[i] == uri) return static_cast<LV2_URID>(i + 1);
    mapped.emplace_back(uri);
    return static_cast<LV2_URID>(mapped.size());
}
LV2_URID id(const char* uri) {
    return map(nullptr, uri);
}

// A time:Position object's body: each property a double, the frame a long.
std::vector<std::uint8_t> position(const guest::Transport& t) {
    const std::pair<const char*, double> fields[] = {
        {LV2_TIME__frame, t.samplePosition},
        {LV2_TIME__speed, t.playing ? 1.0 : 0.0},
        {LV2_TIME__beatsPerMinute, t.tempo},
        {LV2_TIME__beatsPerBar, t.numerator},
        {LV2_TIME__beatUnit, t.denominator},
        {LV2_TIME__beat, t.songPosition},
        {LV2_TIME__barBeat, t.songPosition - t.barStart}};
    std::vector<std::uint8_t> body(sizeof(LV2_Atom_Object_Body));
    const LV2_Atom_Object_Body head{0, id(LV2_TIME__Position)};
    std::memcpy(body.data(), &head, sizeof head);
    for (const auto& [key, value] : fields) {
        const bool frame = std::strcmp(key, LV2_TIME__frame) == 0;
        const LV2_Atom_Property_Body property{
            id(key), 0, {8, id(frame ? LV2_ATOM__Long : LV2_ATOM__Double)}};
        std::uint8_t room[sizeof property + 8];
        std::memcpy(room, &property, sizeof property);
        const auto frames = static_cast<std::int64_t>(value);
        std::memcpy(room + sizeof property, frame ? static_cast<const void*>(&frames) : &value, 8);
        body.insert(body.end(), room, room + sizeof room);
    }
    return body;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 6) return fail("usage: morvo-lv2-play BUNDLE SONG DUMP [RATE BLOCK]");
    const double rate = argc == 6 ? std::atof(argv[4]) : 44100.0;
    const std::int32_t frames = argc == 6 ? std::atoi(argv[5]) : 512;
    if (!(rate > 0.0) || frames <= 0) return fail("a rate and a block size above 0");
    Song song;
    std::string error;
    if (!readSong(argv[2], song, error)) return fail(error);

    LilvWorld* world = lilv_world_new();
    lilv_world_load_specifications(world);
    lilv_world_load_plugin_classes(world);
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, (std::string(argv[1]) + "/").c_str());
    lilv_world_load_bundle(world, bundle);
    const LilvPlugins* all = lilv_world_get_all_plugins(world);
    const LilvPlugin* plugin = nullptr;
    LILV_FOREACH(plugins, i, all) {
        const LilvPlugin* candidate = lilv_plugins_get(all, i);
        if (lilv_node_equals(lilv_plugin_get_bundle_uri(candidate), bundle)) plugin = candidate;
    }
    if (plugin == nullptr) return fail(std::string("no plug-in in ") + argv[1]);

    LilvNode* audioClass = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
    LilvNode* atomClass = lilv_new_uri(world, LV2_ATOM__AtomPort);
    LilvNode* controlClass = lilv_new_uri(world, LILV_URI_CONTROL_PORT);
    LilvNode* inputClass = lilv_new_uri(world, LILV_URI_INPUT_PORT);
    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    std::vector<float> audio(static_cast<std::size_t>(frames) * ports, 0.0f);
    std::vector<float> controls(ports, 0.0f);
    std::vector<std::uint32_t> parameterPorts;
    std::vector<std::string> names;
    std::vector<std::uint64_t> inBytes(1 << 13), outBytes(1 << 13);
    AtomSequence in(inBytes, id(LV2_ATOM__Sequence), id(LV2_MIDI__MidiEvent)),
        out(outBytes, id(LV2_ATOM__Sequence), id(LV2_MIDI__MidiEvent));
    std::vector<std::pair<std::uint32_t, std::vector<std::uint64_t>*>> atoms;
    for (std::uint32_t p = 0; p < ports; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        const bool input = lilv_port_is_a(plugin, port, inputClass);
        if (lilv_port_is_a(plugin, port, atomClass)) {
            atoms.emplace_back(p, input ? &inBytes : &outBytes);
        } else if (lilv_port_is_a(plugin, port, controlClass) && input) {
            LilvNode* value = nullptr;
            lilv_port_get_range(plugin, port, &value, nullptr, nullptr);
            controls[p] = value != nullptr ? lilv_node_as_float(value) : 0.0f;
            lilv_node_free(value);
            LilvNode* name = lilv_port_get_name(plugin, port);
            names.emplace_back(lilv_node_as_string(name));
            lilv_node_free(name);
            parameterPorts.push_back(p);
        }
    }
    if (!resolveParameters(song, names, error)) return fail(error);

    LV2_URID_Map mapper{nullptr, map};
    std::int32_t maxBlock = frames;
    const LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0,
                                           id(LV2_BUF_SIZE__maxBlockLength), sizeof maxBlock,
                                           id(LV2_ATOM__Int), &maxBlock},
                                          {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature mapFeature{LV2_URID__map, &mapper},
        optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&mapFeature, &optionsFeature, nullptr};
    LilvInstance* instance = lilv_plugin_instantiate(plugin, rate, features);
    if (instance == nullptr) return fail("the plug-in did not start");
    for (std::uint32_t p = 0; p < ports; ++p)
        lilv_instance_connect_port(
            instance, p,
            lilv_port_is_a(plugin, lilv_plugin_get_port_by_index(plugin, p), audioClass)
                ? static_cast<void*>(audio.data() + p * frames)
                : &controls[p]);
    for (auto& [p, buffer] : atoms)
        lilv_instance_connect_port(instance, p, buffer->data());
    std::FILE* dump = std::fopen(argv[3], "wb");
    if (dump == nullptr) return fail(std::string("cannot write ") + argv[3]);
    lilv_instance_activate(instance);

    SongPlayer player(song, rate, frames);
    SongBlock block;
    std::uint64_t messages = 0, others = 0;
    const LV2_URID midiEvent = id(LV2_MIDI__MidiEvent);
    while (player.next(block)) {
        in.clear();
        const std::vector<std::uint8_t> now = position(block.transport);
        in.event(0, id(LV2_ATOM__Object), now.data(), static_cast<std::uint32_t>(now.size()));
        for (const auto& [offset, note] : block.notes)
            in.midi(offset, 0x90, static_cast<unsigned char>(note), 100);
        for (const auto& [index, value] : block.parameters)
            controls[parameterPorts[static_cast<std::size_t>(index)]] = value;
        out.atom()->atom = {static_cast<std::uint32_t>(outBytes.size() * 8 - sizeof(LV2_Atom)), 0};
        lilv_instance_run(instance, static_cast<std::uint32_t>(block.frames));
        LV2_ATOM_SEQUENCE_FOREACH(out.atom(), e) {
            if (e->body.type != midiEvent || e->body.size != 3) {
                ++others;
                continue;
            }
            writeSentMessage(dump, block.index, static_cast<std::uint32_t>(e->time.frames),
                             reinterpret_cast<const unsigned char*>(e + 1));
            ++messages;
        }
    }
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    for (LilvNode* node : {audioClass, atomClass, controlClass, inputClass, bundle})
        lilv_node_free(node);
    lilv_world_free(world);
    if (std::fclose(dump) != 0) return fail(std::string("cannot write ") + argv[3]);
    std::printf("%llu messages, %llu other events\n", static_cast<unsigned long long>(messages),
                static_cast<unsigned long long>(others));
    return others == 0 ? 0 : 1;
}
