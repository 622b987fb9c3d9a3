// morvo_library_host: the shipped VST 2 libraries as a host of their own loads them, against the
// floor (the pass-through copy and one host request a sample), in ns a sample. The host answers
// every request with a constant, as bench_process.cpp's does, but the engine here is the library
// as built and loaded, not code linked into the benchmark program: where its code falls is the
// library's own. Each round times the floor and every library in turn, each the fastest of
// several tries (a slow spell of the machine only ever adds), and prints their ratios to the
// floor; the last line gives each library's median ratio over the rounds.
//   morvo_library_host [--external] [--rounds N] LIBRARY...
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/DAEffectX.h"
#include "sequencer/uParameters.h"

namespace {

constexpr int kBlock = 512;
constexpr int kBlocks = 400; // a try: 204800 samples
constexpr int kTries = 40;

VstTimeInfo timeInfo{};

VstIntPtr VSTCALLBACK constantHost(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*,
                                   float) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterTempoAt: return 1200000; // 120 bpm
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&timeInfo);
    default: return 0;
    }
}

float in[2][kBlock], out[2][kBlock];
float* inputs[2] = {in[0], in[1]};
float* outputs[2] = {out[0], out[1]};

template <typename Body> double nsPerSample(Body&& body) {
    double best = 1e30;
    for (int t = 0; t < kTries; ++t) {
        const auto start = std::chrono::steady_clock::now();
        for (int b = 0; b < kBlocks; ++b) {
            body();
            asm volatile("" ::: "memory");
        }
        const std::chrono::duration<double, std::nano> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / (double{kBlocks} * kBlock));
    }
    return best;
}

// The copy and one request a sample, through a pointer the compiler cannot see through.
void floorBlock() {
    static audioMasterCallback volatile host = constantHost;
    static AEffect record{};
    for (int i = 0; i < kBlock; ++i) {
        const VstIntPtr answer = host(&record, audioMasterTempoAt, 0, 0, nullptr, 0.0f);
        asm volatile("" : : "r"(answer));
        out[0][i] = in[0][i];
        out[1][i] = in[1][i];
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    bool external = false;
    int rounds = 5;
    std::vector<const char*> paths;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--external") == 0)
            external = true;
        else if (std::strcmp(argv[a], "--rounds") == 0 && a + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++a]));
        else
            paths.push_back(argv[a]);
    }
    if (paths.empty()) {
        std::fputs("usage: morvo_library_host [--external] [--rounds N] LIBRARY...\n", stderr);
        return 2;
    }
    std::vector<AEffect*> effects;
    for (const char* path : paths) {
        void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        auto* entry = library != nullptr ? reinterpret_cast<AEffect* (*)(audioMasterCallback)>(
                                               dlsym(library, "VSTPluginMain"))
                                         : nullptr;
        AEffect* effect = entry != nullptr ? entry(constantHost) : nullptr;
        if (effect == nullptr) {
            std::fprintf(stderr, "morvo_library_host: cannot load %s\n", path);
            return 1;
        }
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
        effect->dispatcher(effect, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        effect->setParameter(effect, plugin::syncValue, 0.16f); // a step every 1378 samples
        if (external) effect->setParameter(effect, plugin::timingMode, 1.0f);
        effects.push_back(effect);
    }
    for (int i = 0; i < kBlock; ++i)
        in[0][i] = in[1][i] = static_cast<float>(i) * 1e-3f;
    std::printf("%s timing, ns a sample (x the floor)\n", external ? "external" : "internal");
    std::vector<std::vector<double>> ratios(effects.size());
    for (int round = 0; round < rounds; ++round) {
        const double floor = nsPerSample(floorBlock);
        std::printf("floor %.3f", floor);
        for (std::size_t e = 0; e < effects.size(); ++e) {
            AEffect* effect = effects[e];
            const double ns = nsPerSample(
                [effect] { effect->processReplacing(effect, inputs, outputs, kBlock); });
            ratios[e].push_back(ns / floor);
            std::printf("  %.3f (%.3f)", ns, ns / floor);
        }
        std::printf("\n");
    }
    for (std::size_t e = 0; e < effects.size(); ++e)
        std::printf("%s: %.3f x the floor\n", paths[e], median(ratios[e]));
    return 0;
}
