// The step engine: per sample, due input events act, the clock advances from the host's tempo
// (internal timing) or song position (external timing), and each new step goes out as 16
// Control Change messages. Audio passes through unchanged. Everything here runs on the host's
// audio thread and neither allocates nor blocks.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/FloatingPoint.h"
#include "uPlugin.h"

using namespace plugin;

namespace {

constexpr long double kSongPositionScale = 100.0L; // hundredths of a beat
constexpr double kTempoScale = 10000.0;            // tempoAt answers bpm times 10000
constexpr unsigned char kControlChange = 0xB0;
constexpr std::int32_t kChannels = 16;
// The song position's request: the transport filter 8 plus the position's own bit. Ardour fills
// ppqPos only when the filter names it (or the bars); hosts that fill every field whatever the
// filter answer the same.
constexpr std::int32_t kPositionFilter = kVstTransportRecording | kVstPpqPosValid;

} // namespace

// The per-sample path is inlined into the block loop; what runs only at step boundaries, on a
// new tempo answer or at a new song position stays out of line.
#define MORVO_SAMPLE_PATH [[gnu::always_inline]] inline

// ---------------------------------------------------------------------------------------------
// Internal timing: samples counted against the host's tempo.

// The host's tempo in beats per minute, or 0 when it gives none.
MORVO_SAMPLE_PATH double APlugin::readTempo() {
    const std::int32_t answer = tempoAt(0);
    if (answer == tempoAnswer && tempoOfAnswer > 0.0) return tempoOfAnswer;
    return readNewTempo(answer);
}

// A new tempoAt answer. Hosts disagree on that deprecated request: several answer 0, some scale
// the tempo by 1000 instead of 10000. Where the host's time information carries a tempo marked
// valid, that tempo is the one to trust; it is asked for only when the answer changes.
double APlugin::readNewTempo(std::int32_t answer) {
    tempoAnswer = answer;
    const VstTimeInfo* info = getTimeInfo(kVstTempoValid);
    if (info != nullptr && (info->flags & kVstTempoValid) != 0 && std::isfinite(info->tempo) &&
        info->tempo > 0.0)
        tempoOfAnswer = info->tempo;
    else
        tempoOfAnswer = answer > 0 ? answer / kTempoScale : 0.0;
    return tempoOfAnswer;
}

MORVO_SAMPLE_PATH void APlugin::countSample() {
    if (++sampleCounter >= samplesPerStep.load(std::memory_order_relaxed)) sampleCounter = 0;
}

MORVO_SAMPLE_PATH void APlugin::processInternalTiming() {
    if (param(startStop) >= 0.5f) {
        // Stopped: the counter keeps running through the last step length.
        countSample();
        return;
    }
    const float sync = param(syncValue);
    if (samplesPerStep.load(std::memory_order_relaxed) == 0) {
        tempo = readTempo();
        computeStepLength(sync);
    } else if (tempo != lastTempo || sync != lastSync) {
        computeStepLength(sync);
    }
    // No usable step length (no tempo, sync 0): the clock holds until there is one.
    if (samplesPerStep.load(std::memory_order_relaxed) == 0) return;
    if (sampleCounter == 0) stepBoundary();
    tempo = readTempo();
    countSample();
}

