// morvo-clap-play: a CLAP host of our own that plays a scripted song through a CLAP plug-in as a
// host does (clap_entry, the factory, activate, process with a transport event, note events and
// parameter events) and writes every MIDI message it sends in the lines morvo-host --dump
// writes, so that the two doors' streams can be compared byte for byte. Given a STATE file, it
// then writes there the state the plug-in saves (CLAP's state extension) as the song left it,
// for hosts that restore a plug-in's values only from its state.
//   morvo-clap-play PLUGIN.clap SONG DUMP [RATE BLOCK [STATE]]
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/clap/ClapInterface.h"
#include "run/Song.h"

using namespace clap_abi;

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "morvo-clap-play: %s\n", message.c_str());
    return 1;
}

const void* entryOf(const char* path) {
#if defined(_WIN32)
    HMODULE library = LoadLibraryA(path);
    return library ? reinterpret_cast<const void*>(GetProcAddress(library, "clap_entry")) : nullptr;
#else
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return library ? dlsym(library, "clap_entry") : nullptr;
#endif
}

struct Sent {
    std::FILE* dump;
    std::uint64_t block = 0;
    std::uint64_t messages = 0, others = 0;
};

struct Input {
    std::vector<const clap_event_header*> events;
};

bool saveState(const clap_plugin* plugin, const char* path) {
    const auto* state =
        static_cast<const clap_plugin_state*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    clap_ostream stream{
        file, [](const clap_ostream* s, const void* data, std::uint64_t size) {
            const std::size_t moved = std::fwrite(data, 1, static_cast<std::size_t>(size),
                                                  static_cast<std::FILE*>(s->ctx));
            return moved == 0 && size > 0 ? std::int64_t{-1} : static_cast<std::int64_t>(moved);
        }};
    const bool saved = state != nullptr && state->save(plugin, &stream);
    return std::fclose(file) == 0 && saved;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 6 && argc != 7)
        return fail("usage: morvo-clap-play PLUGIN.clap SONG DUMP [RATE BLOCK [STATE]]");
    const double rate = argc >= 6 ? std::atof(argv[4]) : 44100.0;
    const auto frames = static_cast<std::uint32_t>(argc >= 6 ? std::atoi(argv[5]) : 512);
    if (!(rate > 0.0) || frames == 0) return fail("a rate and a block size above 0");
    Song song;
    std::string error;
    if (!readSong(argv[2], song, error)) return fail(error);

    const auto* entry = static_cast<const clap_plugin_entry*>(entryOf(argv[1]));
    if (entry == nullptr || !entry->init(argv[1]))
        return fail(std::string("cannot load ") + argv[1]);
    const auto* factory =
        static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (factory == nullptr || factory->get_plugin_count(factory) == 0) return fail("no plug-in");
    clap_host host{};
    host.clap_version = CLAP_VERSION;
    host.name = "morvo-clap-play";
    host.vendor = host.url = host.version = "";
    host.get_extension = [](const clap_host*, const char*) -> const void* { return nullptr; };
    host.request_restart = host.request_process = host.request_callback = [](const clap_host*) {};
    const clap_plugin* plugin =
        factory->create_plugin(factory, &host, factory->get_plugin_descriptor(factory, 0)->id);
    if (plugin == nullptr || !plugin->init(plugin)) return fail("the plug-in did not start");
    const auto* params =
        static_cast<const clap_plugin_params*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
    if (params == nullptr) return fail("no parameters");
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < params->count(plugin); ++i) {
        clap_param_info info{};
        params->get_info(plugin, i, &info);
        names.emplace_back(info.name);
    }
    if (!resolveParameters(song, names, error)) return fail(error);

    Sent sent{std::fopen(argv[3], "wb")};
    if (sent.dump == nullptr) return fail(std::string("cannot write ") + argv[3]);
    if (!plugin->activate(plugin, rate, 1, frames) || !plugin->start_processing(plugin))
        return fail("the plug-in did not activate");

    std::vector<float> buffers(4 * frames, 0.0f);
    float* in[2] = {buffers.data(), buffers.data() + frames};
    float* out[2] = {buffers.data() + 2 * frames, buffers.data() + 3 * frames};
    clap_audio_buffer audioIn{in, nullptr, 2, 0, 0}, audioOut{out, nullptr, 2, 0, 0};
    Input input;
    clap_input_events inEvents{&input,
                               [](const clap_input_events* l) {
                                   return static_cast<std::uint32_t>(
                                       static_cast<Input*>(l->ctx)->events.size());
                               },
                               [](const clap_input_events* l, std::uint32_t i) {
                                   return static_cast<Input*>(l->ctx)->events[i];
                               }};
    clap_output_events outEvents{
        &sent, [](const clap_output_events* l, const clap_event_header* e) {
            auto& to = *static_cast<Sent*>(l->ctx);
            if (e->type != CLAP_EVENT_MIDI) {
                ++to.others;
                return true;
            }
            const auto& midi = *reinterpret_cast<const clap_event_midi*>(e);
            writeSentMessage(to.dump, to.block, e->time, midi.data);
            ++to.messages;
            return true;
        }};

    SongPlayer player(song, rate, static_cast<std::int32_t>(frames));
    SongBlock block;
    clap_event_transport transport{};
    std::vector<clap_event_param_value> changes;
    std::vector<clap_event_note> notes;
    while (player.next(block)) {
        const guest::Transport& t = block.transport;
        transport = {};
        transport.header = {sizeof transport, 0, 0, CLAP_EVENT_TRANSPORT, 0};
        transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE |
                          CLAP_TRANSPORT_HAS_TIME_SIGNATURE |
                          (t.playing ? CLAP_TRANSPORT_IS_PLAYING : 0u);
        transport.tempo = t.tempo;
        transport.song_pos_beats = std::llround(t.songPosition * CLAP_BEATTIME_FACTOR);
        transport.bar_start = std::llround(t.barStart * CLAP_BEATTIME_FACTOR);
        transport.tsig_num = static_cast<std::uint16_t>(t.numerator);
        transport.tsig_denom = static_cast<std::uint16_t>(t.denominator);
        // In time order: the transport and the parameters at 0, then the notes.
        changes.assign(block.parameters.size(), {});
        notes.assign(block.notes.size(), {});
        input.events = {&transport.header};
        for (std::size_t i = 0; i < changes.size(); ++i) {
            changes[i].header = {sizeof changes[i], 0, 0, CLAP_EVENT_PARAM_VALUE, 0};
            changes[i].param_id = static_cast<clap_id>(block.parameters[i].first);
            changes[i].note_id = -1;
            changes[i].port_index = changes[i].channel = changes[i].key = -1;
            changes[i].value = block.parameters[i].second;
            input.events.push_back(&changes[i].header);
        }
        for (std::size_t i = 0; i < notes.size(); ++i) {
            notes[i].header = {sizeof notes[i], static_cast<std::uint32_t>(block.notes[i].first), 0,
                               CLAP_EVENT_NOTE_ON, 0};
            notes[i].note_id = -1;
            notes[i].key = static_cast<std::int16_t>(block.notes[i].second);
            notes[i].velocity = 100.0 / 127.0;
            input.events.push_back(&notes[i].header);
        }
        clap_process process{static_cast<std::int64_t>(t.samplePosition),
                             static_cast<std::uint32_t>(block.frames),
                             nullptr,
                             &audioIn,
                             &audioOut,
                             1,
                             1,
                             &inEvents,
                             &outEvents};
        sent.block = block.index;
        if (plugin->process(plugin, &process) == CLAP_PROCESS_ERROR) return fail("process failed");
    }
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
    if (argc == 7 && !saveState(plugin, argv[6]))
        return fail(std::string("no state saved in ") + argv[6]);
    plugin->destroy(plugin);
    entry->deinit();
    if (std::fclose(sent.dump) != 0) return fail(std::string("cannot write ") + argv[3]);
    std::printf("%llu messages, %llu other events\n",
                static_cast<unsigned long long>(sent.messages),
                static_cast<unsigned long long>(sent.others));
    return sent.others == 0 ? 0 : 1;
}
