#include "reports/PatternSteps.h"

#include <algorithm>
#include <cmath>

#include "sequencer/uParameters.h"

PatternSteps::PatternSteps(const SessionSettings& chosen, const PatternRules& chosenRules,
                           const std::vector<SentNote>& notes, std::uint64_t played)
    : settings(chosen), rules(chosenRules), count(plugin::stepCount(rules.endStep)), stepLength(0),
      total(played) {
    // The engine's step length: its tempo is the one in this host's time information, its
    // sample rate the 32-bit value this host set.
    const long double steps = plugin::stepsPerBeat(rules.syncValue);
    if (steps > 0.0L)
        stepLength =
            floorToInt64(60.0L / static_cast<long double>(settings.tempo) *
                         static_cast<long double>(static_cast<float>(settings.sampleRate)) / steps);
    const auto block = static_cast<std::uint64_t>(settings.blockSize);
    for (const SentNote& note : notes) {
        if (note.note != plugin::kResetNote) continue;
        // An event d samples into its block acts at sample d - 1, one at the block's start at 0.
        const bool atStart = note.sample % block == 0;
        resets.push_back({atStart ? note.sample : note.sample - 1, false});
    }
}

// How many of a block's boundaries come after a reset that acts in it: one step length apart.
int PatternSteps::afterReset(const Reset& reset, std::uint64_t blockStart) const {
    const std::uint64_t end =
        std::min(blockStart + static_cast<std::uint64_t>(settings.blockSize), total);
    if (stepLength <= 0 || end == 0 || reset.acts >= end) return 0;
    return static_cast<int>(std::min<std::uint64_t>(
        (end - 1 - reset.acts) / static_cast<std::uint64_t>(stepLength), 1u << 30));
}

int PatternSteps::next(std::uint64_t blockStart, int leftInBlock) {
    if (rules.external) {
        const double samplesPerBeat = settings.sampleRate * 60.0 / settings.tempo;
        const long double position = static_cast<double>(blockStart) / samplesPerBeat;
        std::int64_t step =
            floorToInt64(position * plugin::wholeStepsPerBeat(rules.syncValue)) % count;
        if (step < 0) step += count;
        return static_cast<int>(step + 1);
    }
    for (Reset& reset : resets) {
        if (reset.done) continue;
        const bool before = reset.acts < blockStart;
        const bool inThisBlock =
            !before && reset.acts < blockStart + static_cast<std::uint64_t>(settings.blockSize);
        if (before || (inThisBlock && leftInBlock <= afterReset(reset, blockStart))) {
            nextStep = 0;
            reset.done = true;
        }
    }
    const int step = static_cast<int>(nextStep + 1);
    nextStep = (nextStep + 1) % count;
    return step;
}

PatternRules RuleParameters::rules(const std::vector<float>& values) const {
    auto value = [&](std::int32_t index, float otherwise) {
        return index >= 0 && static_cast<std::size_t>(index) < values.size()
                   ? values[static_cast<std::size_t>(index)]
                   : otherwise;
    };
    PatternRules result;
    result.external = value(timingMode, 0.0f) >= 0.5f;
    result.syncValue = value(syncValue, result.syncValue);
    result.endStep = value(endStep, result.endStep);
    return result;
}
