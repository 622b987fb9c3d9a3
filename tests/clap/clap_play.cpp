// morvo-clap-play: a CLAP host of our own that plays a scripted song through a CLAP plug-in as a
// host does (clap_entry, the factory, activate, process with a transport event, note events and
// parameter events) and writes every MIDI message it sends in the lines morvo-host --dump
// writes, so that the two doors' streams can be compared byte for byte. Given a STATE file, it
// then writes there the state the plug-in saves (CLAP's state extension) as the song left it,
// for hosts that restore a plug-in's values only from its state.
//   morvo-clap-play PLUGIN.clap SONG DUMP [RATE BLOCK [STATE]]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/Song.h"
#include "tests/clap/ClapRig.h"

using namespace clap_rig;

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "morvo-clap-play: %s\n", message.c_str());
    return 1;
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

    Library library(argv[1]);
    const clap_plugin_factory* factory = library.factory;
    if (factory == nullptr || factory->get_plugin_count(factory) == 0)
        return fail(std::string("no plug-in in ") + argv[1]);
    Host host("morvo-clap-play");
    host.offersParams = host.offersTimers = false;
    const clap_plugin* plugin = factory->create_plugin(
        factory, &host.record, factory->get_plugin_descriptor(factory, 0)->id);
    if (plugin == nullptr || !plugin->init(plugin)) return fail("the plug-in did not start");
    const Extensions x(plugin);
    if (x.params == nullptr) return fail("no parameters");
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < x.params->count(plugin); ++i) {
        clap_param_info info{};
        x.params->get_info(plugin, i, &info);
        names.emplace_back(info.name);
    }
    if (!resolveParameters(song, names, error)) return fail(error);

    std::FILE* dump = std::fopen(argv[3], "wb");
    if (dump == nullptr) return fail(std::string("cannot write ") + argv[3]);
    if (!plugin->activate(plugin, rate, 1, frames) || !plugin->start_processing(plugin))
        return fail("the plug-in did not activate");

    InputEvents input;
    OutputEvents sent(16 * std::size_t{frames});
    Block audio(frames, input, sent);
    std::uint64_t messages = 0, others = 0;
    SongPlayer player(song, rate, static_cast<std::int32_t>(frames));
    SongBlock block;
    clap_event_transport transport{};
    std::vector<clap_event_param_value> changes;
    std::vector<clap_event_note> notes;
    while (player.next(block)) {
        // In time order: the transport and the parameters at 0, then the notes.
        transport = transportEvent(block.transport);
        changes.clear();
        notes.clear();
        for (const auto& [index, value] : block.parameters)
            changes.push_back(parameterEvent(static_cast<clap_id>(index), value));
        for (const auto& [frame, key] : block.notes)
            notes.push_back(noteOn(key, 100.0 / 127.0, static_cast<std::uint32_t>(frame)));
        input.events = {&transport.header};
        for (const auto& change : changes)
            input.events.push_back(&change.header);
        for (const auto& note : notes)
            input.events.push_back(&note.header);
        audio.process.frames_count = static_cast<std::uint32_t>(block.frames);
        sent.clear();
        if (plugin->process(plugin, &audio.process) == CLAP_PROCESS_ERROR)
            return fail("process failed");
        for (const OutputEvents::Midi& midi : sent.midi)
            writeSentMessage(dump, block.index, midi.time, midi.data);
        messages += sent.midi.size();
        others += sent.automation.size() + sent.strange;
    }
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
    // Given a STATE file, the state the plug-in saves as the song left it.
    if (argc == 7) {
        Stream state;
        std::FILE* file = std::fopen(argv[6], "wb");
        if (file == nullptr || x.state == nullptr || !x.state->save(plugin, &state.out) ||
            std::fwrite(state.bytes.data(), 1, state.bytes.size(), file) != state.bytes.size() ||
            std::fclose(file) != 0)
            return fail(std::string("no state saved in ") + argv[6]);
    }
    plugin->destroy(plugin);
    if (std::fclose(dump) != 0) return fail(std::string("cannot write ") + argv[3]);
    std::printf("%llu messages, %llu other events\n", static_cast<unsigned long long>(messages),
                static_cast<unsigned long long>(others));
    return others == 0 ? 0 : 1;
}
