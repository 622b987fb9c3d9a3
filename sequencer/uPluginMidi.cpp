// MIDI input: incoming events wait in the event records until their sample, then notes 12, 13
// and 14 start, stop, and reset and start the sequencer. Audio thread only.
#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

#include "uPlugin.h"

using namespace plugin;

namespace {

constexpr unsigned char kNoteOn = 0x90;
std::uint64_t queueEntry(std::uint64_t sample, std::int32_t record) {
    return (sample << kQueueRecordBits) | static_cast<std::uint64_t>(record);
}

} // namespace

std::int32_t APlugin::processEvents(VstEvents* events) {
    if (events == nullptr) return 1;
    // Reached through a pointer: hosts allocate the list numEvents long.
    VstEvent* const* list = events->events;
    for (std::int32_t i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = list[i];
        if (event == nullptr || event->type != kVstMidiType) continue;
        if (pendingEvents >= kDelayRecords) continue; // full: the first 250 are kept
        const std::int32_t record = takeFreeRecord();
        std::memcpy(&eventPool[record], event, sizeof(VstMidiEvent));
        eventPool[record].reserved1 = kRecordMark;
        // An event with delay d acts at sample d - 1 of the coming block, one with delay 0 at
        // sample 0. A negative delay (some hosts send them) acts at sample 0 too, rather than
        // holding its record for ever.
        const std::int32_t delay = eventPool[record].deltaFrames;
        const std::uint64_t actingSample = samplePosition + (delay > 0 ? delay - 1 : 0);
        dueQueue[pendingEvents++] = queueEntry(actingSample, record);
        std::push_heap(dueQueue, dueQueue + pendingEvents, std::greater<>());
    }
    return 1;
}

std::int32_t APlugin::takeFreeRecord() {
    for (std::uint64_t& word : freeRecords) {
        if (word == 0) continue;
        const int bit = std::countr_zero(word);
        word &= word - 1;
        return static_cast<std::int32_t>((&word - freeRecords) * 64 + bit);
    }
    return 0; // not reached: a free record exists while fewer than 250 are pending
}

// Lets the events due at this sample act, in ascending record order: each event takes the
// lowest free record, so events due together usually act in the order the host listed them,
// but not always (a record freed earlier in the block goes to a later event). That order is the
// sequencer's rule, kept as it has always been: a start and a stop due at the same sample end
// as their records lie. A sample with none due costs one comparison.
void APlugin::processDelayedEvents(std::uint64_t sample) {
    const std::uint64_t nextSample = queueEntry(sample + 1, 0);
    while (pendingEvents > 0 && dueQueue[0] < nextSample) {
        const auto record = static_cast<std::int32_t>(dueQueue[0] & ((1u << kQueueRecordBits) - 1));
        std::pop_heap(dueQueue, dueQueue + pendingEvents, std::greater<>());
        --pendingEvents;
        actOn(eventPool[record]);
        freeRecords[record / 64] |= std::uint64_t{1} << (record % 64);
    }
}

void APlugin::actOn(const VstMidiEvent& event) {
    const auto status = static_cast<unsigned char>(event.midiData[0]) & 0xF0;
    const int note = static_cast<unsigned char>(event.midiData[1]) & 0x7F;
    const int velocity = static_cast<unsigned char>(event.midiData[2]) & 0x7F;
    if (status != kNoteOn || velocity == 0) return; // velocity 0 is a note-off
    switch (note) {
    case kStartNote:
        sampleCounter = 0;
        setParamOnly(startStop, 0.0f);
        break;
    case kStopNote: setParamOnly(startStop, 1.0f); break;
    case kResetNote:
        resetPending = true;
        sampleCounter = 0;
        setParamOnly(startStop, 0.0f);
        break;
    default: break;
    }
}
