// The running cases of bench_process.cpp through the CLAP door: the library's clap_entry in this
// process, a plug-in activated for 512-frame blocks, each block processed with the transport a
// host sends (120 bpm, playing, the song position moving on) and its Control Change messages
// pushed into a fixed host buffer. Each case is named after its VST 2 twin with "ThroughClap";
// bench/clap.sh prints the ratio of the two.
#include <benchmark/benchmark.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "bench/BenchBlocks.h"
#include "formats/clap/ClapInterface.h"
#include "formats/guest/Guest.h"
#include "host/Morvo.h"
#include "sequencer/uPlugin.h"

extern "C" const clap_abi::clap_plugin_entry clap_entry;

using namespace clap_abi;

namespace {

constexpr std::uint32_t kBlock = bench::kBlock;
constexpr double kRate = 44100.0;

// A host that offers no extensions and keeps what the plug-in sends in a fixed buffer.
struct Host {
    clap_host record{};
    Host() {
        record.clap_version = CLAP_VERSION;
        record.host_data = this;
        record.name = "morvo-bench";
        record.vendor = record.url = record.version = "";
        record.get_extension = [](const clap_host*, const char*) -> const void* { return nullptr; };
        record.request_restart = record.request_process =
            record.request_callback = [](const clap_host*) {};
    }
};

struct OutputEvents {
    clap_event_midi kept[kBlock * 16];
    std::uint32_t count = 0;
    clap_output_events record{this, [](const clap_output_events* l, const clap_event_header* e) {
                                  auto& self = *static_cast<OutputEvents*>(l->ctx);
                                  if (self.count == sizeof self.kept / sizeof self.kept[0] ||
                                      e->type != CLAP_EVENT_MIDI)
                                      return false;
                                  std::memcpy(&self.kept[self.count++], e, sizeof self.kept[0]);
                                  return true;
                              }};
};

// Input events of one block, from records the caller keeps.
struct InputEvents {
    const clap_event_header* const* events = nullptr;
    std::uint32_t count = 0;
    clap_input_events record{
        this, [](const clap_input_events* l) { return static_cast<InputEvents*>(l->ctx)->count; },
        [](const clap_input_events* l, std::uint32_t i) {
            return static_cast<InputEvents*>(l->ctx)->events[i];
        }};
};

enum class Mode { Stopped, Internal, External, InternalPending };

const clap_plugin* makePlugin(const Host& host) {
    const auto* factory =
        static_cast<const clap_plugin_factory*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin* plugin = factory->create_plugin(factory, &host.record, "com.halvark.ostrel");
    plugin->init(plugin);
    plugin->activate(plugin, kRate, kBlock, kBlock);
    plugin->start_processing(plugin);
    return plugin;
}

clap_event_param_value parameterEvent(std::int32_t index, double value) {
    clap_event_param_value event{};
    event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    event.param_id = static_cast<clap_id>(index);
    event.note_id = -1;
    event.port_index = event.channel = event.key = -1;
    event.value = value;
    return event;
}

void processBlocks(benchmark::State& state, Mode mode) {
    static bool entered = clap_entry.init("Morvo.clap");
    benchmark::DoNotOptimize(entered);
    Host host;
    const clap_plugin* plugin = makePlugin(host);
    const auto* params =
        static_cast<const clap_plugin_params*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));

    // The case's settings, as a host's parameter events before the song plays.
    clap_event_param_value settings[3];
    std::uint32_t set = 0;
    settings[set++] = parameterEvent(plugin::syncValue, 0.16f); // a step every 1378 samples
    if (mode == Mode::Stopped) settings[set++] = parameterEvent(plugin::startStop, 1.0);
    if (mode == Mode::External) settings[set++] = parameterEvent(plugin::timingMode, 1.0);
    const clap_event_header* settingList[3];
    for (std::uint32_t i = 0; i < set; ++i)
        settingList[i] = &settings[i].header;
    InputEvents setup{settingList, set};
    params->flush(plugin, &setup.record, nullptr);

    bench::Buffers buffers;
    const clap_audio_buffer audioIn{buffers.inputs, nullptr, 2, 0, 0};
    clap_audio_buffer audioOut{buffers.outputs, nullptr, 2, 0, 0};
    static OutputEvents out;
    InputEvents none;
    clap_event_transport transport{};
    transport.header = {sizeof transport, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE |
                      CLAP_TRANSPORT_HAS_TIME_SIGNATURE | CLAP_TRANSPORT_IS_PLAYING;
    transport.tempo = 120.0;
    transport.tsig_num = transport.tsig_denom = 4;
    clap_process block{-1, kBlock, &transport,   &audioIn,   &audioOut,
                       1,  1,      &none.record, &out.record};

    if (mode == Mode::InternalPending) {
        // 250 note events that wait far longer than the benchmark runs, in one block.
        static clap_event_note notes[250];
        static const clap_event_header* list[250];
        for (int i = 0; i < 250; ++i) {
            notes[i] = clap_event_note{};
            notes[i].header = {sizeof notes[i], static_cast<std::uint32_t>(INT_MAX - i),
                               CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON, 0};
            notes[i].note_id = -1;
            notes[i].key = 13;
            notes[i].velocity = 100.0 / 127.0;
            list[i] = &notes[i].header;
        }
        InputEvents pending{list, 250};
        block.in_events = &pending.record;
        plugin->process(plugin, &block);
        block.in_events = &none.record;
    }

    double beats = 0.0;
    for (auto _ : state) {
        transport.song_pos_beats = static_cast<clap_beattime>(beats * CLAP_BEATTIME_FACTOR);
        transport.bar_start =
            transport.song_pos_beats - transport.song_pos_beats % (4 * CLAP_BEATTIME_FACTOR);
        beats += kBlock / 22050.0;
        out.count = 0;
        plugin->process(plugin, &block);
        benchmark::DoNotOptimize(buffers.out);
        benchmark::DoNotOptimize(out.count);
    }
    bench::perSample(state);
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
    plugin->destroy(plugin);
}

