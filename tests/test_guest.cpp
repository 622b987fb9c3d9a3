// The guest, the host of the record that every door shares: each guest answers from its own
// transport and keeps its own plug-in's messages, in a buffer that never grows, and a block
// played through it allocates nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "AllocationCounter.h"
#include "formats/guest/Guest.h"
#include "host/Morvo.h"
#include "host/VstEventList.h"
#include "sequencer/uParameters.h"

namespace {

// A plug-in of the test's own: while processing it asks what plug-ins ask, sends `toSend`
// messages {0xB0, marker, i} at offsets i and reports an automation of parameter `marker`.
struct Probe {
    AEffect record{};
    audioMasterCallback host = nullptr;
    VstIntPtr rateAtEntry = 0, rate = 0, block = 0, tempoAt = -1;
    VstTimeInfo time{};
    int marker = 0, toSend = 0;
    std::vector<VstMidiEvent> messages = std::vector<VstMidiEvent>(16);
    VstEventList list;
    std::vector<std::pair<std::int32_t, int>> received; // (deltaFrames, data byte 1) handed in

    VstIntPtr ask(std::int32_t opcode, std::int32_t index = 0, void* ptr = nullptr,
                  float opt = 0.0f) {
        return host(&record, opcode, index, 0, ptr, opt);
    }
    static AEffect* VSTCALLBACK entry(audioMasterCallback host) {
        auto* probe = new Probe;
        probe->host = host;
        probe->list.assign(probe->messages);
        probe->received.reserve(16); // handing events in allocates nothing on either side
        // Before the record exists: only the guest being created can answer.
        probe->rateAtEntry = host(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
        probe->record.magic = kEffectMagic;
        probe->record.dispatcher = dispatch;
        probe->record.processReplacing = processReplacing;
        probe->record.object = probe;
        return &probe->record;
    }
    static VstIntPtr VSTCALLBACK dispatch(AEffect* e, std::int32_t opcode, std::int32_t, VstIntPtr,
                                          void* ptr, float) {
        if (opcode == effProcessEvents) {
            const auto* list = static_cast<const VstEvents*>(ptr);
            for (std::int32_t i = 0; i < list->numEvents; ++i) {
                const auto* m = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
                static_cast<Probe*>(e->object)->received.push_back(
                    {m->type == kVstMidiType ? m->deltaFrames : -1,
                     static_cast<unsigned char>(m->midiData[1])});
            }
        }
        if (opcode == effClose) delete static_cast<Probe*>(e->object);
        return 0;
    }
    static void VSTCALLBACK processReplacing(AEffect* e, float**, float**, std::int32_t) {
        Probe& p = *static_cast<Probe*>(e->object);
        p.rate = p.ask(audioMasterGetSampleRate);
        p.block = p.ask(audioMasterGetBlockSize);
        p.tempoAt = p.ask(audioMasterTempoAt);
        p.time = *reinterpret_cast<const VstTimeInfo*>(p.ask(audioMasterGetTime, kVstPpqPosValid));
        for (int i = 0; i < p.toSend; ++i) {
            VstMidiEvent& m = p.messages[i];
            m.type = kVstMidiType;
            m.deltaFrames = i;
            m.midiData[0] = '\xB0';
            m.midiData[1] = static_cast<char>(p.marker);
            m.midiData[2] = static_cast<char>(i);
        }
        p.list.get()->numEvents = p.toSend;
        p.ask(audioMasterProcessEvents, 0, p.list.get());
        p.ask(audioMasterBeginEdit, p.marker);
        p.ask(audioMasterAutomate, p.marker, nullptr, static_cast<float>(p.time.ppqPos));
        p.ask(audioMasterEndEdit, p.marker);
    }
};

Probe& probeOf(const guest::Guest& guest) {
    return *static_cast<Probe*>(guest.effect()->object);
}

// Automation as (index, value) pairs, gestures as the index begun and its complement ended.
struct Edits : guest::Listener {
    std::vector<std::pair<std::int32_t, float>> values;
    std::vector<std::int32_t> gestures;
    void automated(std::int32_t index, float value) override { values.emplace_back(index, value); }
    void beganEdit(std::int32_t index) override { gestures.push_back(index); }
    void endedEdit(std::int32_t index) override { gestures.push_back(~index); }
};

// What the guest hands a door after each block, as (frame, message) kept in order.
struct Taken : guest::Sink {
    std::vector<std::pair<std::uint32_t, int>> messages = reserved();
    void take(std::uint32_t frame, const unsigned char data[3]) override {
        messages.emplace_back(frame, data[0] << 16 | data[1] << 8 | data[2]);
    }
    static std::vector<std::pair<std::uint32_t, int>> reserved() {
        std::vector<std::pair<std::uint32_t, int>> kept;
        kept.reserve(64); // taking messages allocates nothing on either side
        return kept;
    }
};

float silence[2][64], output[2][64];
float* inputs[2] = {silence[0], silence[1]};
float* outputs[2] = {output[0], output[1]};
const guest::Block kWhole{.inputs = inputs, .outputs = outputs, .frames = 64};

} // namespace

TEST(Guest, TwoGuestsInOneProcessAnswerFromTheirOwnTransportAndKeepTheirOwnMessages) {
    Edits editsA, editsB;
    guest::Guest a({.listener = &editsA}), b({.listener = &editsB});
    guest::Transport playing{.sampleRate = 48000.0,
                             .blockSize = 64,
                             .playing = true,
                             .hasTempo = true,
                             .hasSongPosition = true};
    // A host without tempo or position: what the transport holds is not valid.
    const guest::Transport none{
        .sampleRate = 22050.0, .blockSize = 32, .tempo = 140.0, .songPosition = 3.0};
    a.setTransport(playing);
    b.setTransport(none);
    Taken takenA, takenB;
    std::string error;
    ASSERT_TRUE(a.create(Probe::entry, error) && b.create(Probe::entry, error)) << error;
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
        takenA.messages.clear();
        takenB.messages.clear();
        a.run(playing, kWhole, takenA);
        // A piece 30 frames into a host block of 31: its messages stay inside the host's block.
        b.run(none, {inputs, outputs, 32, 30, 31}, takenB);

        const Probe &pa = probeOf(a), &pb = probeOf(b);
        EXPECT_EQ(pa.tempoAt, std::llround(playing.tempo * 10000.0));
        EXPECT_EQ(pa.time.flags, kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid);
        EXPECT_EQ(pa.time.ppqPos, playing.songPosition);
        EXPECT_EQ(pa.time.tempo, playing.tempo);
        EXPECT_EQ(pa.time.samplePos, playing.samplePosition);
        EXPECT_EQ(pa.rate * 1000 + pa.block, 48000064);
        EXPECT_EQ(pb.tempoAt, 0);
        EXPECT_EQ(pb.time.flags, 0);
        EXPECT_EQ(pb.time.tempo + pb.time.ppqPos, 0.0);
        EXPECT_EQ(pb.rate * 1000 + pb.block, 22050032);
        using Messages = std::vector<std::pair<std::uint32_t, int>>;
        EXPECT_EQ(takenA.messages, (Messages{{0, 0xB00100}, {1, 0xB00101}, {2, 0xB00102}}));
        EXPECT_EQ(takenB.messages, (Messages{{30, 0xB00200}, {30, 0xB00201}}));
        EXPECT_EQ(editsA.values.back(), std::make_pair(1, float(playing.songPosition)));
        EXPECT_EQ(editsB.values.back(), std::make_pair(2, 0.0f));
    }
    EXPECT_EQ(editsA.values.size() + editsB.values.size(), 8u);
    EXPECT_EQ(editsB.gestures, (std::vector<std::int32_t>{2, ~2, 2, ~2, 2, ~2, 2, ~2}));
    EXPECT_EQ(a.eventsLost() + b.eventsLost(), 0u);
}

