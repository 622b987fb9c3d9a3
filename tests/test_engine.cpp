// The step engine, heard from the host: which Control Change messages arrive, at which sample.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SequencerRig.h"

using namespace plugin;

namespace {

// Step s gets value s/15, so each step's Control Change value names it: 0, 8, 17, ... 127.
void distinctSteps(SequencerRig& rig) {
    for (int s = 0; s < 16; ++s)
        rig.setParameter(s, static_cast<float>(s) / 15.0f);
}

int valueOfStep(int s) {
    return static_cast<int>(std::lround(s / 15.0 * 127.0));
}

std::vector<int> valuesOfSteps(std::initializer_list<int> steps) {
    std::vector<int> values;
    for (int s : steps)
        values.push_back(valueOfStep(s));
    return values;
}

} // namespace

TEST(Engine, TheFirstSampleSendsStepOneOnAllSixteenChannels) {
    SequencerRig rig;
    rig.run(1);
    ASSERT_EQ(rig.sent.size(), 16u);
    for (int channel = 0; channel < 16; ++channel) {
        EXPECT_EQ(rig.sent[channel], (SentMessage{0, static_cast<unsigned char>(0xB0 + channel), 14,
                                                  64})); // 0.5 * 127 = 63.5, a tie: 64
        const VstMidiEvent& record = rig.sentRecords[channel];
        EXPECT_EQ(record.type, kVstMidiType);
        EXPECT_EQ(record.byteSize, 32);
        EXPECT_EQ(record.deltaFrames, 0);
        EXPECT_EQ(record.flags, 0);
        EXPECT_EQ(record.noteLength, 0);
        EXPECT_EQ(record.noteOffset, 0);
        EXPECT_EQ(record.midiData[3], 0);
        EXPECT_EQ(record.detune, 0);
        EXPECT_EQ(record.noteOffVelocity, 0);
        EXPECT_EQ(record.reserved1, 99);
        EXPECT_EQ(record.reserved2, 0);
    }
    ASSERT_EQ(rig.sentLists.size(), 1u);
    EXPECT_EQ(rig.sentLists[0].numEvents, 16);
    EXPECT_EQ(rig.sentLists[0].reserved, 0);
}

// Qtractor keeps only the last list a plug-in hands it in a block: a block's messages go in one
// list, in the order they were made, after the whole block has run; a block that makes more
// than one list holds hands over full lists and loses nothing.
TEST(Engine, ABlocksMessagesGoToTheHostInOneListAfterTheBlock) {
    SequencerRig rig;
    distinctSteps(rig);
    rig.setParameter(syncValue, 0.32f); // 689 samples a step
    rig.run(1400, 1400);                // steps 1 to 3
    ASSERT_EQ(rig.sentLists.size(), 1u);
    EXPECT_EQ(rig.sentLists[0].numEvents, 48);
    EXPECT_EQ(rig.sentLists[0].arrived, 1400);
    EXPECT_EQ(rig.steps(),
              (std::vector<SentStep>{
                  {0, 14, valueOfStep(0)}, {0, 14, valueOfStep(1)}, {0, 14, valueOfStep(2)}}));
    rig.run(100, 100); // no step: no list
    EXPECT_EQ(rig.sentLists.size(), 1u);

    SequencerRig fast(1000.0); // 82 samples a step: 100 steps, 1,600 messages in one block
    distinctSteps(fast);
    fast.setParameter(syncValue, 0.32f);
    fast.run(8192, 8192);
    ASSERT_EQ(fast.sentLists.size(), 2u);
    EXPECT_EQ(fast.sentLists[0].numEvents, 1024);
    EXPECT_EQ(fast.sentLists[1].numEvents, 1600 - 1024);
    std::vector<int> expected;
    for (int step = 0; step < 100; ++step)
        expected.push_back(valueOfStep(step % 16));
    EXPECT_EQ(fast.stepValues(), expected);
}

TEST(Engine, StepLengthsFollowTempoSyncAndSampleRate) {
    SequencerRig rig;
    rig.run(1);
    EXPECT_EQ(rig.plugin().stepLength(), 22050);
    rig.setParameter(syncValue, 0.04f);
    rig.run(1);
    // 5512.5 rounded down: the internal clock runs slightly ahead of the host's beat.
    EXPECT_EQ(rig.plugin().stepLength(), 5512);
    rig.tempo = 90.0;
    rig.run(2);
    EXPECT_EQ(rig.plugin().stepLength(), 7350);
}

