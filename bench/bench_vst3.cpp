// The cases of bench_clap.cpp through the VST 3 door: Morvo.vst3 loaded as VST 3 hosts load it
// (the tests' host, tests/vst3/Vst3Rig.h), 512-frame blocks with a process context every block
// (120 bpm, the song position moving on, or standing, or none) and the Control Change events
// kept in the host's list. Each case is named after its twins with "ThroughVst3"; bench/clap.sh
// prints its ratio to the guest alone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "bench/BenchBlocks.h"
#include "sequencer/uParameters.h"
#include "tests/vst3/Vst3Rig.h"

using namespace vst3_rig;

namespace {

constexpr int32 kBlock = bench::kBlock;
constexpr double kRate = 44100.0;

enum class Mode { Stopped, Internal, External, NoTempo, HostStopped };

void processBlocks(benchmark::State& state, Mode mode) {
    static const Module module(libraryIn(MORVO_VST3_BUNDLE));
    IPluginFactory3* factory = module.factory;
    PClassInfo info{};
    if (factory == nullptr ||
        factory->vtbl->factory2.factory.getClassInfo(factory, 0, &info) != kResultOk) {
        state.SkipWithError("Morvo.vst3 did not load");
        return;
    }
    Uid cid{};
    std::memcpy(cid.bytes, info.cid, sizeof cid.bytes);
    Instance plugin(factory, cid);
    if (!plugin.whole() || !plugin.start(kRate, kBlock)) {
        state.SkipWithError("Morvo.vst3 did not start");
        return;
    }
    Block block(kBlock);
    // The case's settings, as a host's parameter changes in the first block.
    block.changes.set(plugin::syncValue, 0.16); // a step every 1378 samples at 120 bpm
    if (mode == Mode::Stopped) block.changes.set(plugin::startStop, 1.0);
    if (mode == Mode::External || mode == Mode::HostStopped)
        block.changes.set(plugin::timingMode, 1.0);
    guest::Transport transport{.sampleRate = kRate,
                               .blockSize = kBlock,
                               .playing = mode != Mode::HostStopped,
                               .hasTempo = true,
                               .tempo = 120.0,
                               .hasSongPosition = true,
                               .hasBars = true,
                               .hasTimeSignature = true};
    block.data.processContext = mode == Mode::NoTempo ? nullptr : &block.context;
    block.context = contextOf(transport);
    plugin.processor->vtbl->process(plugin.processor, block.data);
    block.clear();
    const double moves = mode == Mode::HostStopped ? 0.0 : kBlock / 22050.0;
    double beats = 0.0;
    for (auto _ : state) {
        block.context.projectTimeMusic = beats;
        block.context.barPositionMusic = beats - std::fmod(beats, 4.0);
        beats += moves;
        block.sent.events.clear();
        plugin.processor->vtbl->process(plugin.processor, block.data);
        benchmark::DoNotOptimize(block.samples.data());
        benchmark::DoNotOptimize(block.sent.events.data());
    }
    bench::perSample(state);
    plugin.stop();
}

void StoppedThroughVst3(benchmark::State& state) {
    processBlocks(state, Mode::Stopped);
}
void InternalRunningThroughVst3(benchmark::State& state) {
    processBlocks(state, Mode::Internal);
}
void ExternalRunningThroughVst3(benchmark::State& state) {
    processBlocks(state, Mode::External);
}
void NoTempoThroughVst3(benchmark::State& state) {
    processBlocks(state, Mode::NoTempo);
}
void HostStoppedThroughVst3(benchmark::State& state) {
    processBlocks(state, Mode::HostStopped);
}

} // namespace

BENCHMARK(StoppedThroughVst3);
BENCHMARK(InternalRunningThroughVst3);
BENCHMARK(ExternalRunningThroughVst3);
BENCHMARK(NoTempoThroughVst3);
BENCHMARK(HostStoppedThroughVst3);
