// The plug-in's 23 parameters: their indices, and what a value from 0 to 1 means. The engine,
// the programs' defaults and the editor all convert here, so a value means the same everywhere.
// Products are taken in extended precision from the stored 32-bit value and rounded to nearest,
// ties to even (roundToInt32).
#pragma once

#include <cmath>
#include <cstdint>

#include "host/DVstUtils.h"

namespace plugin {

constexpr std::int32_t kNumSteps = 16;
constexpr std::int32_t kNumParams = 23;

// Parameter indices.
enum Parameter : std::int32_t {
    step1 = 0,
    step16 = 15,
    syncValue = 16,
    ccOut = 17,
    ccMin = 18,
    ccMax = 19,
    endStep = 20,
    timingMode = 21,
    startStop = 22,
};

// MIDI notes that drive the sequencer.
constexpr int kStartNote = 12;
constexpr int kStopNote = 13;
constexpr int kResetNote = 14;

constexpr long double kStepsPerBeatScale = 100.0L; // syncValue 0.01 is 1 step per beat
constexpr long double kStepCountScale = 100.0L;    // endStep 0.16 is 16 steps
constexpr long double kMidiScale = 127.0L;         // ccOut, ccMin, ccMax: 0 to 127

// The sync choices "1/1" to "1/32": the values they set and the steps per beat they stand for.
constexpr int kSyncChoices = 6;
constexpr float kSyncValues[kSyncChoices] = {0.01f, 0.02f, 0.04f, 0.08f, 0.16f, 0.32f};
constexpr std::int32_t kSyncSteps[kSyncChoices] = {1, 2, 4, 8, 16, 32};

inline long double stepsPerBeat(float sync) {
    return static_cast<long double>(sync) * kStepsPerBeatScale;
}

// The same, whole where the value stands for a whole number of steps: 0.04 as a float is
// 0.0399999991, and 3.99999991 steps a beat would put beat 2.000 in the step before the one
// starting there. A float is within 6e-8 of the hundredths it stands for, so only such values
// are taken whole.
inline long double wholeStepsPerBeat(float sync) {
    const long double steps = stepsPerBeat(sync);
    const long double whole = std::nearbyint(steps);
    return whole > 0.0L && std::fabs(steps - whole) <= whole * 1.0e-6L ? whole : steps;
}

// Timing Mode: values from 0.5 up follow the host's song position ("External "), below it the
// host's tempo ("Internal").
inline bool externalTiming(float timingModeValue) {
    return timingModeValue >= 0.5f;
}
constexpr float kInternalTiming = 0.0f;
constexpr float kExternalTiming = 1.0f;

// The end step as a number, as the editor shows it: not kept within the 16 steps.
inline std::int32_t endStepNumber(float value) {
    return roundToInt32(static_cast<long double>(value) * kStepCountScale);
}

// The number of steps played: the end step kept within 1 to 16 whatever the host set.
inline std::int32_t stepCount(float value) {
    const std::int32_t count = endStepNumber(value);
    return count < 1 ? 1 : (count > kNumSteps ? kNumSteps : count);
}

// A controller number, minimum or maximum as a MIDI number (0 to 127 for values 0 to 1).
inline std::int32_t midiNumber(float value) {
    return roundToInt32(static_cast<long double>(value) * kMidiScale);
}

// What a step sends: its value scaled into the minimum/maximum range, as a MIDI number.
inline std::int32_t controllerValue(float low, float high, float step) {
    const long double l = low, h = high;
    return roundToInt32(((h - l) * step + l) * kMidiScale);
}

// Back from numbers the user typed (already within their ranges) to parameter values.
inline float fromMidiNumber(std::int32_t number) {
    return static_cast<float>(number) / 127.0f;
}
inline float fromEndStepNumber(std::int32_t number) {
    return static_cast<float>(number) / 100.0f;
}

// A step's slider runs from position 0 at the top (value 1) to 127 at the bottom (value 0).
inline std::int32_t sliderPosition(float value) {
    return roundToInt32(kMidiScale - static_cast<long double>(value) * kMidiScale);
}
inline float fromSliderPosition(std::int32_t position) {
    return static_cast<float>(1.0L - position / kMidiScale);
}

} // namespace plugin