TEST(Engine, StepsAtFortyEightKilohertz) {
    SequencerRig rig(120.0, 48000.0f); // half a second a step: 24000 samples
    distinctSteps(rig);
    rig.run(48001, 1000);
    EXPECT_EQ(rig.steps(), (std::vector<SentStep>{{0, 14, valueOfStep(0)},
                                                  {24000, 14, valueOfStep(1)},
                                                  {48000, 14, valueOfStep(2)}}));
}

TEST(Engine, StepsFollowOneStepLengthApartAndWrapAtTheCount) {
    SequencerRig rig;
    distinctSteps(rig);
    rig.run(17 * 22050, 441);
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 17u);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].sample, i * 22050) << "step " << i;
        EXPECT_EQ(steps[i].controller, 14);
        EXPECT_EQ(steps[i].value, valueOfStep(static_cast<int>(i % 16))) << "step " << i;
    }
}

TEST(Engine, AnEndStepOfFourPlaysStepsOneToFour) {
    SequencerRig rig;
    distinctSteps(rig);
    rig.setParameter(endStep, 0.04f);
    rig.setParameter(syncValue, 0.04f);
    rig.run(9 * 5512 + 1);
    EXPECT_EQ(rig.stepValues(), valuesOfSteps({0, 1, 2, 3, 0, 1, 2, 3, 0, 1}));
}

TEST(Engine, LoweringTheCountStillSendsTheStepDueThenWraps) {
    SequencerRig rig;
    distinctSteps(rig);
    rig.setParameter(syncValue, 0.32f); // 689 samples a step
    rig.run(6 * 689 + 1);               // steps 1 to 7 sent; step 8 (index 7) is next
    rig.setParameter(endStep, 0.04f);
    rig.run(3 * 689);
    EXPECT_EQ(rig.stepValues(), valuesOfSteps({0, 1, 2, 3, 4, 5, 6, 7, 0, 1}));
}

TEST(Engine, TheCountIsKeptWithinOneToSixteen) {
    SequencerRig zero;
    distinctSteps(zero);
    zero.setParameter(endStep, 0.0f); // a count of 0 plays step 1 only
    zero.setParameter(syncValue, 0.32f);
    zero.run(3 * 689 + 1);
    EXPECT_EQ(zero.stepValues(), valuesOfSteps({0, 0, 0, 0}));

    SequencerRig hundred;
    distinctSteps(hundred);
    hundred.setParameter(endStep, 1.0f); // 100 steps asked: the 16 there are
    hundred.setParameter(syncValue, 0.32f);
    hundred.run(17 * 689 + 1);
    EXPECT_EQ(hundred.stepValues(),
              valuesOfSteps({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1}));
}

TEST(Engine, ATempoChangeRecomputesTheLengthAndKeepsTheCounter) {
    SequencerRig rig;
    rig.run(11025); // half way through the first step at 120 bpm
    rig.tempo = 240.0;
    rig.run(11025 + 2);
    // The new tempo is read at the end of sample 11025 and used from sample 11026. At 240 bpm
    // a step is 11025 samples: the counter is past it, so it wraps, and 11027 is a boundary.
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1].sample, 11027u);
    EXPECT_EQ(rig.plugin().stepLength(), 11025);
}

TEST(Engine, ASyncChangeTakesEffectWithoutResettingTheCounter) {
    SequencerRig rig;
    rig.run(1000);
    rig.setParameter(syncValue, 0.02f); // 11025 samples a step
    rig.run(20000);
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1].sample, 11025u);
}

TEST(Engine, StopAndRestartKeepTheCounterRunning) {
    SequencerRig rig;
    rig.setParameter(syncValue, 0.32f); // 689 samples a step
    rig.run(100);
    rig.setParameter(startStop, 1.0f);
    rig.run(2000); // stopped: nothing sent, the counter still wraps every 689 samples
    EXPECT_EQ(rig.steps().size(), 1u);
    rig.setParameter(startStop, 0.0f);
    rig.run(2000);
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_GE(steps.size(), 2u);
    // The next boundary is where the counter wraps, not the sample of the restart (2100).
    EXPECT_EQ(steps[1].sample, 4u * 689u);
    EXPECT_EQ(steps[1].value, 64);
}

