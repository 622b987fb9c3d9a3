// morvo-vst3-play: a VST 3 host of our own that plays a scripted song through a VST 3 bundle as a
// host does (the module's entry, its factory, the component with the processor and controller
// it offers, a process context for every block, notes as events at their frames and parameter
// changes at the block's start) and writes every MIDI message it sends in the lines morvo-host
// --dump writes, so that the doors' streams can be compared byte for byte.
//   morvo-vst3-play BUNDLE SONG DUMP [RATE BLOCK]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "run/Song.h"
#include "tests/vst3/Vst3Rig.h"

using namespace vst3_rig;

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "morvo-vst3-play: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 6) return fail("usage: morvo-vst3-play BUNDLE SONG DUMP [RATE BLOCK]");
    const double rate = argc == 6 ? std::atof(argv[4]) : 44100.0;
    const int32 frames = argc == 6 ? std::atoi(argv[5]) : 512;
    if (!(rate > 0.0) || frames <= 0) return fail("a rate and a block size above 0");
    Song song;
    std::string error;
    if (!readSong(argv[2], song, error)) return fail(error);

    const Module module(libraryIn(argv[1]));
    IPluginFactory3* factory = module.factory;
    PClassInfo info{};
    if (factory == nullptr || factory->vtbl->factory2.factory.countClasses(factory) < 1 ||
        factory->vtbl->factory2.factory.getClassInfo(factory, 0, &info) != kResultOk)
        return fail(std::string("no class in ") + argv[1]);
    Uid cid{};
    std::memcpy(cid.bytes, info.cid, sizeof cid.bytes);
    Instance plugin(factory, cid);
    if (!plugin.whole()) return fail("the class offers no processor and controller");
    if (plugin.component->vtbl->base.initialize(plugin.component, nullptr) != kResultOk)
        return fail("the plug-in did not start");
    std::vector<std::string> names;
    std::vector<ParamID> ids;
    for (int32 i = 0; i < plugin.controller->vtbl->getParameterCount(plugin.controller); ++i) {
        ParameterInfo parameter{};
        plugin.controller->vtbl->getParameterInfo(plugin.controller, i, parameter);
        names.push_back(text(parameter.title));
        ids.push_back(parameter.id);
    }
    if (!resolveParameters(song, names, error)) return fail(error);
    ProcessSetup setup{kRealtime, kSample32, frames, rate};
    if (plugin.processor->vtbl->setupProcessing(plugin.processor, setup) != kResultOk ||
        plugin.component->vtbl->setActive(plugin.component, 1) != kResultOk ||
        plugin.processor->vtbl->setProcessing(plugin.processor, 1) != kResultOk)
        return fail("the plug-in did not activate");
    std::FILE* dump = std::fopen(argv[3], "wb");
    if (dump == nullptr) return fail(std::string("cannot write ") + argv[3]);

    Block audio(frames);
    std::uint64_t messages = 0, others = 0;
    SongPlayer player(song, rate, frames);
    SongBlock block;
    while (player.next(block)) {
        audio.clear();
        audio.context = contextOf(block.transport);
        for (const auto& [index, value] : block.parameters)
            audio.changes.set(ids[static_cast<std::size_t>(index)], value);
        for (const auto& [offset, note] : block.notes) {
            Event on = noteOn(note, 100 / 127.0f, offset);
            EventList::add(&audio.events, on);
        }
        audio.data.numSamples = block.frames;
        if (plugin.processor->vtbl->process(plugin.processor, audio.data) != kResultOk)
            return fail("process failed");
        for (const Event& e : audio.sent.events) {
            std::uint8_t data[3];
            if (e.busIndex != 0 || !midiOf(e, data)) {
                ++others;
                continue;
            }
            writeSentMessage(dump, block.index, static_cast<std::uint32_t>(e.sampleOffset), data);
            ++messages;
        }
        others += audio.sent.refused + static_cast<std::uint64_t>(audio.sentChanges.used);
    }
    plugin.stop();
    if (std::fclose(dump) != 0) return fail(std::string("cannot write ") + argv[3]);
    std::printf("%llu messages, %llu other events\n", static_cast<unsigned long long>(messages),
                static_cast<unsigned long long>(others));
    return others == 0 ? 0 : 1;
}