// The same cases through the guest alone, as morvo-host and every door host the record: what the
// CLAP door adds is the difference between these and the cases above.
void processBlocksThroughGuest(benchmark::State& state, Mode mode) {
    guest::Guest hosted;
    std::string error;
    if (!hosted.create(pluginMain, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    hosted.open();
    hosted.setSampleRate(kRate);
    hosted.setBlockSize(kBlock);
    hosted.setEventCapacity(kBlock * 16);
    hosted.setIncomingCapacity(250);
    hosted.resume();
    hosted.setParameter(plugin::syncValue, 0.16f);
    if (mode == Mode::Stopped) hosted.setParameter(plugin::startStop, 1.0f);
    if (mode == Mode::External) hosted.setParameter(plugin::timingMode, 1.0f);
    guest::Transport transport{.sampleRate = kRate,
                               .blockSize = kBlock,
                               .playing = true,
                               .hasTempo = true,
                               .tempo = 120.0,
                               .hasSongPosition = true,
                               .hasBars = true,
                               .hasTimeSignature = true};
    if (mode == Mode::InternalPending) {
        const unsigned char stop[3] = {0x90, 13, 100};
        for (int i = 0; i < 250; ++i)
            hosted.queueEvent(INT_MAX - i, stop);
    }
    bench::Buffers buffers;
    // The host takes the messages, as the CLAP host above takes them from the door.
    struct Taken final : guest::Sink {
        guest::Event kept[kBlock * 16];
        std::size_t count = 0;
        void take(std::uint32_t frame, const unsigned char data[3]) override {
            guest::Event& event = kept[count++ % (kBlock * 16)];
            event.deltaFrames = static_cast<std::int32_t>(frame);
            std::memcpy(event.data, data, sizeof event.data);
        }
    };
    static Taken taken;
    double beats = 0.0;
    for (auto _ : state) {
        transport.songPosition = beats;
        transport.barStart = beats - std::fmod(beats, 4.0);
        beats += kBlock / 22050.0;
        hosted.run(transport, {buffers.inputs, buffers.outputs, kBlock}, taken);
        benchmark::DoNotOptimize(buffers.out);
        benchmark::DoNotOptimize(taken);
    }
    bench::perSample(state);
    hosted.close();
}

void StoppedThroughGuest(benchmark::State& state) {
    processBlocksThroughGuest(state, Mode::Stopped);
}
void InternalRunningThroughGuest(benchmark::State& state) {
    processBlocksThroughGuest(state, Mode::Internal);
}
void ExternalRunningThroughGuest(benchmark::State& state) {
    processBlocksThroughGuest(state, Mode::External);
}
void Internal250PendingThroughGuest(benchmark::State& state) {
    processBlocksThroughGuest(state, Mode::InternalPending);
}

void StoppedThroughClap(benchmark::State& state) {
    processBlocks(state, Mode::Stopped);
}
void InternalRunningThroughClap(benchmark::State& state) {
    processBlocks(state, Mode::Internal);
}
void ExternalRunningThroughClap(benchmark::State& state) {
    processBlocks(state, Mode::External);
}
void Internal250PendingThroughClap(benchmark::State& state) {
    processBlocks(state, Mode::InternalPending);
}

} // namespace

BENCHMARK(StoppedThroughGuest);
BENCHMARK(InternalRunningThroughGuest);
BENCHMARK(ExternalRunningThroughGuest);
BENCHMARK(Internal250PendingThroughGuest);
BENCHMARK(StoppedThroughClap);
BENCHMARK(InternalRunningThroughClap);
BENCHMARK(ExternalRunningThroughClap);
BENCHMARK(Internal250PendingThroughClap);