TEST(Engine, StoppedTheCounterWrapsWhateverTheBlockSizes) {
    // Blocks of one sample, and blocks that end one sample before, at or after a boundary:
    // each sample stopped must still count, or the restart lands off the grid.
    for (std::int32_t block : {1, 688, 689, 690, 7}) {
        SequencerRig rig;
        rig.setParameter(syncValue, 0.32f); // 689 samples a step
        rig.run(100);
        rig.setParameter(startStop, 1.0f);
        rig.run(2000, block);
        rig.setParameter(startStop, 0.0f);
        rig.run(2000, block);
        const std::vector<SentStep> steps = rig.steps();
        ASSERT_GE(steps.size(), 2u) << "blocks of " << block;
        // Where the host places it: the start of the block holding sample 4 x 689.
        const std::uint64_t restart = 4u * 689u - (4u * 689u - 2100u) % block;
        EXPECT_EQ(steps[1].sample, restart) << "blocks of " << block;
    }
}

TEST(Engine, ValuesAreScaledIntoTheControllerRange) {
    SequencerRig rig;
    rig.setParameter(ccOut, 1.0f);
    rig.setParameter(ccMin, 0.5f);
    rig.setParameter(ccMax, 0.0f); // an inverted range runs downwards
    rig.setParameter(0, 1.0f);
    rig.setParameter(1, 0.25f);
    rig.setParameter(syncValue, 0.32f);
    rig.run(690);
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].controller, 127);
    EXPECT_EQ(steps[0].value, 0);  // ((0 - 0.5) * 1 + 0.5) * 127
    EXPECT_EQ(steps[1].value, 48); // ((0 - 0.5) * 0.25 + 0.5) * 127 = 47.625
}

TEST(Engine, AccumulatingProcessingAddsTheInput) {
    SequencerRig rig;
    rig.accumulate = true;
    rig.run(1000, 100); // the rig checks output = old output + input
    EXPECT_EQ(rig.steps().size(), 1u);
}

TEST(Engine, EveryRunningSampleAsksTheTempoAndStoppedOnesDoNot) {
    SequencerRig rig;
    rig.run(1);
    EXPECT_EQ(rig.tempoRequests, 2); // once to compute the first length, once for the next
    rig.run(10);
    EXPECT_EQ(rig.tempoRequests, 12);
    rig.setParameter(startStop, 1.0f);
    rig.run(10);
    EXPECT_EQ(rig.tempoRequests, 12);
}

// ---------------------------------------------------------------------------------------------
// Hosts without a usable tempo

TEST(Engine, ATempoOfZeroFallsBackToTheTimeInformation) {
    SequencerRig rig;
    rig.tempoAtAnswersZero = true;
    rig.tempo = 60.0; // only in the time information
    rig.run(1);
    EXPECT_EQ(rig.plugin().stepLength(), 44100);
    ASSERT_FALSE(rig.timeFilters.empty());
    EXPECT_EQ(rig.timeFilters[0], kVstTempoValid);
}

TEST(Engine, TheTimeInformationsTempoWinsOverAMisscaledTempoAtAnswer) {
    SequencerRig rig;
    rig.tempoAtScale = 1000.0; // a host answering tempoAt with 120000 at 120 bpm
    rig.run(1);
    EXPECT_EQ(rig.plugin().stepLength(), 22050);
    rig.tempo = 60.0; // a tempo change changes the answer, and the tempo is read again
    rig.run(3);
    EXPECT_EQ(rig.plugin().stepLength(), 44100);

    SequencerRig withoutTimeInfo; // the answer alone, as the interface scales it
    withoutTimeInfo.timeInfoTempoValid = false;
    withoutTimeInfo.tempo = 90.0;
    withoutTimeInfo.run(1);
    EXPECT_EQ(withoutTimeInfo.plugin().stepLength(), 29400);
}

TEST(Engine, WithoutAnyTempoTheClockHoldsUntilOneExists) {
    SequencerRig rig;
    rig.tempoAtAnswersZero = true;
    rig.timeInfoTempoValid = false;
    rig.run(5000);
    EXPECT_TRUE(rig.sent.empty());
    EXPECT_EQ(rig.plugin().stepLength(), 0);
    rig.timeInfoAvailable = false;
    rig.run(5000);
    EXPECT_TRUE(rig.sent.empty());

    rig.tempoAtAnswersZero = false;
    rig.run(22051);
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].sample, 10000u);
    EXPECT_EQ(steps[1].sample, 10000u + 22050u);
}

