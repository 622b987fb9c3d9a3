// Real-time behaviour: nothing allocated while processing, the same output whatever the host's
// block size, and the audio thread and the user-interface thread sharing the plug-in safely.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "AllocationCounter.h"
#include "FloatingPointState.h"
#include "SequencerRig.h"
#include "host/Morvo.h"

using namespace plugin;

namespace {

// A host whose callback neither allocates nor locks, so that everything counted during
// processing is the plug-in's.
struct QuietHost {
    static inline VstTimeInfo timeInfo{};
    static inline long messages = 0;
    static VstIntPtr VSTCALLBACK callback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr,
                                          void* ptr, float) {
        switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterTempoAt: return 1200000;
        case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&timeInfo);
        case audioMasterProcessEvents:
            messages += static_cast<const VstEvents*>(ptr)->numEvents;
            return 1;
        default: return 0;
        }
    }
};

VstMidiEvent noteOn(int number, std::int32_t deltaFrames) {
    return SequencerRig::midiEvent(0x90, number, 100, deltaFrames);
}

} // namespace

TEST(Realtime, ProcessingAndEventInputAllocateNothing) {
    AEffect* e = pluginMain(QuietHost::callback);
    ASSERT_NE(e, nullptr);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    e->setParameter(e, syncValue, 0.32f);

    // Built before counting: the host's event list and the audio buffers.
    VstMidiEvent events[40];
    for (int i = 0; i < 40; ++i)
        events[i] = noteOn(i % 4 == 0 ? kStopNote : (i % 4 == 1 ? kResetNote : kStartNote),
                           i * 97 % 3000 - 5);
    struct {
        std::int32_t numEvents;
        VstIntPtr reserved;
        VstEvent* events[40];
    } list{40, 0, {}};
    for (int i = 0; i < 40; ++i)
        list.events[i] = reinterpret_cast<VstEvent*>(&events[i]);
    float in[2][256] = {}, out[2][256] = {};
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};

    QuietHost::messages = 0;
    long counted = 0;
    {
        allocations::Scope scope;
        for (int block = 0; block < 2000; ++block) {
            if (block % 50 == 0) e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
            if (block == 1000) e->setParameter(e, timingMode, 1.0f); // external timing
            QuietHost::timeInfo.ppqPos = block * 256 / 22050.0;
            if (block % 2 == 0)
                e->processReplacing(e, inputs, outputs, 256);
            else
                e->process(e, inputs, outputs, 256);
        }
        counted = allocations::count;
    }
    EXPECT_EQ(counted, 0);
    EXPECT_GT(QuietHost::messages, 16 * 100); // it did run, in both timings
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

TEST(Realtime, TheCounterSeesAllocations) {
    allocations::Scope scope;
    int* volatile block = new int(7);
    delete block;
    EXPECT_EQ(allocations::count, 2);
}

#if defined(__i386__) || defined(__x86_64__)
// Windows starts a host's threads at 53-bit precision, and some hosts unmask exceptions: the
// engine computes at extended precision with every exception masked all the same, and the
// thread gets its own word back.
TEST(Realtime, ProcessingRunsAtExtendedPrecisionAndGivesTheHostItsWordBack) {
    static unsigned short duringProcessing = 0;
    struct WordWatchingHost {
        static VstIntPtr VSTCALLBACK callback(AEffect* e, std::int32_t opcode, std::int32_t index,
                                              VstIntPtr value, void* ptr, float opt) {
            if (opcode == audioMasterTempoAt) duringProcessing = x87ControlWord();
            return QuietHost::callback(e, opcode, index, value, ptr, opt);
        }
    };
    AEffect* e = pluginMain(WordWatchingHost::callback);
    ASSERT_NE(e, nullptr);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    float in[2][64] = {}, out[2][64] = {};
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};

    const unsigned short saved = x87ControlWord();
    // 53-bit precision, division by zero unmasked.
    const auto hosts =
        static_cast<unsigned short>((saved & ~0x0300 & ~kX87DivideByZeroMask) | 0x0200);
    setX87ControlWord(hosts);
    e->processReplacing(e, inputs, outputs, 64);
    const unsigned short after = x87ControlWord();
    setX87ControlWord(saved);

    EXPECT_EQ(duringProcessing & 0x0F3F, 0x033F);
    EXPECT_EQ(after, hosts);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}
#endif

// The stream of messages is the same for every block size, each message in the block that holds
// its sample: events that arrive in different blocks with different delays still act at the
// same sample.
TEST(Realtime, InternalTimingIsTheSameForEveryBlockSize) {
    auto play = [](std::int32_t blockSize) {
        SequencerRig rig;
        for (int s = 0; s < 16; ++s)
            rig.setParameter(s, static_cast<float>(s) / 15.0f);
        rig.setParameter(syncValue, 0.32f); // 689 samples a step
        rig.setParameter(endStep, 0.05f);
        // A stop delivered up front with a delay reaching far past the first blocks.
        std::vector<VstMidiEvent> early{noteOn(kStopNote, 4001)};
        rig.deliver({reinterpret_cast<VstEvent*>(&early[0])});
        rig.noteAt(1500, kStopNote);
        rig.noteAt(2600, kStartNote);
        rig.noteAt(3333, kResetNote);
        rig.noteAt(4321, kStartNote);
        rig.run(6000, blockSize);
        return rig.sent;
    };
    const std::vector<SentMessage> reference = play(1);
    ASSERT_EQ(reference.size(), 16u * 8u);
    for (std::int32_t blockSize = 2; blockSize <= 4096; ++blockSize) {
        // The same messages, each placed at the start of the block that holds its sample.
        std::vector<SentMessage> expected = reference;
        for (SentMessage& message : expected)
            message.sample -= message.sample % static_cast<std::uint64_t>(blockSize);
        ASSERT_EQ(play(blockSize), expected) << "block size " << blockSize;
    }
}

// The audio thread processes while the user-interface thread changes parameters and programs
// and reads what the editor shows. Run under ThreadSanitizer, a data race fails the test.
TEST(Concurrency, AudioAndUserInterfaceThreadsShareThePlugin) {
    SequencerRig rig;
    rig.setParameter(syncValue, 0.32f);
    std::atomic<bool> done{false};
    std::thread userInterface([&] {
        char text[64];
        long reads = 0;
        for (int i = 0; !done.load(); ++i) {
            rig.setParameter(i % 16, static_cast<float>(i % 100) / 100.0f);
            rig.setParameter(syncValue, i % 2 == 0 ? 0.32f : 0.16f);
            if (i % 64 == 0) rig.dispatch(effSetProgram, 0, (i / 64) % 16);
            rig.dispatch(effGetParamDisplay, i % 23, 0, text);
            reads += rig.plugin().currentStep() + rig.plugin().stepLength() +
                     rig.plugin().songPositionHundredths() + rig.getParameter(i % 23);
            rig.setParameter(timingMode, i % 500 < 250 ? 0.0f : 1.0f);
        }
        EXPECT_GE(reads, 0);
    });
    for (int block = 0; block < 400; ++block) {
        if (block % 20 == 0) rig.noteAt(rig.blockStart + 7, block % 40 == 0 ? 14 : 12);
        rig.run(256, 256);
    }
    done = true;
    userInterface.join();
    EXPECT_FALSE(rig.steps().empty()); // every message whole: 16 channels, one sample
}
