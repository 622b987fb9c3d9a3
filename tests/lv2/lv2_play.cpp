// morvo-lv2-play: an LV2 host of our own, through lilv, that plays a scripted song through an LV2
// plug-in as a host does (a time:Position at the start of every block, notes as MIDI events at
// their frames, parameter changes as control port values before the block) and writes every
// MIDI message it sends in the lines morvo-host --dump writes, so that the doors' streams can be
// compared byte for byte.
//   morvo-lv2-play BUNDLE_FOLDER SONG DUMP [RATE BLOCK]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "run/Song.h"
#include "tests/lv2/LilvRig.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "morvo-lv2-play: %s\n", message.c_str());
    return 1;
}

// A time:Position object's body: each property a double, the frame a long.
std::vector<std::uint8_t> position(lv2_rig::UriMap& uris, const guest::Transport& t) {
    return lv2_rig::position(uris,
                             {{LV2_TIME__frame, t.samplePosition},
                              {LV2_TIME__speed, t.playing ? 1.0 : 0.0},
                              {LV2_TIME__beatsPerMinute, t.tempo},
                              {LV2_TIME__beatsPerBar, t.numerator},
                              {LV2_TIME__beatUnit, t.denominator},
                              {LV2_TIME__beat, t.songPosition},
                              {LV2_TIME__barBeat, t.songPosition - t.barStart}},
                             LV2_ATOM__Double);
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

    const lv2_rig::Bundle bundle(argv[1]);
    if (bundle.plugin == nullptr) return fail(std::string("no plug-in in ") + argv[1]);
    lv2_rig::UriMap uris;
    lv2_rig::Instance plugin(bundle, uris, rate, frames, static_cast<std::uint32_t>(frames));
    if (plugin.instance == nullptr) return fail("the plug-in did not start");
    if (!resolveParameters(song, plugin.names, error)) return fail(error);
    std::FILE* dump = std::fopen(argv[3], "wb");
    if (dump == nullptr) return fail(std::string("cannot write ") + argv[3]);

    SongPlayer player(song, rate, frames);
    SongBlock block;
    std::uint64_t messages = 0;
    while (player.next(block)) {
        plugin.in.clear();
        plugin.in.object(0, position(uris, block.transport));
        for (const auto& [offset, note] : block.notes)
            plugin.in.midi(offset, 0x90, static_cast<unsigned char>(note), 100);
        for (const auto& [index, value] : block.parameters)
            plugin.controls[plugin.parameters[static_cast<std::size_t>(index)]] = value;
        plugin.run(static_cast<std::uint32_t>(block.frames));
        const char* fault = plugin.read(static_cast<std::uint32_t>(block.frames),
                                        [&](std::uint32_t frame, const std::uint8_t* data) {
                                            writeSentMessage(dump, block.index, frame, data);
                                            ++messages;
                                        });
        if (fault != nullptr) return fail(fault);
    }
    if (std::fclose(dump) != 0) return fail(std::string("cannot write ") + argv[3]);
    std::printf("%llu messages\n", static_cast<unsigned long long>(messages));
    return 0;
}
