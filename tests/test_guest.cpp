// The guest, the host of the record that every door shares: each guest answers from its own
// transport and keeps its own plug-in's messages, in a buffer that never grows, and a block
// played through it allocates nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "AllocationCounter.h"
#include "formats/guest/Guest.h"
#include "host/Morvo.h"
#include "sequencer/uParameters.h"

namespace {

// A plug-in of the test's own: while processing it asks what plug-ins ask and sends `toSend`
// messages {0xB0, marker, i} at offsets i, then reports an automation of parameter `marker`.
struct Probe {
    static constexpr int kMost = 16;
    AEffect record{};
    audioMasterCallback host = nullptr;
    VstIntPtr rateAtEntry = 0, rate = 0, block = 0, tempoAt = -1;
    VstTimeInfo time{};
    int marker = 0, toSend = 0;
    VstMidiEvent messages[kMost]{};
    struct {
        std::int32_t numEvents;
        VstIntPtr reserved;
        VstEvent* events[kMost];
    } list{};

    VstIntPtr ask(std::int32_t opcode, std::int32_t index = 0, float opt = 0.0f) {
        return host(&record, opcode, index, 0, nullptr, opt);
    }

    static AEffect* VSTCALLBACK entry(audioMasterCallback host) {
        if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        auto* probe = new Probe;
        probe->host = host;
        // Before the record exists: only the guest being created can answer.
        probe->rateAtEntry = host(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
        probe->record.magic = kEffectMagic;
        probe->record.object = probe;
        probe->record.dispatcher = dispatch;
        probe->record.processReplacing = processReplacing;
        return &probe->record;
    }
    static VstIntPtr VSTCALLBACK dispatch(AEffect* e, std::int32_t opcode, std::int32_t, VstIntPtr,
                                          void*, float) {
        if (opcode == effClose) delete static_cast<Probe*>(e->object);
        return 0;
    }
    static void VSTCALLBACK processReplacing(AEffect* e, float**, float**, std::int32_t) {
        static_cast<Probe*>(e->object)->process();
    }

    void process() {
        rate = ask(audioMasterGetSampleRate);
        block = ask(audioMasterGetBlockSize);
        tempoAt = ask(audioMasterTempoAt);
        time = *reinterpret_cast<const VstTimeInfo*>(ask(audioMasterGetTime, kVstPpqPosValid));
        list.numEvents = toSend;
        for (int i = 0; i < toSend; ++i) {
            messages[i].type = kVstMidiType;
            messages[i].deltaFrames = i;
            messages[i].midiData[0] = static_cast<char>(0xB0);
            messages[i].midiData[1] = static_cast<char>(marker);
            messages[i].midiData[2] = static_cast<char>(i);
            list.events[i] = reinterpret_cast<VstEvent*>(&messages[i]);
        }
        host(&record, audioMasterProcessEvents, 0, 0, &list, 0.0f);
        ask(audioMasterBeginEdit, marker);
        ask(audioMasterAutomate, marker, static_cast<float>(time.ppqPos));
        ask(audioMasterEndEdit, marker);
    }
};

struct Edits : guest::Listener {
    std::vector<std::pair<std::int32_t, float>> values;
    std::vector<std::int32_t> gestures; // begun as the index, ended as its complement
    void automated(std::int32_t index, float value) override { values.emplace_back(index, value); }
    void beganEdit(std::int32_t index) override { gestures.push_back(index); }
    void endedEdit(std::int32_t index) override { gestures.push_back(~index); }
};

Probe& probeOf(const guest::Guest& guest) {
    return *static_cast<Probe*>(guest.effect()->object);
}

float silence[2][64], output[2][64];
float* inputs[2] = {silence[0], silence[1]};
float* outputs[2] = {output[0], output[1]};

} // namespace

TEST(Guest, TwoGuestsInOneProcessAnswerFromTheirOwnTransportAndKeepTheirOwnMessages) {
    Edits editsA, editsB;
    guest::Options options;
    options.listener = &editsA;
    guest::Guest a(options);
    options.listener = &editsB;
    guest::Guest b(options);
    guest::Transport playing;
    playing.sampleRate = 48000.0;
    playing.blockSize = 64;
    playing.playing = playing.hasTempo = playing.hasSongPosition = true;
    guest::Transport none; // a host without tempo or position: what it holds is not valid
    none.tempo = 140.0;
    none.songPosition = 3.0;
    none.sampleRate = 22050.0;
    none.blockSize = 32;
    a.setTransport(playing);
    b.setTransport(none);
    std::string error;
    ASSERT_TRUE(a.create(Probe::entry, error)) << error;
    ASSERT_TRUE(b.create(Probe::entry, error)) << error;
    EXPECT_EQ(probeOf(a).rateAtEntry, 48000);
    EXPECT_EQ(probeOf(b).rateAtEntry, 22050);
    probeOf(a).marker = 1;
    probeOf(a).toSend = 3;
    probeOf(b).marker = 2;
    probeOf(b).toSend = 2;

    for (int block = 0; block < 4; ++block) {
        playing.tempo = 97.3 + 10.0 * block;
        playing.songPosition = 2.0 + 0.125 * block;
        playing.samplePosition = 64.0 * block;
        a.setTransport(playing);
        b.setTransport(none);
        a.process(inputs, outputs, 64);
        b.process(inputs, outputs, 32);

        const Probe& pa = probeOf(a);
        EXPECT_EQ(pa.tempoAt, std::llround(playing.tempo * 10000.0));
        EXPECT_EQ(pa.time.flags, kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid);
        EXPECT_EQ(pa.time.ppqPos, playing.songPosition);
        EXPECT_EQ(pa.time.tempo, playing.tempo);
        EXPECT_EQ(pa.time.samplePos, playing.samplePosition);
        EXPECT_EQ(pa.rate, 48000);
        EXPECT_EQ(pa.block, 64);
        const Probe& pb = probeOf(b);
        EXPECT_EQ(pb.tempoAt, 0);
        EXPECT_EQ(pb.time.flags, 0);
        EXPECT_EQ(pb.time.tempo, 0.0);
        EXPECT_EQ(pb.time.ppqPos, 0.0);
        EXPECT_EQ(pb.rate, 22050);
        EXPECT_EQ(pb.block, 32);

        for (const guest::Guest* g : {&a, &b}) {
            ASSERT_EQ(g->eventCount(), static_cast<std::size_t>(probeOf(*g).toSend));
            for (std::size_t i = 0; i < g->eventCount(); ++i) {
                const guest::Event& event = g->events()[i];
                EXPECT_EQ(event.deltaFrames, static_cast<std::int32_t>(i));
                EXPECT_EQ(event.data[0], 0xB0);
                EXPECT_EQ(event.data[1], probeOf(*g).marker);
                EXPECT_EQ(event.data[2], i);
            }
        }
        a.clearEvents();
        b.clearEvents();
        ASSERT_EQ(editsA.values.size(), static_cast<std::size_t>(block + 1));
        EXPECT_EQ(editsA.values.back(),
                  std::make_pair(1, static_cast<float>(playing.songPosition)));
        EXPECT_EQ(editsB.values.back(), std::make_pair(2, 0.0f));
    }
    EXPECT_EQ(editsA.gestures, (std::vector<std::int32_t>{1, ~1, 1, ~1, 1, ~1, 1, ~1}));
    EXPECT_EQ(editsB.values.size(), 4u);
    EXPECT_EQ(a.eventsLost() + b.eventsLost(), 0u);
}

TEST(Guest, MessagesBeyondTheCapacityAreCountedAndTheFirstKeptInOrder) {
    guest::Options options;
    options.eventCapacity = 4;
    guest::Guest g(options);
    std::string error;
    ASSERT_TRUE(g.create(Probe::entry, error)) << error;
    probeOf(g).toSend = 10;
    for (int block = 1; block <= 2; ++block) {
        g.process(inputs, outputs, 64);
        ASSERT_EQ(g.eventCount(), 4u);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(g.events()[i].data[2], i);
        EXPECT_EQ(g.eventsLost(), 6u * static_cast<unsigned>(block));
        g.clearEvents();
    }
    g.setEventCapacity(Probe::kMost);
    g.process(inputs, outputs, 64);
    EXPECT_EQ(g.eventCount(), 10u);
    EXPECT_EQ(g.eventsLost(), 12u);
}

// The plug-in itself behind two guests at different tempos, playing from one thread: each
// steps at its own tempo, and nothing on the way allocates.
TEST(Guest, BlocksThroughTheGuestAllocateNothingAndEachPlugInHearsItsOwnTempo) {
    guest::Guest fast, slow;
    std::string error;
    ASSERT_TRUE(fast.create(pluginMain, error)) << error;
    ASSERT_TRUE(slow.create(pluginMain, error)) << error;
    guest::Transport transport;
    transport.playing = transport.hasTempo = transport.hasSongPosition = true;
    for (guest::Guest* g : {&fast, &slow}) {
        g->open();
        g->setSampleRate(44100.0);
        g->setBlockSize(64);
        g->resume();
    }
    // The first message of each step, as absolute samples.
    std::vector<double> fastSteps, slowSteps;
    fastSteps.reserve(64);
    slowSteps.reserve(64);
    long counted = 0;
    {
        allocations::Scope scope;
        for (int block = 0; block < 4000; ++block) {
            transport.samplePosition = 64.0 * block;
            for (guest::Guest* g : {&fast, &slow}) {
                transport.tempo = g == &fast ? 120.0 : 60.0;
                transport.songPosition = transport.samplePosition / 44100.0 * transport.tempo / 60;
                g->setTransport(transport);
                g->process(inputs, outputs, 64);
                std::vector<double>& steps = g == &fast ? fastSteps : slowSteps;
                for (std::size_t i = 0; i < g->eventCount(); i += 16)
                    if (steps.size() < steps.capacity())
                        steps.push_back(transport.samplePosition + g->events()[i].deltaFrames);
                g->clearEvents();
            }
            // Half-way, external timing: the song position read from the time record.
            if (block == 2000)
                for (guest::Guest* g : {&fast, &slow})
                    g->setParameter(plugin::timingMode, 1.0f);
        }
        counted = allocations::count;
    }
    EXPECT_EQ(counted, 0);
    ASSERT_GE(fastSteps.size(), 2u);
    ASSERT_GE(slowSteps.size(), 2u);
    // The plug-in sends at the start of the block: each step is known to a block.
    EXPECT_NEAR(slowSteps[1] - slowSteps[0], 2.0 * (fastSteps[1] - fastSteps[0]), 3 * 64.0);
    EXPECT_GT(fastSteps.size(), slowSteps.size());
    EXPECT_EQ(fast.eventsLost() + slow.eventsLost(), 0u);
}
