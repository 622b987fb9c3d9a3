// processReplacing of 512-sample stereo blocks with a host callback that does no work, in ns
// per sample ("ns/sample" column), against the floor: the same copy plus one callback call per
// sample, the least a plug-in asking its host once a sample can cost.
#include <benchmark/benchmark.h>

#include "bench/BenchBlocks.h"

#include <climits>
#include <cstring>

#include "host/Morvo.h"
#include "host/VstEventList.h"
#include "sequencer/uPlugin.h"

namespace {

constexpr int kBlock = bench::kBlock;

VstTimeInfo timeInfo{};

VstIntPtr VSTCALLBACK quietHost(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*,
                                float) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterTempoAt: return 1200000;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&timeInfo);
    case audioMasterProcessEvents: return 1;
    default: return 0;
    }
}

using bench::Buffers;
using bench::perSample;

enum class Mode { Stopped, Internal, External, InternalPending };

void processBlocks(benchmark::State& state, Mode mode) {
    AEffect* e = pluginMain(quietHost);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    e->setParameter(e, plugin::syncValue, 0.16f); // 16 steps a beat at 120 bpm: a step every 1378
    if (mode == Mode::Stopped) e->setParameter(e, plugin::startStop, 1.0f);
    if (mode == Mode::External) e->setParameter(e, plugin::timingMode, 1.0f);
    if (mode == Mode::InternalPending) {
        // 250 events that wait far longer than the benchmark runs.
        static std::vector<VstMidiEvent> events(250);
        static VstEventList list;
        for (int i = 0; i < 250; ++i) {
            events[i] = VstMidiEvent{};
            events[i].type = kVstMidiType;
            events[i].byteSize = sizeof(VstMidiEvent);
            events[i].deltaFrames = INT_MAX - i;
            events[i].midiData[0] = static_cast<char>(0x90);
            events[i].midiData[1] = 13;
            events[i].midiData[2] = 100;
        }
        list.assign(events);
        e->dispatcher(e, effProcessEvents, 0, 0, list.get(), 0.0f);
    }
    Buffers buffers;
    double ppq = 0.0;
    for (auto _ : state) {
        timeInfo.ppqPos = ppq;
        ppq += kBlock / 22050.0;
        e->processReplacing(e, buffers.inputs, buffers.outputs, kBlock);
        benchmark::DoNotOptimize(buffers.out);
    }
    perSample(state);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

void Stopped(benchmark::State& state) {
    processBlocks(state, Mode::Stopped);
}
void InternalRunning(benchmark::State& state) {
    processBlocks(state, Mode::Internal);
}
void ExternalRunning(benchmark::State& state) {
    processBlocks(state, Mode::External);
}
void Internal250Pending(benchmark::State& state) {
    processBlocks(state, Mode::InternalPending);
}

// The floor: the pass-through copy and one host call per sample, through a pointer the
// compiler cannot see through.
void FloorCopyAndCallback(benchmark::State& state) {
    audioMasterCallback volatile host = quietHost;
    AEffect record{};
    Buffers buffers;
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            benchmark::DoNotOptimize(host(&record, audioMasterTempoAt, 0, 0, nullptr, 0.0f));
            buffers.out[0][i] = buffers.in[0][i];
            buffers.out[1][i] = buffers.in[1][i];
        }
        benchmark::DoNotOptimize(buffers.out);
    }
    perSample(state);
}

// For reference, not a goal: the floor again, but with a branch on each answer, as any engine
// that looks at what its host says must have.
void FloorLookingAtTheAnswer(benchmark::State& state) {
    audioMasterCallback volatile host = quietHost;
    AEffect record{};
    Buffers buffers;
    int unexpected = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            if (host(&record, audioMasterTempoAt, 0, 0, nullptr, 0.0f) != 1200000) ++unexpected;
            buffers.out[0][i] = buffers.in[0][i];
            buffers.out[1][i] = buffers.in[1][i];
        }
        benchmark::DoNotOptimize(buffers.out);
    }
    benchmark::DoNotOptimize(unexpected);
    perSample(state);
}

} // namespace

BENCHMARK(FloorCopyAndCallback);
BENCHMARK(FloorLookingAtTheAnswer);
BENCHMARK(Stopped);
BENCHMARK(InternalRunning);
BENCHMARK(ExternalRunning);
BENCHMARK(Internal250Pending);

BENCHMARK_MAIN();
