// What every benchmark of a processing case shares: the block it plays, its audio buffers (a
// ramp in, so that a pass-through copies something), and the per-sample figure it reports.
#pragma once

#include <benchmark/benchmark.h>

namespace bench {

constexpr int kBlock = 512;

struct Buffers {
    float in[2][kBlock] = {};
    float out[2][kBlock] = {};
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    Buffers() {
        for (int i = 0; i < kBlock; ++i)
            in[0][i] = in[1][i] = static_cast<float>(i) * 1e-3f;
    }
};

inline void perSample(benchmark::State& state) {
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace bench