void APlugin::stepBoundary() {
    std::int32_t step = curStep.load(std::memory_order_relaxed);
    if (resetPending) {
        // A reset's boundary sends nothing; the next one sends step 1.
        step = kNoStep;
        resetPending = false;
    }
    if (step != kNoStep) sendStep(step);
    lastStep = step;
    if (++step >= stepCount()) step = 0;
    curStep.store(step, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------------
// External timing: the step follows the host's song position.

MORVO_SAMPLE_PATH void APlugin::processExternalTiming() {
    if (param(startStop) >= 0.5f) return;
    followPosition(getTimeInfo(kPositionFilter));
}

// The step at the host's position, sent when it is not the one sent last.
MORVO_SAMPLE_PATH void APlugin::followPosition(const VstTimeInfo* info) {
    if (info == nullptr || !std::isfinite(info->ppqPos)) return;
    const Position now{info->ppqPos, param(syncValue), param(endStep)};
    if (!(now == lastPosition)) locate(now);
    const std::int32_t step = positionStep;
    curStep.store(step, std::memory_order_relaxed);
    if (step != lastStep) {
        sendStep(step);
        lastStep = step;
    }
}

// The step and song position at a position the engine has not seen yet.
void APlugin::locate(const Position& now) {
    lastPosition = now;
    const long double position = now.ppq;
    const std::int64_t count = stepCount();
    // Positions before 0 continue the pattern backwards: a non-negative remainder.
    std::int64_t whole = floorToInt64(position * wholeStepsPerBeat(now.sync)) % count;
    if (whole < 0) whole += count;
    positionStep = static_cast<std::int32_t>(whole);
    songPosition.store(floorToInt32(position * kSongPositionScale), std::memory_order_relaxed);
}

MORVO_SAMPLE_PATH void APlugin::processSample() {
    if (!externalTiming(param(timingMode)))
        processInternalTiming();
    else
        processExternalTiming();
}

template <bool Accumulate>
void APlugin::processBlock(float** inputs, float** outputs, std::int32_t sampleFrames) {
    const ExtendedPrecisionScope precision;
    // Some hosts hand a MIDI effect no audio buffers; the sequencer runs all the same.
    const bool audio = inputs != nullptr && outputs != nullptr && inputs[0] != nullptr &&
                       inputs[1] != nullptr && outputs[0] != nullptr && outputs[1] != nullptr;
    const float* const left = audio ? inputs[0] : nullptr;
    const float* const right = audio ? inputs[1] : nullptr;
    float* const leftOut = audio ? outputs[0] : nullptr;
    float* const rightOut = audio ? outputs[1] : nullptr;
    // The block's first absolute sample; the position itself moves once per block.
    const std::uint64_t first = samplePosition;
    // The samples from `from` up to `to` pass through. Every sample before the one that sends
    // a message has passed when the message goes out.
    auto passAudio = [&](std::int32_t from, std::int32_t to) {
        if (!audio || to <= from) return;
        if constexpr (Accumulate) {
            for (std::int32_t i = from; i < to; ++i) {
                leftOut[i] += left[i];
                rightOut[i] += right[i];
            }
        } else if (to - from == 1) {
            leftOut[from] = left[from];
            rightOut[from] = right[from];
        } else {
            // Hosts may process in place: memmove allows the buffers to be the same.
            const std::size_t bytes = static_cast<std::size_t>(to - from) * sizeof(float);
            std::memmove(leftOut + from, left + from, bytes);
            std::memmove(rightOut + from, right + from, bytes);
        }
    };
    for (std::int32_t i = 0; i < sampleFrames;) {
        if (pendingEvents > 0) processDelayedEvents(first + static_cast<std::uint64_t>(i));
        processSample();
        passAudio(i, i + 1);
        const std::int32_t steady = ++i;
        i = skipSteadySamples(i, sampleFrames, first);
        passAudio(steady, i);
    }
    if (sampleFrames > 0) samplePosition = first + static_cast<std::uint64_t>(sampleFrames);
    sendGathered();
}

// The fast path. Most samples change nothing: a running clock asks the host and gets the
// answer it got before, then counts (internal timing) or finds the step it sent (external); a
// stopped internal clock only counts; a stopped external one does nothing. From sample i up to
// the block's end, the next event due and the next step boundary, this takes such samples as
// the full path would, and gives back the first sample the full path must take.
//
// Parameters are read once for the stretch: a change from another thread during a block may
// act up to the stretch's end, never later than the block's; the host's own changes come
// between blocks, and input events end a stretch.
MORVO_SAMPLE_PATH std::int32_t APlugin::skipSteadySamples(std::int32_t i, std::int32_t end,
                                                          std::uint64_t first) {
    std::int64_t limit = end;
    if (pendingEvents > 0)
        limit = std::min<std::int64_t>(
            limit, static_cast<std::int64_t>((dueQueue[0] >> kQueueRecordBits) - first));
    if (limit <= i) return i;
    const bool internal = !externalTiming(param(timingMode));
    const std::int32_t length = samplesPerStep.load(std::memory_order_relaxed);
    if (param(startStop) >= 0.5f) {
        if (!internal) return static_cast<std::int32_t>(limit);
        // Stopped: the counter runs on through the last step length, as countSample would,
        // sample by sample: the first increment may wrap a counter that a shorter length left
        // beyond its end.
        const std::int64_t n = limit - i;
        std::int64_t counter = sampleCounter + 1 >= length ? 0 : sampleCounter + 1;
        if (length > 0) counter = (counter + n - 1) % length;
        sampleCounter = static_cast<std::int32_t>(counter);
        return static_cast<std::int32_t>(limit);
    }
    if (internal && length == 0) {
        // No usable step length (a host that gives no tempo, or sync 0): the clock holds while
        // the host's tempo answer stays the one that gave none. That costs what a running
        // clock costs, one request a sample; the sample whose answer differs is taken as the
        // full path takes it.
        const float sync = param(syncValue);
        if (sync != lastSync) return i;
        const Sighting seen = watch<true>(i, static_cast<std::int32_t>(limit),
                                          static_cast<std::uint32_t>(tempoAnswer));
        if (!seen.asked) return seen.sample;
        tempo = readNewTempo(static_cast<std::int32_t>(seen.answer));
        computeStepLength(sync);
        if (samplesPerStep.load(std::memory_order_relaxed) > 0) {
            if (sampleCounter == 0) stepBoundary();
            tempo = readTempo();
            countSample();
        }
        return seen.sample + 1;
    }
    if (internal) {
        if (sampleCounter == 0 || tempo != lastTempo || param(syncValue) != lastSync) return i;
        // Up to the sample at which the counter is back at 0.
        limit = std::min<std::int64_t>(limit, std::int64_t{i} + length - sampleCounter);
        const std::int32_t start = i;
        const Sighting seen = watch<true>(i, static_cast<std::int32_t>(limit),
                                          static_cast<std::uint32_t>(tempoAnswer));
        // A sample whose answer differs is counted like any other; its tempo is read as the
        // full path reads it.
        i = seen.asked ? seen.sample + 1 : seen.sample;
        sampleCounter += i - start;
        if (sampleCounter >= length) sampleCounter = 0;
        if (seen.asked) tempo = readNewTempo(static_cast<std::int32_t>(seen.answer));
        return i;
    }
    if (positionStep != lastStep || !std::isfinite(lastPosition.ppq) ||
        !(param(syncValue) == lastPosition.sync) || !(param(endStep) == lastPosition.end))
        return i;
    // The position compared bit for bit, as an integer. (A position that is equal but not
    // identical, -0 for 0, only goes the full way.)
    const Sighting seen = watch<false>(i, static_cast<std::int32_t>(limit),
                                       std::bit_cast<std::uint64_t>(lastPosition.ppq));
    if (!seen.asked) return seen.sample;
    followPosition(reinterpret_cast<const VstTimeInfo*>(seen.answer));
    return seen.sample + 1;
}

// The fast path's host requests, asked at each sample from i up to limit while the answer is
// the one expected: the tempo (internal timing) or the song position (external). The requests
// are the frame's, inline, with the callback taken once. Out of line, at the start of a cache
// line (uPlugin.h): that measured faster than the same loop inlined into the block loop.
//
// Two samples an iteration, each asked and compared in turn: one branch back for every two
// requests. With one a sample, the shipped library ran a cycle a sample slower than the engine
// of d000c22 in a host of its own (bench/library_host.cpp), though it ran faster linked into
// morvo_bench: where the loop's branches and calls fell decided it. Unrolled, it is the faster
// in both, wherever it falls.
template <bool Internal>
APlugin::Sighting APlugin::watch(std::int32_t i, std::int32_t limit, std::uint64_t expected) {
    const SampleRequests host = sampleRequests();
    // Without a host nothing is steady; said once, so the loop does not ask again.
    if (!host.hasHost()) return {i, false, 0};
    if (i >= limit) return {i, false, 0};
    // Extended asm, clobbering nothing: after the basic form GCC tests the callback again at
    // every sample.
    asm volatile(".p2align 6" :::);
    do {
        if constexpr (Internal) {
            std::int32_t now = host.tempoAt(0);
            if (now != static_cast<std::int32_t>(expected)) return {i, true, now};
            if (++i >= limit) break;
            now = host.tempoAt(0);
            if (now != static_cast<std::int32_t>(expected)) return {i, true, now};
        } else {
            // The song position compared bit for bit, as an integer.
            const VstTimeInfo* info = host.getTimeInfo(kPositionFilter);
            if (info == nullptr || std::bit_cast<std::uint64_t>(info->ppqPos) != expected)
                return {i, true, reinterpret_cast<VstIntPtr>(info)};
            if (++i >= limit) break;
            info = host.getTimeInfo(kPositionFilter);
            if (info == nullptr || std::bit_cast<std::uint64_t>(info->ppqPos) != expected)
                return {i, true, reinterpret_cast<VstIntPtr>(info)};
        }
    } while (++i < limit);
    return {i, false, 0};
}

void APlugin::process(float** inputs, float** outputs, std::int32_t sampleFrames) {
    processBlock<true>(inputs, outputs, sampleFrames);
}

void APlugin::processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) {
    processBlock<false>(inputs, outputs, sampleFrames);
}

// ---------------------------------------------------------------------------------------------
// Step lengths and counts

void APlugin::computeStepLength(float sync) {
    lastTempo = tempo;
    lastSync = sync;
    const long double steps = stepsPerBeat(sync);
    std::int32_t length = 0;
    if (tempo > 0.0 && steps > 0.0L) {
        const long double exact = 60.0L / static_cast<long double>(tempo) *
                                  static_cast<long double>(getSampleRate()) / steps;
        if (std::isfinite(exact) && exact >= 1.0L &&
            exact < static_cast<long double>(std::numeric_limits<std::int32_t>::max()) + 1.0L)
            length = floorToInt32(exact);
    }
    samplesPerStep.store(length, std::memory_order_relaxed);
}

std::int32_t APlugin::stepCount() const {
    return plugin::stepCount(param(endStep));
}

// ---------------------------------------------------------------------------------------------
// Output

void APlugin::sendStep(std::int32_t step) {
    const std::int32_t controller = midiNumber(param(ccOut));
    const std::int32_t value = controllerValue(param(ccMin), param(ccMax), param(step));
    for (std::int32_t channel = 1; channel <= kChannels; ++channel)
        sendControlChange(channel, controller, value);
}

// Gathered into the block's list; every message carries deltaFrames 0, the block's start, as
// the host places it.
void APlugin::sendControlChange(std::int32_t channel, std::int32_t controller, std::int32_t value) {
    if (outEvents.numEvents == kOutgoingRecords) sendGathered();
    VstMidiEvent& message = outgoing[outEvents.numEvents++];
    message.midiData[0] = static_cast<char>(kControlChange + channel - 1);
    message.midiData[1] = static_cast<char>(controller);
    message.midiData[2] = static_cast<char>(value);
    message.deltaFrames = 0;
}

// The host takes the events during the call; a refusal is not retried.
void APlugin::sendGathered() {
    if (outEvents.numEvents == 0) return;
    sendVstEventsToHost(reinterpret_cast<VstEvents*>(&outEvents));
    outEvents.numEvents = 0;
}
