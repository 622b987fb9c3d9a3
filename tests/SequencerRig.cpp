#include "SequencerRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "host/Morvo.h"
#include "host/VstEventList.h"

namespace {

constexpr float kUnwritten = -1.0f;

} // namespace

SequencerRig* SequencerRig::active = nullptr;

SequencerRig::SequencerRig(double tempo, float sampleRate)
    : tempo(tempo), previous(active), sampleRate(sampleRate) {
    active = this;
    effect = pluginMain(callback);
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(effSetBlockSize, 0, 512);
    dispatch(effMainsChanged, 0, 1);
}

SequencerRig::~SequencerRig() {
    if (effect != nullptr) {
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);
    }
    active = previous;
}

VstIntPtr SequencerRig::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                 void* ptr, float opt) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void SequencerRig::setParameter(std::int32_t index, float value) {
    effect->setParameter(effect, index, value);
}

float SequencerRig::getParameter(std::int32_t index) {
    return effect->getParameter(effect, index);
}

VstIntPtr VSTCALLBACK SequencerRig::callback(AEffect*, std::int32_t opcode, std::int32_t index,
                                             VstIntPtr value, void* ptr, float opt) {
    return active->answer(opcode, index, value, ptr, opt);
}

VstIntPtr SequencerRig::answer(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                               float opt) {
    switch (opcode) {
    case audioMasterAutomate: automated.emplace_back(index, opt); return 0;
    case audioMasterVersion: return 2400;
    case audioMasterWantMidi: ++wantMidiRequests; return 1;
    case audioMasterTempoAt:
        ++tempoRequests;
        if (tempoAtAnswersZero) return 0;
        // The time information's tempo moves with the answer, as a host's does.
        if (tempoPerRequest) timeInfo.tempo = tempoPerRequest(tempoRequests - 1);
        return static_cast<VstIntPtr>(
            std::llround((tempoPerRequest ? timeInfo.tempo : tempo) * tempoAtScale));
    case audioMasterGetTime:
        ++timeRequests;
        if (timeFilters.size() < 64) timeFilters.push_back(static_cast<std::int32_t>(value));
        if (positionPerRequest) timeInfo.ppqPos = positionPerRequest(timeRequests - 1);
        if (!timeInfoAvailable || (recordPerRequest && !recordPerRequest(timeRequests - 1)))
            return 0;
        return reinterpret_cast<VstIntPtr>(timeAnswer(static_cast<std::int32_t>(value)));
    case audioMasterProcessEvents: {
        // The host copies the event during the call, as the interface asks of it.
        const auto* list = static_cast<const VstEvents*>(ptr);
        // The pointers run past the two the record declares.
        VstEvent* const* events = list->events;
        for (std::int32_t i = 0; i < list->numEvents; ++i) {
            const auto* event = reinterpret_cast<const VstMidiEvent*>(events[i]);
            sent.push_back({blockStart + static_cast<std::uint64_t>(event->deltaFrames),
                            static_cast<unsigned char>(event->midiData[0]),
                            static_cast<unsigned char>(event->midiData[1]),
                            static_cast<unsigned char>(event->midiData[2])});
            sentRecords.push_back(*event);
        }
        sentLists.push_back({list->numEvents, list->reserved, blockStart, samplesRun()});
        return processEventsAnswer;
    }
    default: return 0;
    }
}

VstTimeInfo* SequencerRig::timeAnswer(std::int32_t filter) {
    if (!fillsOnlyWhatIsAsked) return &timeInfo;
    answered = VstTimeInfo{};
    answered.samplePos = timeInfo.samplePos;
    answered.sampleRate = timeInfo.sampleRate;
    answered.flags = timeInfo.flags & (kVstTransportChanged | kVstTransportPlaying |
                                       kVstTransportCycleActive | kVstTransportRecording);
    if ((filter & (kVstPpqPosValid | kVstBarsValid)) != 0) {
        answered.ppqPos = timeInfo.ppqPos;
        answered.flags |= timeInfo.flags & kVstPpqPosValid;
    }
    if ((filter & kVstTempoValid) != 0) {
        answered.tempo = timeInfo.tempo;
        answered.flags |= timeInfo.flags & kVstTempoValid;
    }
    if ((filter & kVstTimeSigValid) != 0) {
        answered.timeSigNumerator = timeInfo.timeSigNumerator;
        answered.timeSigDenominator = timeInfo.timeSigDenominator;
        answered.flags |= timeInfo.flags & kVstTimeSigValid;
    }
    return &answered;
}