TEST(Engine, ATempoThatDropsToZeroHoldsTheClock) {
    SequencerRig rig;
    rig.setParameter(syncValue, 0.32f);
    rig.run(1000);
    rig.tempoAtAnswersZero = true;
    rig.timeInfoTempoValid = false;
    rig.run(5000);
    EXPECT_EQ(rig.steps().size(), 2u); // samples 0 and 689 only
    rig.tempoAtAnswersZero = false;
    rig.run(1000);
    // The counter stood at 1000 - 689 = 311 (plus the sample that read the 0) and runs on.
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[2].sample, 6000u + 689u - 312u);
}

TEST(Engine, ASyncOfZeroOrAHugeTempoHoldsTheClock) {
    SequencerRig zeroSync;
    zeroSync.setParameter(syncValue, 0.0f);
    zeroSync.run(10000);
    EXPECT_TRUE(zeroSync.sent.empty());
    zeroSync.setParameter(syncValue, 0.32f);
    zeroSync.run(1);
    EXPECT_EQ(zeroSync.steps().size(), 1u);

    SequencerRig fast(200000.0); // a step shorter than a sample: no flood of messages
    fast.setParameter(syncValue, 0.32f);
    fast.run(1000);
    EXPECT_TRUE(fast.sent.empty());
}

// ---------------------------------------------------------------------------------------------
// External timing

TEST(Engine, ExternalTimingTakesTheStepFromTheSongPosition) {
    struct Case {
        float sync;
        double position;
        int step;
    };
    // A position on a step's start is in that step, although the stored 0.04 is 0.0399999991
    // (beat 2 x 3.99999991 steps would round down into step 8). Step 1 too is sent: nothing was
    // sent before.
    for (const Case c :
         {Case{0.01f, 4.0, 4}, Case{0.04f, 2.0, 8}, Case{0.04f, 4.0, 0}, Case{0.32f, 0.5, 0},
          Case{0.08f, 3.125, 9}, Case{0.01f, 0.0, 0}, Case{0.01f, 4.25, 4}, Case{0.04f, 5.3, 5},
          Case{0.01f, 17.5, 1}, Case{0.01f, -0.25, 15}, // before 0: backwards
          Case{0.04f, -1.0, 12}, Case{0.01f, 1e300, 15}}) {
        SequencerRig rig;
        distinctSteps(rig);
        rig.setParameter(timingMode, 1.0f);
        rig.setParameter(syncValue, c.sync);
        rig.songPosition = [&](std::uint64_t) { return c.position; };
        rig.run(100);
        ASSERT_EQ(rig.stepValues(), valuesOfSteps({c.step}))
            << "sync " << c.sync << ", position " << c.position;
        EXPECT_EQ(rig.plugin().currentStep(), c.step);
    }
}

TEST(Engine, ExternalTimingSendsOnlyWhenTheStepChanges) {
    SequencerRig rig;
    distinctSteps(rig);
    rig.setParameter(timingMode, 1.0f);
    double position = 0.5; // the first step found is sent, then nothing while it lasts
    rig.songPosition = [&](std::uint64_t) { return position; };
    rig.run(2048);
    EXPECT_EQ(rig.steps(), (std::vector<SentStep>{{0, 14, valueOfStep(0)}}));
    position = 1.2;
    rig.run(2048);
    position = 1.9;
    rig.run(2048);
    position = 7.0; // a relocation sends the step found there at once
    rig.run(2048);
    position = 0.0; // and so does a loop back
    rig.run(512);
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[1], (SentStep{2048, 14, valueOfStep(1)}));
    EXPECT_EQ(steps[2], (SentStep{3 * 2048, 14, valueOfStep(7)})); // beat 7 starts step 8
    EXPECT_EQ(steps[3], (SentStep{4 * 2048, 14, valueOfStep(0)}));
    EXPECT_EQ(rig.plugin().songPositionHundredths(), 0);
    EXPECT_EQ(rig.timeFilters.back(), kVstTransportRecording | kVstPpqPosValid);
}

TEST(Engine, ExternalTimingWithTheTransportRunning) {
    SequencerRig rig;
    distinctSteps(rig);
    rig.setParameter(timingMode, 1.0f);
    rig.setParameter(syncValue, 0.04f);
    rig.run(44100, 441); // one second at 120 bpm: 2 beats, 8 steps
    // Each step with the first block whose start has reached it (a step is 5512.5 samples).
    const std::uint64_t starts[] = {0, 5733, 11025, 16758, 22050, 27783, 33075, 38808};
    const std::vector<SentStep> steps = rig.steps();
    ASSERT_EQ(steps.size(), 8u);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].value, valueOfStep(static_cast<int>(i)));
        EXPECT_EQ(steps[i].sample, starts[i]) << "step " << i;
    }
    EXPECT_NEAR(rig.plugin().songPositionHundredths(), 198, 1); // the last block: beat 1.98
}

