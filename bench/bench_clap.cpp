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
#include "formats/guest/Guest.h"
#include "host/Morvo.h"
#include "sequencer/uPlugin.h"
#include "tests/clap/ClapRig.h"

extern "C" const clap_abi::clap_plugin_entry clap_entry;

using namespace clap_rig;

namespace {

constexpr std::uint32_t kBlock = bench::kBlock;
constexpr double kRate = 44100.0;

// The running cases, and the quiet ones: a host that gives no tempo (internal timing), one that
// is stopped (external timing: the song stands), one that gives no position (external), a
// pattern of one step (internal), and a clock stopped after it ran with a new sync waiting for
// it to start again.
enum class Mode {
    Stopped,
    Internal,
    External,
    InternalPending,
    NoTempo,
    HostStopped,
    NoPosition,
    EndStepOne,
    SyncWaiting
};

bool externalMode(Mode mode) {
    return mode == Mode::External || mode == Mode::HostStopped || mode == Mode::NoPosition;
}

const clap_plugin* makePlugin(const Host& host) {
    const auto* factory =
        static_cast<const clap_plugin_factory*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin* plugin = factory->create_plugin(factory, &host.record, "com.halvark.ostrel");
    plugin->init(plugin);
    plugin->activate(plugin, kRate, kBlock, kBlock);
    plugin->start_processing(plugin);
    return plugin;
}

void processBlocks(benchmark::State& state, Mode mode) {
    static bool entered = clap_entry.init("Morvo.clap");
    benchmark::DoNotOptimize(entered);
    // A host that offers no extensions.
    Host host("morvo-bench");
    host.offersParams = host.offersTimers = false;
    const clap_plugin* plugin = makePlugin(host);
    const auto* params = extension<clap_plugin_params>(plugin, CLAP_EXT_PARAMS);

    // The case's settings, as a host's parameter events before the song plays.
    // A step every 1378 samples; stopped, or in external timing.
    const clap_event_param_value sync = parameterEvent(plugin::syncValue, 0.16f);
    const clap_event_param_value stopped = parameterEvent(plugin::startStop, 1.0);
    const clap_event_param_value external = parameterEvent(plugin::timingMode, 1.0);
    const clap_event_param_value oneStep = parameterEvent(plugin::endStep, 0.01);
    InputEvents setup;
    setup.events.push_back(&sync.header);
    if (mode == Mode::Stopped) setup.events.push_back(&stopped.header);
    if (externalMode(mode)) setup.events.push_back(&external.header);
    if (mode == Mode::EndStepOne) setup.events.push_back(&oneStep.header);
    params->flush(plugin, &setup.record, nullptr);

    bench::Buffers buffers;
    const clap_audio_buffer audioIn{buffers.inputs, nullptr, 2, 0, 0};
    clap_audio_buffer audioOut{buffers.outputs, nullptr, 2, 0, 0};
    // The host keeps what the plug-in sends in a fixed buffer.
    static OutputEvents out(kBlock * 16);
    InputEvents none;
    clap_event_transport transport = transportEvent({.playing = mode != Mode::HostStopped,
                                                     .hasTempo = mode != Mode::NoTempo,
                                                     .tempo = 120.0,
                                                     .hasSongPosition = mode != Mode::NoPosition,
                                                     .hasTimeSignature = true});
    clap_process block = processOf(kBlock, mode == Mode::NoTempo ? nullptr : &transport, &audioIn,
                                   &audioOut, &none.record, &out.record);
    const double moves = mode == Mode::HostStopped ? 0.0 : kBlock / 22050.0;

    if (mode == Mode::InternalPending) {
        // 250 note events that wait far longer than the benchmark runs, in one block.
        static clap_event_note notes[250];
        InputEvents pending;
        for (int i = 0; i < 250; ++i) {
            notes[i] = noteOn(13, 100.0 / 127.0, static_cast<std::uint32_t>(INT_MAX - i));
            pending.events.push_back(&notes[i].header);
        }
        block.in_events = &pending.record;
        plugin->process(plugin, &block);
        block.in_events = &none.record;
    }
    if (mode == Mode::SyncWaiting) {
        for (int i = 0; i < 8; ++i)
            plugin->process(plugin, &block);
        const clap_event_param_value faster = parameterEvent(plugin::syncValue, 0.32);
        InputEvents change;
        change.events = {&stopped.header, &faster.header};
        params->flush(plugin, &change.record, nullptr);
    }

    double beats = 0.0;
    for (auto _ : state) {
        transport.song_pos_beats = static_cast<clap_beattime>(beats * CLAP_BEATTIME_FACTOR);
        transport.bar_start =
            transport.song_pos_beats - transport.song_pos_beats % (4 * CLAP_BEATTIME_FACTOR);
        beats += moves;
        out.clear();
        plugin->process(plugin, &block);
        benchmark::DoNotOptimize(buffers.out);
        benchmark::DoNotOptimize(out.midi.data());
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
    if (externalMode(mode)) hosted.setParameter(plugin::timingMode, 1.0f);
    if (mode == Mode::EndStepOne) hosted.setParameter(plugin::endStep, 0.01f);
    guest::Transport transport{.sampleRate = kRate,
                               .blockSize = kBlock,
                               .playing = mode != Mode::HostStopped,
                               .hasTempo = mode != Mode::NoTempo,
                               .tempo = 120.0,
                               .hasSongPosition = mode != Mode::NoPosition,
                               .hasBars = true,
                               .hasTimeSignature = true};
    const double moves = mode == Mode::HostStopped ? 0.0 : kBlock / 22050.0;
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
    if (mode == Mode::SyncWaiting) {
        for (int i = 0; i < 8; ++i)
            hosted.run(transport, {buffers.inputs, buffers.outputs, kBlock}, taken);
        hosted.setParameter(plugin::startStop, 1.0f);
        hosted.setParameter(plugin::syncValue, 0.32f);
    }
    double beats = 0.0;
    for (auto _ : state) {
        transport.songPosition = beats;
        transport.barStart = beats - std::fmod(beats, 4.0);
        beats += moves;
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

void NoTempoThroughGuest(benchmark::State& state) {
    processBlocksThroughGuest(state, Mode::NoTempo);
}
void HostStoppedThroughGuest(benchmark::State& state) {
    processBlocksThroughGuest(state, Mode::HostStopped);
}
void NoPositionThroughGuest(benchmark::State& state) {
    processBlocksThroughGuest(state, Mode::NoPosition);
}
void EndStepOneThroughGuest(benchmark::State& state) {
    processBlocksThroughGuest(state, Mode::EndStepOne);
}
void SyncWaitingThroughGuest(benchmark::State& state) {
    processBlocksThroughGuest(state, Mode::SyncWaiting);
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

void NoTempoThroughClap(benchmark::State& state) {
    processBlocks(state, Mode::NoTempo);
}
void HostStoppedThroughClap(benchmark::State& state) {
    processBlocks(state, Mode::HostStopped);
}
void NoPositionThroughClap(benchmark::State& state) {
    processBlocks(state, Mode::NoPosition);
}
void EndStepOneThroughClap(benchmark::State& state) {
    processBlocks(state, Mode::EndStepOne);
}
void SyncWaitingThroughClap(benchmark::State& state) {
    processBlocks(state, Mode::SyncWaiting);
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
BENCHMARK(NoTempoThroughGuest);
BENCHMARK(HostStoppedThroughGuest);
BENCHMARK(NoPositionThroughGuest);
BENCHMARK(NoTempoThroughClap);
BENCHMARK(HostStoppedThroughClap);
BENCHMARK(NoPositionThroughClap);
BENCHMARK(EndStepOneThroughGuest);
BENCHMARK(SyncWaitingThroughGuest);
BENCHMARK(EndStepOneThroughClap);
BENCHMARK(SyncWaitingThroughClap);