std::int32_t SequencerRig::samplesRun() {
    while (written < blockFrames && output[0][written] != kUnwritten)
        ++written;
    return written;
}

void SequencerRig::processBlock(std::int32_t frames) {
    for (int c = 0; c < 2; ++c) {
        if (input[c].size() < static_cast<std::size_t>(frames)) {
            input[c].resize(frames);
            output[c].resize(frames);
        }
        for (std::int32_t i = 0; i < frames; ++i) {
            input[c][i] = static_cast<float>(i + 1);
            output[c][i] = kUnwritten;
        }
    }
    timeInfo = VstTimeInfo{};
    timeInfo.samplePos = static_cast<double>(blockStart);
    timeInfo.sampleRate = sampleRate;
    timeInfo.ppqPos = songPosition ? songPosition(blockStart)
                                   : static_cast<double>(blockStart) / sampleRate * tempo / 60.0;
    timeInfo.tempo = tempo;
    timeInfo.timeSigNumerator = 4;
    timeInfo.timeSigDenominator = 4;
    timeInfo.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTimeSigValid |
                     (timeInfoTempoValid ? kVstTempoValid : 0);

    blockFrames = frames;
    written = 0;
    float* inputs[2] = {input[0].data(), input[1].data()};
    float* outputs[2] = {output[0].data(), output[1].data()};
    if (accumulate)
        effect->process(effect, inputs, outputs, frames);
    else
        effect->processReplacing(effect, inputs, outputs, frames);
    // The audio passes through unchanged: added to the output, or replacing it.
    for (int c = 0; c < 2; ++c)
        for (std::int32_t i = 0; i < frames; ++i)
            ASSERT_EQ(output[c][i], accumulate ? input[c][i] + kUnwritten : input[c][i])
                << "channel " << c << " sample " << i;
    blockStart += static_cast<std::uint64_t>(frames);
    blockFrames = 0;
}

void SequencerRig::run(std::uint64_t samples, std::int32_t blockSize) {
    while (samples > 0) {
        const auto frames = static_cast<std::int32_t>(
            std::min<std::uint64_t>(samples, static_cast<std::uint64_t>(blockSize)));
        std::vector<VstMidiEvent> due;
        for (auto it = queued.begin(); it != queued.end();) {
            if (it->sample < blockStart + static_cast<std::uint64_t>(frames)) {
                VstMidiEvent event = it->event;
                event.deltaFrames = static_cast<std::int32_t>(it->sample - blockStart) + 1;
                due.push_back(event);
                it = queued.erase(it);
            } else {
                ++it;
            }
        }
        if (!due.empty()) {
            std::vector<VstEvent*> list;
            for (VstMidiEvent& event : due)
                list.push_back(reinterpret_cast<VstEvent*>(&event));
            deliver(list);
        }
        processBlock(frames);
        samples -= static_cast<std::uint64_t>(frames);
    }
}

void SequencerRig::deliver(const std::vector<VstEvent*>& events) {
    VstEventList list(events.data(), events.size());
    EXPECT_EQ(dispatch(effProcessEvents, 0, 0, list.get()), 1);
}

void SequencerRig::noteAt(std::uint64_t sample, int note, int velocity, int channel) {
    queued.push_back({sample, midiEvent(0x90 | (channel - 1), note, velocity, 0)});
}

VstMidiEvent SequencerRig::midiEvent(int status, int data1, int data2, std::int32_t deltaFrames) {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    return event;
}

std::vector<SentStep> SequencerRig::steps() const {
    std::vector<SentStep> result;
    for (std::size_t first = 0; first < sent.size(); first += 16) {
        if (first + 16 > sent.size()) {
            ADD_FAILURE() << "a step of " << sent.size() - first << " messages";
            break;
        }
        const SentMessage& head = sent[first];
        for (std::size_t channel = 0; channel < 16; ++channel) {
            const SentMessage& m = sent[first + channel];
            EXPECT_EQ(m.status, 0xB0 + channel) << "message " << first + channel;
            EXPECT_EQ(m.sample, head.sample) << "message " << first + channel;
            EXPECT_EQ(m.controller, head.controller) << "message " << first + channel;
            EXPECT_EQ(m.value, head.value) << "message " << first + channel;
        }
        result.push_back({head.sample, head.controller, head.value});
    }
    return result;
}

std::vector<int> SequencerRig::stepValues() const {
    std::vector<int> values;
    for (const SentStep& step : steps())
        values.push_back(step.value);
    return values;
}