TEST(Engine, ExternalTimingFollowsARecordThatMovesWithinTheBlock) {
    // Each sample asks for the record once; this host moves the position on every request.
    for (std::int32_t blockSize : {1, 100, 512}) {
        SequencerRig rig;
        distinctSteps(rig);
        rig.setParameter(timingMode, 1.0f);
        rig.setParameter(syncValue, 0.16f); // 16 steps a beat: a step every ~1378 samples
        rig.positionPerRequest = [](std::int64_t n) { return n / 22050.0; };
        rig.run(8000, blockSize);
        // Each step where the host places it: the first sample of the block whose request
        // reached it (16 steps a beat: 1378.125 samples a step).
        const std::uint64_t reached[] = {0, 1379, 2757, 4135, 5513, 6891};
        std::vector<SentStep> expected;
        for (int step = 0; step < 6; ++step)
            expected.push_back({reached[step] - reached[step] % blockSize, 14, valueOfStep(step)});
        EXPECT_EQ(rig.steps(), expected) << "block size " << blockSize;
    }
}

TEST(Engine, ExternalTimingSendsNothingWhenStoppedOrWithoutAUsablePosition) {
    SequencerRig rig;
    rig.setParameter(timingMode, 1.0f);
    rig.setParameter(startStop, 1.0f);
    rig.run(44100); // the song position moves, but the sequencer is stopped
    EXPECT_TRUE(rig.sent.empty());
    EXPECT_EQ(rig.timeRequests, 0);

    rig.setParameter(startStop, 0.0f);
    rig.timeInfoAvailable = false;
    rig.run(1000);
    EXPECT_TRUE(rig.sent.empty());
    rig.timeInfoAvailable = true;
    rig.songPosition = [](std::uint64_t) { return std::numeric_limits<double>::quiet_NaN(); };
    rig.run(1000);
    rig.songPosition = [](std::uint64_t) { return std::numeric_limits<double>::infinity(); };
    rig.run(1000);
    EXPECT_TRUE(rig.sent.empty());
}

TEST(Engine, AHugeSongPositionSaturates) {
    SequencerRig rig;
    rig.setParameter(timingMode, 1.0f);
    rig.songPosition = [](std::uint64_t) { return 1e12; };
    rig.run(10);
    EXPECT_EQ(rig.plugin().songPositionHundredths(), std::numeric_limits<std::int32_t>::max());
    rig.songPosition = [](std::uint64_t) { return -1e12; };
    rig.run(10);
    EXPECT_EQ(rig.plugin().songPositionHundredths(), std::numeric_limits<std::int32_t>::min());
}

TEST(Engine, SwitchingTimingModesKeepsTheStep) {
    SequencerRig rig;
    distinctSteps(rig);
    rig.setParameter(timingMode, 1.0f);
    rig.songPosition = [](std::uint64_t) { return 5.5; };
    rig.run(512);
    rig.setParameter(timingMode, 0.0f);
    rig.setParameter(syncValue, 0.32f);
    rig.run(2 * 689);
    // External timing sent step 6 (index 5) and left it current: internal timing continues
    // from it at its first boundary, then steps on.
    EXPECT_EQ(rig.stepValues(), valuesOfSteps({5, 5, 6}));
}

// Internal timing sent step k last; external timing then finds the song position inside step k:
// nothing is sent again, and the next step is sent once, whichever step and block size.
TEST(Engine, SwitchingToExternalTimingInsideTheStepLastSentSendsNothing) {
    constexpr std::uint64_t kLength = 689; // 32 steps a beat at 120 bpm, 44100 Hz
    for (int k : {0, 3, 9, 15})
        for (std::int32_t blockSize : {1, 64, 512}) {
            SequencerRig rig;
            distinctSteps(rig);
            rig.setParameter(syncValue, 0.32f);
            rig.run(k * kLength + 100, blockSize);
            ASSERT_EQ(rig.stepValues().back(), valueOfStep(k));
            const std::size_t sentBefore = rig.sent.size();
            rig.setParameter(timingMode, 1.0f);
            double position = (k + 0.5) / 32.0;
            rig.songPosition = [&](std::uint64_t) { return position; };
            rig.run(1024, blockSize);
            EXPECT_EQ(rig.sent.size(), sentBefore)
                << "step " << k + 1 << ", blocks of " << blockSize;
            position = (k + 1.5) / 32.0;
            rig.run(512, blockSize);
            EXPECT_EQ(rig.sent.size(), sentBefore + 16);
            EXPECT_EQ(rig.stepValues().back(), valueOfStep((k + 1) % 16));
        }
}