TEST(Guest, MessagesBeyondTheCapacityAreCountedAndTheFirstKeptInOrder) {
    guest::Guest g({.eventCapacity = 4});
    std::string error;
    ASSERT_TRUE(g.create(Probe::entry, error)) << error;
    probeOf(g).toSend = 10;
    Taken taken;
    for (unsigned block = 1; block <= 2; ++block) {
        taken.messages.clear();
        g.run({}, kWhole, taken);
        ASSERT_EQ(taken.messages.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(taken.messages[i].second & 0xFF, i);
        EXPECT_EQ(g.eventsLost(), 6u * block);
    }
    g.setEventCapacity(16);
    taken.messages.clear();
    g.run({}, kWhole, taken);
    EXPECT_EQ(taken.messages.size(), 10u);
    EXPECT_EQ(g.eventsLost(), 12u);
}

// The plug-in itself behind the guest, in both timings: nothing on the way allocates.
TEST(Guest, BlocksThroughTheGuestAllocateNothing) {
    guest::Guest g;
    std::string error;
    ASSERT_TRUE(g.create(pluginMain, error)) << error;
    g.open();
    g.setSampleRate(44100.0);
    g.setBlockSize(64);
    g.resume();
    guest::Transport transport{.sampleRate = 44100.0,
                               .blockSize = 64,
                               .playing = true,
                               .hasTempo = true,
                               .tempo = 120.0,
                               .hasSongPosition = true};
    struct Counted : guest::Sink {
        std::size_t messages = 0;
        void take(std::uint32_t, const unsigned char*) override { ++messages; }
    } taken;
    long counted = 0;
    {
        allocations::Scope scope;
        for (int block = 0; block < 4000; ++block) {
            if (block == 2000) g.setParameter(plugin::timingMode, 1.0f); // external
            transport.samplePosition = 64.0 * block;
            transport.songPosition = transport.samplePosition / 22050.0;
            g.run(transport, kWhole, taken);
        }
        counted = allocations::count;
    }
    const std::size_t messages = taken.messages;
    EXPECT_EQ(counted, 0);
    EXPECT_GT(messages, 16u * 10); // it played, in both timings
    EXPECT_EQ(g.eventsLost(), 0u);
}

// A door's incoming messages reach the plug-in in one list per block, in order, at their
// frames; what finds no room is refused, and the next block starts empty.
TEST(Guest, QueuedMessagesArriveInOrderAndTheListNeverGrows) {
    guest::Guest g({.incomingCapacity = 3});
    std::string error;
    ASSERT_TRUE(g.create(Probe::entry, error)) << error;
    const unsigned char notes[4][3] = {
        {0x90, 12, 100}, {0x80, 12, 0}, {0x90, 13, 1}, {0x90, 14, 9}};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(g.queueEvent(10 * i, notes[i]), i < 3);
    Taken taken;
    g.run({}, kWhole, taken);
    g.run({}, kWhole, taken); // nothing queued: no call
    using Received = std::vector<std::pair<std::int32_t, int>>;
    EXPECT_EQ(probeOf(g).received, (Received{{0, 12}, {10, 12}, {20, 13}}));
    {
        allocations::Scope scope;
        EXPECT_TRUE(g.queueEvent(7, notes[3]));
        g.run({}, kWhole, taken);
        EXPECT_EQ(allocations::count, 0);
    }
    EXPECT_EQ(probeOf(g).received.back(), std::make_pair(7, 14));
}
