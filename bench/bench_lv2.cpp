// The cases of bench_clap.cpp through the LV2 door: Morvo.lv2 loaded through lilv as LV2 hosts
// load it, 512-frame blocks, the host's audio buffers apart, and the transport as hosts send it:
// a time:Position where it changes (here at the start), which the door then carries on. Each case
// is named after its twins with "ThroughLv2".
#include <benchmark/benchmark.h>

#include <lv2/time/time.h>

#include "bench/BenchBlocks.h"
#include "sequencer/uParameters.h"
#include "tests/lv2/LilvRig.h"

namespace {

constexpr std::uint32_t kBlock = bench::kBlock;
constexpr std::uint32_t kFirstParameter = 7; // the control ports follow audio, atom and lost

// Running in either timing; stopped by the plug-in's own switch; no time:Position at all (a
// host without a transport); a host's transport that stands (external timing).
enum class Mode { Stopped, Internal, External, NoTempo, HostStopped };

void processBlocks(benchmark::State& state, Mode mode) {
    static lv2_rig::UriMap uris;
    static const lv2_rig::Bundle bundle(MORVO_LV2_BUNDLE, "https://halvark.com/plugins/ostrel");
    lv2_rig::Instance door(bundle, uris, 44100.0, kBlock, kBlock);
    if (door.instance == nullptr) {
        state.SkipWithError("Morvo.lv2 did not load");
        return;
    }
    float* const parameters = door.controls.data() + kFirstParameter;
    parameters[plugin::syncValue] = 0.16f; // a step every 1378 samples at 120 bpm
    if (mode == Mode::Stopped) parameters[plugin::startStop] = 1.0f;
    if (mode == Mode::External || mode == Mode::HostStopped) parameters[plugin::timingMode] = 1.0f;
    float* const audio = door.audio.data();
    for (std::uint32_t i = 0; i < kBlock; ++i)
        audio[i] = audio[kBlock + i] = static_cast<float>(i) * 1e-3f;
    if (mode != Mode::NoTempo)
        door.in.object(0,
                       lv2_rig::position(uris,
                                         {{LV2_TIME__frame, 0.0},
                                          {LV2_TIME__speed, mode == Mode::HostStopped ? 0.0 : 1.0},
                                          {LV2_TIME__beatsPerMinute, 120.0},
                                          {LV2_TIME__beatsPerBar, 4.0},
                                          {LV2_TIME__beatUnit, 4.0},
                                          {LV2_TIME__beat, 0.0},
                                          {LV2_TIME__barBeat, 0.0}},
                                         LV2_ATOM__Double));
    door.run(kBlock);
    door.in.clear();
    for (auto _ : state) {
        door.run(kBlock);
        benchmark::DoNotOptimize(door.audio.data());
        benchmark::DoNotOptimize(door.notify.data());
    }
    bench::perSample(state);
}

void StoppedThroughLv2(benchmark::State& state) {
    processBlocks(state, Mode::Stopped);
}
void InternalRunningThroughLv2(benchmark::State& state) {
    processBlocks(state, Mode::Internal);
}
void ExternalRunningThroughLv2(benchmark::State& state) {
    processBlocks(state, Mode::External);
}
void NoTempoThroughLv2(benchmark::State& state) {
    processBlocks(state, Mode::NoTempo);
}
void HostStoppedThroughLv2(benchmark::State& state) {
    processBlocks(state, Mode::HostStopped);
}

} // namespace

BENCHMARK(StoppedThroughLv2);
BENCHMARK(InternalRunningThroughLv2);
BENCHMARK(ExternalRunningThroughLv2);
BENCHMARK(NoTempoThroughLv2);
BENCHMARK(HostStoppedThroughLv2);
