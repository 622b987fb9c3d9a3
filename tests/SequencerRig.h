// A host for the step engine's tests: it creates the plug-in through the entry point, answers
// tempo and time information for each block, delivers MIDI events, and records every message
// the plug-in sends at the absolute sample a host places it: the block's first sample plus the
// message's deltaFrames. The plug-in hands a block's messages over in one list after the block,
// so a test that times a step to the sample runs blocks of one sample (the default).
//
// When a list arrives is observed, not assumed: the rig feeds a ramp to the audio input and
// marks the output as unwritten; the plug-in passes each sample through after processing it, so
// the written part of the output tells how much of the block has run.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/DAEffectX.h"
#include "sequencer/uPlugin.h"

struct SentMessage {
    std::uint64_t sample;
    unsigned char status, controller, value;
    bool operator==(const SentMessage&) const = default;
};

// One step as the host saw it: 16 messages at one sample, channels 1 to 16, same numbers.
struct SentStep {
    std::uint64_t sample;
    int controller, value;
    bool operator==(const SentStep&) const = default;
};

class SequencerRig {
  public:
    explicit SequencerRig(double tempo = 120.0, float sampleRate = 44100.0f);
    ~SequencerRig();
    SequencerRig(const SequencerRig&) = delete;
    SequencerRig& operator=(const SequencerRig&) = delete;

    AEffect* effect = nullptr;
    APlugin& plugin() { return *static_cast<APlugin*>(effect->object); }

    // What the host answers.
    double tempo;                    // tempoAt: tempo * tempoAtScale
    double tempoAtScale = 10000.0;   // as the interface defines it
    bool tempoAtAnswersZero = false; // as several current hosts do
    bool timeInfoAvailable = true;   // false: audioMasterGetTime answers 0
    bool timeInfoTempoValid = true;  // the tempo-valid flag in the record
    // Ardour fills only the fields the request's filter asks for: ppqPos for the position or
    // bars bit, tempo for the tempo bit; other fields stay 0 with their flags clear. Qtractor
    // and Carla fill every field whatever the filter.
    bool fillsOnlyWhatIsAsked = true;
    std::function<double(std::uint64_t blockStart)> songPosition; // ppqPos of a block's start
    // A host that moves ppqPos on every request instead (request number: position).
    std::function<double(std::int64_t request)> positionPerRequest;
    // A host whose tempo moves inside a block: tempoAt's answer by request number.
    std::function<double(std::int64_t request)> tempoPerRequest;
    // A host that answers some time requests with no record (request number: false for none).
    std::function<bool(std::int64_t request)> recordPerRequest;
    std::int32_t processEventsAnswer = 1;

    // What the host saw.
    std::vector<SentMessage> sent;
    std::vector<VstMidiEvent> sentRecords; // each message's record as handed over
    struct SentList {
        std::int32_t numEvents;
        VstIntPtr reserved;
        std::uint64_t block;  // the first sample of the block it came in
        std::int32_t arrived; // how many of the block's samples had run
    };
    std::vector<SentList> sentLists;
    std::int64_t tempoRequests = 0, timeRequests = 0, wantMidiRequests = 0;
    std::vector<std::int32_t> timeFilters;
    std::vector<std::pair<std::int32_t, float>> automated; // audioMasterAutomate: index, value

    std::uint64_t blockStart = 0; // absolute sample of the next block
    bool accumulate = false;      // process instead of processReplacing

    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setParameter(std::int32_t index, float value);
    float getParameter(std::int32_t index);

    // Processes `samples` samples in blocks of `blockSize`, delivering the queued events in
    // the block they belong to.
    void run(std::uint64_t samples, std::int32_t blockSize = 1);
    void processBlock(std::int32_t frames);

    // Delivers events before the next block, as the host's processEvents call.
    void deliver(const std::vector<VstEvent*>& events);
    // Queues a note-on to act at an absolute sample: run() delivers it in the block holding
    // that sample with the matching deltaFrames.
    void noteAt(std::uint64_t sample, int note, int velocity = 100, int channel = 1);

    // The messages grouped into steps; a group that is not 16 equal messages on channels 1 to
    // 16 at one sample fails the running test.
    std::vector<SentStep> steps() const;
    std::vector<int> stepValues() const;

    static VstMidiEvent midiEvent(int status, int data1, int data2, std::int32_t deltaFrames);

  private:
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                          VstIntPtr value, void* ptr, float opt);
    VstIntPtr answer(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                     float opt);
    std::int32_t samplesRun();

    static SequencerRig* active;
    SequencerRig* previous;
    float sampleRate;
    VstTimeInfo timeInfo{}; // the block's full record
    VstTimeInfo answered{}; // what a request is given
    VstTimeInfo* timeAnswer(std::int32_t filter);
    std::vector<float> input[2], output[2];
    std::int32_t blockFrames = 0;
    std::int32_t written = 0;
    struct Queued {
        std::uint64_t sample;
        VstMidiEvent event;
    };
    std::vector<Queued> queued;
};