// A tempo that changes inside a block acts from the sample after the one whose request heard it,
// exactly as between blocks: the steps fall at the same samples whatever the block size.
TEST(Engine, ATempoChangeInsideABlockActsAtItsSampleWhateverTheBlockSizes) {
    // Sample s's request (after sample 0's two) is request s + 1.
    const auto heardAt = [](std::int64_t sample, double before, double after) {
        return [=](std::int64_t request) { return request - 1 >= sample ? after : before; };
    };
    struct Case {
        std::int64_t sample;
        double before, after;
        std::vector<std::uint64_t> steps;
    };
    // 1 step a beat: 22050 samples at 120 bpm, 11025 at 240 bpm, 14700 at 180 bpm.
    const Case cases[] = {
        {5000, 120.0, 240.0, {0, 11025, 22050, 33075}},
        {11025, 120.0, 240.0, {0, 11027, 22052, 33077}}, // the counter is past the new length
        {30000, 240.0, 120.0, {0, 11025, 22050, 44100}},
        {700, 120.0, 180.0, {0, 14700, 29400}},
    };
    for (const Case& c : cases)
        for (std::int32_t blockSize : {1, 7, 512, 4096, 44100}) {
            SequencerRig rig;
            rig.setParameter(syncValue, 0.01f);
            rig.tempoPerRequest = heardAt(c.sample, c.before, c.after);
            rig.run(c.steps.back() + 1, blockSize);
            std::vector<std::uint64_t> at;
            for (const SentStep& step : rig.steps())
                at.push_back(step.sample);
            // Each step where the host places it: the start of the block that made it.
            std::vector<std::uint64_t> expected;
            for (const std::uint64_t step : c.steps)
                expected.push_back(step - step % static_cast<std::uint64_t>(blockSize));
            EXPECT_EQ(at, expected) << "change at " << c.sample << ", blocks of " << blockSize;
        }
}

// After a steady position, a host that answers some of the time requests inside a block with no
// record: nothing crashes and the step holds; the position moving on sends the next step once.
TEST(Engine, TimeRequestsWithoutARecordInsideABlockHoldTheStep) {
    for (std::int32_t blockSize : {1, 100, 512, 4096}) {
        SequencerRig rig;
        distinctSteps(rig);
        rig.setParameter(timingMode, 1.0f);
        rig.setParameter(syncValue, 0.04f);
        double position = 0.8; // step 4 of 4 a beat
        rig.songPosition = [&](std::uint64_t) { return position; };
        rig.run(2048, blockSize);
        ASSERT_EQ(rig.stepValues(), valuesOfSteps({3}));
        const std::int64_t from = rig.timeRequests;
        rig.recordPerRequest = [from](std::int64_t request) {
            const std::int64_t n = request - from;
            return n < 37 || (n > 40 && n % 5 != 0);
        };
        rig.run(4096, blockSize);
        EXPECT_EQ(rig.stepValues(), valuesOfSteps({3})) << "blocks of " << blockSize;
        EXPECT_EQ(rig.plugin().currentStep(), 3);
        position = 1.3; // step 2 of the next beat
        rig.run(4096, blockSize);
        EXPECT_EQ(rig.stepValues(), valuesOfSteps({3, 5})) << "blocks of " << blockSize;
    }
}

// Hosts that ignore the request's filter and fill every field play the same as Ardour, which
// fills the song position only when asked for it.
TEST(Engine, ExternalTimingIsTheSameWhateverFieldsTheHostFills) {
    std::vector<SentStep> heard[2];
    for (bool everyField : {false, true}) {
        SequencerRig rig;
        distinctSteps(rig);
        rig.fillsOnlyWhatIsAsked = !everyField;
        rig.setParameter(timingMode, 1.0f);
        rig.setParameter(syncValue, 0.16f);
        rig.songPosition = [](std::uint64_t start) { return start / 20000.0 - 0.3; };
        rig.run(60000, 256);
        heard[everyField] = rig.steps();
    }
    EXPECT_GE(heard[0].size(), 40u);
    EXPECT_EQ(heard[0], heard[1]);
}
