// MIDI input: notes 12, 13 and 14 start, stop, and reset and start the sequencer at the exact
// sample their delay names.
#include <gtest/gtest.h>

#include "SequencerRig.h"

using namespace plugin;

namespace {

VstMidiEvent note(int number, std::int32_t deltaFrames, int velocity = 100, int channel = 1) {
    return SequencerRig::midiEvent(0x90 | (channel - 1), number, velocity, deltaFrames);
}

// Delivers the events as one list, in the order given.
void deliver(SequencerRig& rig, std::vector<VstMidiEvent>& events) {
    std::vector<VstEvent*> list;
    for (VstMidiEvent& event : events)
        list.push_back(reinterpret_cast<VstEvent*>(&event));
    rig.deliver(list);
}

void deliver(SequencerRig& rig, std::vector<VstMidiEvent>&& events) {
    deliver(rig, events);
}

bool running(SequencerRig& rig) {
    return rig.getParameter(startStop) < 0.5f;
}

// A plug-in that has been stopped from its first sample on.
void stopAtOnce(SequencerRig& rig) {
    rig.setParameter(startStop, 1.0f);
    rig.run(1000);
    ASSERT_TRUE(rig.sent.empty());
}

} // namespace

TEST(MidiInput, NoteTwelveStartsTheSequencerAtItsSample) {
    SequencerRig rig;
    stopAtOnce(rig);
    deliver(rig, {note(12, 0, 100, 10)});
    rig.run(512);
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0], (SentStep{1000, 14, 64}));
    EXPECT_TRUE(running(rig));
}

TEST(MidiInput, ADelayOfFiveActsAtSampleFour) {
    SequencerRig rig;
    stopAtOnce(rig);
    deliver(rig, {note(12, 5)});
    rig.run(512);
    ASSERT_EQ(rig.steps().size(), 1u);
    EXPECT_EQ(rig.steps()[0].sample, 1004u);
}

TEST(MidiInput, DelaysCarryAcrossBlocks) {
    SequencerRig rig;
    stopAtOnce(rig);
    deliver(rig, {note(12, 700)});
    rig.run(680, 256);
    rig.run(1368); // blocks of one sample from 1680 on
    ASSERT_EQ(rig.steps().size(), 1u);
    EXPECT_EQ(rig.steps()[0].sample, 1000u + 699u);
}

TEST(MidiInput, NoteThirteenStopsWithoutTouchingTheProgram) {
    SequencerRig rig;
    rig.setParameter(syncValue, 0.32f);
    rig.run(100);
    deliver(rig, {note(13, 10, 1, 16)});
    rig.run(5000);
    EXPECT_EQ(rig.getParameter(startStop), 1.0f);
    EXPECT_EQ(rig.steps().size(), 1u); // the boundary at 689 came after the stop
    // The current program still holds "running": reloading it brings that back.
    rig.dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(rig.getParameter(startStop), 0.0f);
}

TEST(MidiInput, OnlyNoteOnsOfTheThreeNotesAct) {
    SequencerRig rig;
    stopAtOnce(rig);
    deliver(rig, {note(12, 1, 0),                              // velocity 0 is a note-off
                  note(24, 2), note(0, 3), note(11, 4),        // other notes
                  SequencerRig::midiEvent(0x80, 12, 100, 5),   // note-off
                  SequencerRig::midiEvent(0xB0, 12, 100, 6),   // control change
                  SequencerRig::midiEvent(0xA0, 12, 100, 7),   // aftertouch
                  SequencerRig::midiEvent(0xE0, 12, 100, 8)}); // pitch bend
    rig.run(512);
    EXPECT_TRUE(rig.sent.empty());
    EXPECT_FALSE(running(rig));
}

TEST(MidiInput, ResetMakesItsBoundarySilentAndTheNextSendStepOne) {
    SequencerRig rig;
    for (int s = 0; s < 16; ++s)
        rig.setParameter(s, static_cast<float>(s) / 15.0f);
    rig.setParameter(syncValue, 0.32f);
    rig.run(3 * 689 + 100); // steps 1 to 4 sent
    deliver(rig, {note(14, 1)});
    rig.run(2 * 689);
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 5u);
    // The reset at sample 2167 is a silent boundary; one step length later step 1 follows.
    EXPECT_EQ(steps[4], (SentStep{2167 + 689, 14, 0}));
    EXPECT_TRUE(running(rig));
}

TEST(MidiInput, ResetInExternalTimingStartsAndWaitsForInternalTiming) {
    SequencerRig rig;
    rig.setParameter(timingMode, 1.0f);
    rig.setParameter(startStop, 1.0f);
    rig.songPosition = [](std::uint64_t) { return 2.5; };
    deliver(rig, {note(14, 1)});
    rig.run(512);
    EXPECT_TRUE(running(rig));
    ASSERT_EQ(rig.steps().size(), 1u); // external timing sends step 3 at once
    rig.setParameter(timingMode, 0.0f);
    rig.setParameter(syncValue, 0.32f);
    rig.run(689 + 1);
    // The reset still waits: the first internal boundary is silent, the next sends step 1.
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1], (SentStep{512 + 689, 14, 64}));
}

TEST(MidiInput, EventsDueTogetherActInTheOrderOfTheirRecords) {
    {
        SequencerRig rig; // records 1 (stop) and 2 (start): started
        stopAtOnce(rig);
        deliver(rig, {note(13, 3), note(12, 3)});
        rig.run(512);
        EXPECT_TRUE(running(rig));
        EXPECT_EQ(rig.steps().size(), 1u);
    }
    {
        SequencerRig rig; // records 1 (start) and 2 (stop): stopped, nothing sent
        stopAtOnce(rig);
        deliver(rig, {note(12, 3), note(13, 3)});
        rig.run(512);
        EXPECT_FALSE(running(rig));
        EXPECT_TRUE(rig.sent.empty());
    }
    {
        // A later event can take a lower record than an earlier one still waiting: record 1
        // frees at once, the start note reuses it and acts before the earlier stop in record 2.
        SequencerRig rig;
        stopAtOnce(rig);
        deliver(rig, {note(60, 1), note(13, 20)});
        rig.run(10);
        deliver(rig, {note(12, 10)});
        rig.run(100);
        EXPECT_FALSE(running(rig));
        EXPECT_TRUE(rig.sent.empty());
    }
}

TEST(MidiInput, AtMostTwoHundredFiftyEventsWaitAndTheRestAreDropped) {
    SequencerRig rig;
    std::vector<VstMidiEvent> events;
    for (int i = 0; i < 250; ++i)
        events.push_back(note(60, 1));
    for (int i = 0; i < 50; ++i)
        events.push_back(note(13, 1)); // 251st to 300th: dropped
    deliver(rig, events);
    rig.run(512);
    EXPECT_TRUE(running(rig));
    // All have acted and freed their records: a full pool's worth fits again.
    std::vector<VstMidiEvent> again(249, note(60, 1));
    again.push_back(note(13, 1));
    deliver(rig, again);
    rig.run(512);
    EXPECT_FALSE(running(rig));
}

TEST(MidiInput, EventsOtherThanMidiTakeNoRecord) {
    SequencerRig rig;
    std::vector<VstEvent> sysex(300);
    std::vector<VstEvent*> list;
    for (VstEvent& event : sysex) {
        event = VstEvent{};
        event.type = kVstSysExType;
        event.byteSize = sizeof(VstEvent);
        list.push_back(&event);
    }
    VstMidiEvent stop = note(13, 1);
    list.insert(list.begin() + 150, reinterpret_cast<VstEvent*>(&stop));
    list.insert(list.begin() + 10, nullptr); // hosts have been seen to leave holes
    rig.deliver(list);
    rig.run(512);
    EXPECT_FALSE(running(rig));
}

TEST(MidiInput, NegativeDelaysActAtTheFirstSampleAndNeverLoseARecord) {
    SequencerRig rig;
    stopAtOnce(rig);
    deliver(rig, {note(12, -5)});
    rig.run(512);
    ASSERT_EQ(rig.steps().size(), 1u);
    EXPECT_EQ(rig.steps()[0].sample, 1000u);
    // -99, the free mark inside the pool, included: 300 of them over time lose nothing.
    for (int i = 0; i < 300; ++i) {
        deliver(rig, {note(60, i % 2 == 0 ? -99 : -1)});
        rig.run(1);
    }
    std::vector<VstMidiEvent> full(249, note(60, 1));
    full.push_back(note(13, 1));
    deliver(rig, full);
    rig.run(10);
    EXPECT_FALSE(running(rig));
}

TEST(MidiInput, ANullEventListIsIgnored) {
    SequencerRig rig;
    EXPECT_EQ(rig.dispatch(effProcessEvents, 0, 0, nullptr), 0);
    VstEvents empty{};
    empty.numEvents = 0;
    EXPECT_EQ(rig.dispatch(effProcessEvents, 0, 0, &empty), 1);
    empty.numEvents = -3;
    EXPECT_EQ(rig.dispatch(effProcessEvents, 0, 0, &empty), 1);
    rig.run(10);
    EXPECT_EQ(rig.steps().size(), 1u);
}
