// Morvo.lv2 loaded through lilv as LV2 hosts load it: its ports and presets against the VST 2
// record, the Control Change stream of a song against the VST 2 library's through the guest
// (time:Position messages only at changes, as hosts send them), held-back output for small
// buffers, and malformed input that must leave the stream as it was.
#include <gtest/gtest.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "formats/guest/Guest.h"
#include "tests/AllocationCounter.h"
#include "tests/Vst2Reference.h"
#include "tests/lv2/LilvRig.h"

namespace {

using lv2_rig::Property;

constexpr const char* kUri = "https://halvark.com/plugins/ostrel";
constexpr std::uint32_t kParameters = 23, kFirstParameter = 7, kPorts = kFirstParameter + 23;
constexpr std::uint32_t kControl = 4, kNotify = 5, kLost = 6;
// Tempos and block chosen so each block moves the song by an exact binary fraction of a beat
// (1/64 at 90 bpm, 1/32 at 180): the door's arithmetic and this host's agree to the bit.
constexpr std::int32_t kBlock = 500;
constexpr std::uint32_t kLongestBlock = 1024; // what the door's audio buffers hold
constexpr double kRate = 48000.0;

lv2_rig::UriMap& uris() {
    static lv2_rig::UriMap map;
    return map;
}

const lv2_rig::Bundle& lilv() {
    static const lv2_rig::Bundle bundle(MORVO_LV2_BUNDLE, kUri);
    return bundle;
}

// The VST 2 library through the guest.
struct Vst2 : Vst2Reference {
    Vst2() : Vst2Reference({.eventCapacity = kBlock * 16, .incomingCapacity = 64}) {}
};

std::vector<std::uint8_t> forged(const std::vector<Property>& properties, LV2_URID otype = 0) {
    return lv2_rig::forged(uris(), properties, otype);
}

// A time:Position as our own hosts send it, every value but the frame a Float.
std::vector<std::uint8_t> position(const std::vector<std::pair<const char*, double>>& fields,
                                   LV2_URID otype = 0) {
    return lv2_rig::position(uris(), fields, LV2_ATOM__Float, otype);
}

struct Message {
    std::uint32_t block;
    unsigned char data[3];
    bool operator==(const Message& o) const {
        return block == o.block && std::memcmp(data, o.data, 3) == 0;
    }
    bool sameBytes(const Message& o) const { return std::memcmp(data, o.data, 3) == 0; }
};

// One instance of the plug-in with its ports' buffers, as a host keeps them; what it sent is
// kept, and what run() allocated is counted.
struct Door : lv2_rig::Instance {
    explicit Door(std::int32_t maxBlock = kBlock)
        : Instance(lilv(), uris(), kRate, maxBlock, kLongestBlock) {
        received.reserve(1 << 16);
    }
    void run(std::uint32_t block, std::uint32_t frames = kBlock) {
        {
            allocations::Scope scope;
            Instance::run(frames);
            allocated += allocations::count;
        }
        EXPECT_STREQ(read(frames,
                          [&](std::uint32_t, const std::uint8_t* data) {
                              received.push_back({block, {data[0], data[1], data[2]}});
                          }),
                     nullptr);
    }

    float* values = controls.data() + kFirstParameter; // the parameters' ports
    long allocated = 0;
    std::vector<Message> received;
};

// The song both sides play: a host model that sends time:Position only where the transport
// changes, what the door's guest should then answer, and the block's other input.
struct Song {
    double beat = 0.0, tempo = 90.0, frame = 0.0;
    bool playing = false, heard = false;
    static constexpr std::uint32_t kBlocks = 1000;

    // Fills the door's input for block b and does the same to the VST 2 side; returns the
    // transport the VST 2 side gets.
    guest::Transport block(std::uint32_t b, Door& door, guest::Guest& g) {
        door.in.clear();
        const auto send = [&](std::int64_t at) {
            const double bar = std::floor(beat / 4.0);
            const auto body = position({{LV2_TIME__frame, frame},
                                        {LV2_TIME__speed, playing ? 1.0 : 0.0},
                                        {LV2_TIME__beatsPerMinute, tempo},
                                        {LV2_TIME__beat, beat},
                                        {LV2_TIME__barBeat, beat - 4.0 * bar},
                                        {LV2_TIME__beatUnit, 4.0},
                                        {LV2_TIME__beatsPerBar, 4.0}});
            door.in.object(at, body);
            heard = true;
        };
        if (b == 50) playing = true;
        if (b == 400) tempo = 180.0;
        if (b == 550 || b == 600) playing = b == 600;
        if (b == 650) beat = 64.0, frame = 1.0e6; // relocated
        if (b == 50 || b == 400 || b == 550 || b == 600 || b == 650) send(0);
        guest::Transport now{.sampleRate = kRate, .blockSize = kBlock, .samplePosition = frame};
        if (heard)
            now = {kRate, kBlock, frame, playing, true,
                   tempo, true,   beat,  true,    4.0 * std::floor(beat / 4.0),
                   true};
        const double step = playing ? kBlock * tempo / (60.0 * kRate) : 0.0;
        // Relocated within the block: the rest of it plays from off the step grid (a 64th of a
        // beat past a step's middle), where a door that moved on by the whole block from there
        // would play the next step.
        if (b == 520) {
            door.in.midi(100, 0x90, 12, 100);
            beat = 32.0 + 5.0 / 128.0;
            frame = 5000.0;
            send(kBlock / 2);
            beat += step / 2;
            frame += kBlock / 2;
        } else {
            beat += step;
            frame += playing || !heard ? kBlock : 0;
        }
        const int key = b == 100 ? 12 : b == 250 ? 13 : b == 300 || b == 760 ? 14 : 0;
        if (key != 0) {
            const unsigned char on[3] = {0x90, static_cast<unsigned char>(key), 100};
            door.in.midi(77, on[0], on[1], on[2]);
            g.queueEvent(77, on);
        }
        if (b == 520) {
            const unsigned char on[3] = {0x90, 12, 100};
            g.queueEvent(100, on);
        }
        if (b == 820) { // a stop on channel 3
            door.in.midi(5, 0x92, 13, 64);
            const unsigned char off[3] = {0x92, 13, 64};
            g.queueEvent(5, off);
        }
        // 16 steps a beat, so that the song's time shows in its steps; CC Out; then external
        // timing, and internal again.
        const int port = b == 0 ? 16 : b == 200 ? 17 : b == 450 || b == 700 ? 21 : -1;
        if (b == 0) // each step a value of its own, so that each message names its step
            for (int i = 0; i < 16; ++i) {
                door.values[i] = static_cast<float>(i + 1) / 17.0f;
                g.setParameter(i, door.values[i]);
            }
        if (port >= 0) {
            const float value = port == 16 ? 0.16f : port == 17 ? 0.3f : b == 450 ? 1.0f : 0.0f;
            door.values[port] = value;
            g.setParameter(port, value);
        }
        return now;
    }
};

// Plays the song through a door (and, when given, through the VST 2 library); `fault`, when
// given, runs block 480 (where the song sends nothing) in its own way.
constexpr std::uint32_t kFaultBlock = 480;
std::vector<Message> play(Door& door, std::vector<Message>* vst2Stream,
                          const std::function<void(Door&)>& fault = {}) {
    Vst2 vst2;
    guest::Guest& g = vst2.hosted;
    g.setSampleRate(kRate);
    g.setBlockSize(kBlock);
    g.resume();
    Song song;
    float* in[2] = {door.audio.data(), door.audio.data() + kLongestBlock};
    float* out[2] = {door.audio.data() + 2 * kLongestBlock, door.audio.data() + 3 * kLongestBlock};
    for (std::uint32_t b = 0; b < Song::kBlocks; ++b) {
        const guest::Transport now = song.block(b, door, g);
        if (fault && b == kFaultBlock)
            fault(door);
        else
            door.run(b);
        struct Stream : guest::Sink {
            std::vector<Message>* kept;
            std::uint32_t block;
            Stream(std::vector<Message>* to, std::uint32_t b) : kept(to), block(b) {}
            void take(std::uint32_t, const unsigned char data[3]) override {
                if (kept == nullptr) return;
                kept->push_back({block, {}});
                std::memcpy(kept->back().data, data, 3);
            }
        } stream(vst2Stream, b);
        g.run(now, {in, out, kBlock}, stream);
    }
    return door.received;
}

} // namespace

TEST(Lv2Door, PortsAreTheRecordsParameters) {
    ASSERT_NE(lilv().plugin, nullptr) << MORVO_LV2_BUNDLE;
    const LilvPlugin* p = lilv().plugin;
    ASSERT_EQ(lilv_plugin_get_num_ports(p), kPorts);
    Vst2 vst2;
    LilvNode* notAutomatic = lilv().node(LV2_PORT_PROPS__notAutomatic);
    LilvNode* input = lilv().node(LILV_URI_INPUT_PORT);
    LilvNode* controlPort = lilv().node(LILV_URI_CONTROL_PORT);
    LilvNode* position = lilv().node(LV2_TIME__Position);
    LilvNode* midi = lilv().node(LV2_MIDI__MidiEvent);
    const LilvPort* events = lilv_plugin_get_port_by_index(p, kControl);
    EXPECT_TRUE(lilv_port_supports_event(p, events, position));
    EXPECT_TRUE(lilv_port_supports_event(p, events, midi));
    EXPECT_TRUE(lilv_port_supports_event(p, lilv_plugin_get_port_by_index(p, kNotify), midi));
    int unautomatable = 0;
    for (std::uint32_t i = 0; i < kParameters; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(p, kFirstParameter + i);
        const std::string name = vst2.hosted.parameterName(static_cast<std::int32_t>(i));
        LilvNode* portName = lilv_port_get_name(p, port);
        EXPECT_EQ(lilv_node_as_string(portName), name);
        lilv_node_free(portName);
        EXPECT_TRUE(lilv_port_is_a(p, port, input) && lilv_port_is_a(p, port, controlPort));
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(p, port, &def, &min, &max);
        ASSERT_TRUE(def && min && max) << name;
        EXPECT_EQ(lilv_node_as_float(def), vst2.hosted.parameter(static_cast<std::int32_t>(i)));
        EXPECT_EQ(lilv_node_as_float(min), 0.0f);
        EXPECT_EQ(lilv_node_as_float(max), 1.0f);
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
        const bool automatable = !lilv_port_has_property(p, port, notAutomatic);
        EXPECT_EQ(automatable, name.find("-Do not automate") == std::string::npos) << name;
        unautomatable += !automatable;
    }
    EXPECT_EQ(unautomatable, 2);
    for (LilvNode* n : {notAutomatic, input, controlPort, position, midi})
        lilv_node_free(n);
}

// Each preset is the program of its number: its label and every value.
TEST(Lv2Door, PresetsAreThePrograms) {
    ASSERT_NE(lilv().plugin, nullptr);
    LilvNode* presetClass = lilv().node(LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(lilv().plugin, presetClass);
    Vst2 vst2;
    guest::Guest& g = vst2.hosted;
    ASSERT_EQ(lilv_nodes_size(presets), static_cast<unsigned>(g.effect()->numPrograms));
    ASSERT_EQ(lilv_nodes_size(presets), 16u);
    std::map<std::string, std::uint32_t> indexOf;
    for (std::uint32_t i = 0; i < kParameters; ++i)
        indexOf[lilv_node_as_string(lilv_port_get_symbol(
            lilv().plugin, lilv_plugin_get_port_by_index(lilv().plugin, kFirstParameter + i)))] = i;
    std::vector<bool> seen(16, false);
    LILV_FOREACH(nodes, it, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, it);
        lilv_world_load_resource(lilv().world, preset);
        const std::string uri = lilv_node_as_uri(preset);
        const int program = std::stoi(uri.substr(uri.find("#program") + 8)) - 1;
        ASSERT_TRUE(program >= 0 && program < 16 && !seen[program]) << uri;
        seen[program] = true;
        LilvState* state = lilv_state_new_from_world(lilv().world, &uris().map, preset);
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(lilv_state_get_label(state), g.programName(program));
        g.setProgram(program);
        struct Check {
            guest::Guest* g;
            std::map<std::string, std::uint32_t>* indexOf;
            int count = 0;
        } check{&g, &indexOf};
        lilv_state_emit_port_values(
            state,
            [](const char* symbol, void* data, const void* value, std::uint32_t size,
               std::uint32_t) {
                auto& c = *static_cast<Check*>(data);
                ASSERT_EQ(size, sizeof(float));
                ASSERT_EQ(c.indexOf->count(symbol), 1u) << symbol;
                const auto index = static_cast<std::int32_t>(c.indexOf->at(symbol));
                EXPECT_EQ(*static_cast<const float*>(value), c.g->parameter(index)) << symbol;
                ++c.count;
            },
            &check);
        EXPECT_EQ(check.count, static_cast<int>(kParameters));
        lilv_state_free(state);
    }
    lilv_nodes_free(presets);
    lilv_node_free(presetClass);
}

// The song through the door and through the VST 2 library: the same messages in the same
// blocks, and nothing allocated in run().
TEST(Lv2Door, TheStreamIsTheVst2LibrarysWithTheSameTransport) {
    Door door;
    ASSERT_NE(door.instance, nullptr);
    std::vector<Message> vst2Stream;
    vst2Stream.reserve(1 << 16);
    const std::vector<Message> lv2Stream = play(door, &vst2Stream);
    EXPECT_EQ(door.allocated, 0);
    EXPECT_EQ(door.controls[kLost], 0.0f);
    ASSERT_EQ(lv2Stream.size(), vst2Stream.size());
    EXPECT_GT(lv2Stream.size(), 200u); // it played
    for (std::size_t i = 0; i < lv2Stream.size(); ++i)
        ASSERT_TRUE(lv2Stream[i] == vst2Stream[i])
            << "message " << i << ", block " << lv2Stream[i].block;
    auto sentIn = [&](std::uint32_t from, std::uint32_t to) {
        std::size_t n = 0;
        for (const Message& m : lv2Stream)
            n += m.block >= from && m.block < to;
        return n;
    };
    // Something in each part: before and after the tempo change, in external timing, and
    // after the relocation.
    EXPECT_GT(sentIn(100, 250) * sentIn(400, 450) * sentIn(450, 550) * sentIn(650, 700), 0u);
}

// The allocation counter sees what the loaded library allocates: a guard for the test above.
TEST(Lv2Door, TheAllocationCounterSeesTheLibrarysAllocations) {
    allocations::Scope scope;
    { Door other; }
    EXPECT_GT(allocations::count, 0);
}

// The audio passes through the host's buffers as they are, in place or not, in pieces of a
// block longer than the longest the host promised; an input left unconnected is silence.
TEST(Lv2Door, AudioPassesThroughInPlaceOrNot) {
    Door door(kBlock / 2);
    ASSERT_NE(door.instance, nullptr);
    float* const in = door.audio.data();
    float* const out = in + 2 * kLongestBlock;
    auto ramp = [](float* to, float from) {
        for (std::uint32_t i = 0; i < kLongestBlock; ++i)
            to[i] = from + static_cast<float>(i);
    };
    auto expectRamp = [](const float* at, float from, const char* how) {
        for (std::uint32_t i = 0; i < kBlock; ++i)
            ASSERT_EQ(at[i], from + static_cast<float>(i)) << how << ", frame " << i;
    };
    ramp(in, 1.0f);
    ramp(in + kLongestBlock, -5000.0f);
    door.run(0);
    expectRamp(out, 1.0f, "left");
    expectRamp(out + kLongestBlock, -5000.0f, "right");
    door.connect(2, in); // in place
    door.connect(3, in + kLongestBlock);
    ramp(in, 7.0f);
    door.run(1);
    expectRamp(in, 7.0f, "left in place");
    expectRamp(in + kLongestBlock, -5000.0f, "right in place");
    door.connect();
    door.connect(0, nullptr);
    door.run(2);
    EXPECT_TRUE(std::all_of(out, out + kBlock, [](float v) { return v == 0.0f; }));
    expectRamp(out + kLongestBlock, -5000.0f, "right beside an unconnected left");
    EXPECT_EQ(door.allocated, 0);
}

namespace {

// The song the hosts below play: 120 bpm in 4/4 at 48 kHz (24000 frames a beat); stopped at the
// start, then playing from it, relocated while playing to beat 2 and to the middle of beat 5,
// and stopped. In blocks of 1024 frames, and of 960 and 600, whose starts fall on every beat.
constexpr std::uint32_t kEnd = 290;
constexpr std::int64_t kFramesPerStep = 6000; // at 4 steps a beat
constexpr const char *kLong = LV2_ATOM__Long, *kInt = LV2_ATOM__Int, *kFloat = LV2_ATOM__Float,
                     *kDouble = LV2_ATOM__Double;

struct Moment {
    std::int64_t frame; // the block's first
    bool rolling;
};

Moment moment(std::uint32_t block, std::int64_t blockSize) {
    // From each block on: the frame the transport moves to (-1: where it got to), and whether
    // it rolls.
    constexpr std::tuple<std::uint32_t, std::int64_t, bool> kChanges[] = {
        {0, 0, false}, {4, -1, true}, {164, 48000, true}, {224, 132000, true}, {284, -1, false}};
    Moment now{0, false};
    std::uint32_t since = 0;
    for (const auto& [from, frame, rolling] : kChanges) {
        if (from > block) break;
        now = {frame >= 0 ? frame : now.frame + (now.rolling ? (from - since) * blockSize : 0),
               rolling};
        since = from;
    }
    return {now.frame + (now.rolling ? (block - since) * blockSize : 0), now.rolling};
}

// A host as its source sends time:Position: the object's atom type and, at a block's first
// frame, the properties in the host's order (none when it sends nothing then).
struct Host {
    const char* name;
    const char* type;
    std::function<std::vector<Property>(const Moment&)> at;
};

// The bar and the beat within it (from 0) and the tick of a frame, the ticks rounded down.
struct Bbt {
    std::int64_t bar, beat, tick;
};
Bbt bbt(std::int64_t frame, std::int64_t ticksPerBeat) {
    const std::int64_t ticks = frame * ticksPerBeat / 24000;
    return {ticks / (4 * ticksPerBeat), ticks / ticksPerBeat % 4, ticks % ticksPerBeat};
}

std::vector<Host> hosts(std::int64_t blockSize) {
    // The signature and tempo every host sends after the properties given.
    const auto sent = [](bool sends, std::vector<Property> properties) {
        if (!sends) return std::vector<Property>();
        properties.insert(properties.end(), {{LV2_TIME__beatUnit, kInt, 4.0},
                                             {LV2_TIME__beatsPerBar, kFloat, 4.0},
                                             {LV2_TIME__beatsPerMinute, kFloat, 120.0}});
        return properties;
    };
    // Ardour's and jalv's: no time:beat, the bar and the beat within it at 1920 ticks a beat,
    // the fraction worked out in the type each host works it out in.
    const auto barAndBeat = [=](bool sends, const Moment& now, auto ticksPerBeat) {
        const Bbt at = bbt(now.frame, 1920);
        return sent(sends, {{LV2_TIME__frame, kLong, double(now.frame)},
                            {LV2_TIME__speed, kFloat, double(now.rolling)},
                            {LV2_TIME__barBeat, kFloat, at.beat + at.tick / ticksPerBeat},
                            {LV2_TIME__bar, kLong, double(at.bar)}});
    };
    return {
        // Ardour 7 (lv2_plugin.cc, write_position): at every block while rolling and where the
        // speed changes, its tempo map's bar and beat, the fraction a float.
        {"Ardour", LV2_ATOM__Object,
         [=, last = std::optional<Moment>()](const Moment& now) mutable {
             const bool sends = !last || now.rolling || now.rolling != last->rolling;
             last = now;
             return barAndBeat(sends, now, 1920.0f);
         }},
        // jalv 1.6 (jalv.c): where the rolling state or the frame differs from where the last
        // block left it (and at the first, for the tempo), the BBT of the JACK timebase master,
        // worked out from the frame.
        {"jalv", LV2_ATOM__Object,
         [=, next = std::optional<Moment>()](const Moment& now) mutable {
             const bool sends = !next || now.rolling != next->rolling || now.frame != next->frame;
             next = Moment{now.frame + (now.rolling ? blockSize : 0), now.rolling};
             return barAndBeat(sends, now, 1920.0);
         }},
        // Carla 2.6 (CarlaPluginLV2.cpp; its transport in CarlaEngineInternal.cpp): an
        // atom:Blank at every block whose time changed; the bar, beat and tick worked out from the
        // frame where the transport starts or moves, then carried on in ticks (a double, 1920 a
        // beat); time:beat the whole beat within the bar, from 0.
        {"Carla", LV2_ATOM__Blank,
         [=, last = std::optional<Moment>(), bar = 0.0, beat = 0.0,
          tick = 0.0](const Moment& now) mutable {
             if (!last || now.rolling != last->rolling ||
                 now.frame != last->frame + (last->rolling ? blockSize : 0)) {
                 const double beats = now.frame / (kRate * 60.0) * 120.0;
                 bar = std::floor(beats / 4.0);
                 beat = std::floor(std::fmod(beats, 4.0));
                 tick = beats * 1920.0 - (bar * 4.0 + beat) * 1920.0;
             } else if (now.rolling) {
                 tick += static_cast<double>(blockSize * 1920.0f) * 120.0 / (kRate * 60.0);
                 for (; tick >= 1920.0; tick -= 1920.0)
                     if (++beat == 4.0) beat = 0.0, ++bar;
             }
             const bool sends = !last || now.frame != last->frame || now.rolling != last->rolling;
             last = now;
             std::vector<Property> properties =
                 sent(sends, {{LV2_TIME__speed, kFloat, double(now.rolling)},
                              {LV2_TIME__frame, kLong, double(now.frame)},
                              {LV2_TIME__bar, kLong, bar},
                              {LV2_TIME__barBeat, kFloat, beat + tick / 1920.0},
                              {LV2_TIME__beat, kDouble, beat}});
             if (sends)
                 properties.push_back(
                     {"http://kxstudio.sf.net/ns/lv2ext/props#TimePositionTicksPerBeat", kDouble,
                      1920.0});
             return properties;
         }},
        // Qtractor 0.9.31 (qtractorLv2Plugin.cpp, updateTime; its values from
        // qtractorAudioEngine.cpp, updateTimeInfo): in the block where the speed, the bar or the
        // whole beat changes, from ticks at 960 a beat rounded from a float; time:beat the whole
        // beat within the bar, from 1; time:barBeat the whole running beat at the bar's start;
        // the frame through a float.
        {"Qtractor", LV2_ATOM__Object,
         [=, last = std::array<float, 3>{-1.0f, -1.0f, -1.0f}](const Moment& now) mutable {
             const auto ticks = static_cast<std::uint64_t>(
                 115200.0f * static_cast<float>(now.frame) / 2880000.0f + 0.5f);
             const float beats = static_cast<float>(ticks) / 960.0f;
             const unsigned bars = static_cast<unsigned short>(beats) / 4u;
             const unsigned beat = static_cast<unsigned>(beats) - bars * 4u;
             const std::array<float, 3> told{now.rolling ? 1.0f : 0.0f, bars + 1.0f, beat + 1.0f};
             const bool sends = told != last;
             last = told;
             return sent(sends, {{LV2_TIME__frame, kLong, static_cast<float>(now.frame)},
                                 {LV2_TIME__speed, kFloat, told[0]},
                                 {LV2_TIME__bar, kLong, told[1] - 1.0},
                                 {LV2_TIME__beat, kDouble, told[2]},
                                 {LV2_TIME__barBeat, kFloat, std::trunc(beats) - beat}});
         }},
    };
}

} // namespace

// Each host's positions, as its source sends them, play the song at 4 steps a beat: each step in
// the block it begins in (one on a block's first frame there), none early or late, none repeated
// or skipped, from the start and after relocations to beat 2 and into beat 5.
TEST(Lv2Door, EachHostsPositionsPlayTheSongStepByStep) {
    const auto followTheSong = [](Door& door) {
        for (int i = 0; i < 16; ++i)
            door.values[i] = static_cast<float>(i + 1) / 127.0f; // the step's number as its value
        door.values[16] = 0.04f;                                 // 4 steps a beat
        door.values[21] = 1.0f;                                  // the host's song position
    };
    // The steps sent (the value of channel 1's message) and their blocks.
    const auto steps = [](const Door& door) {
        std::vector<std::pair<std::uint32_t, int>> sent;
        for (const Message& m : door.received)
            if (m.data[0] == 0xB0) sent.emplace_back(m.block, m.data[2]);
        return sent;
    };
    const auto send = [](Door& door, const char* type, const std::vector<Property>& properties) {
        door.in.event(0, uris()(type), forged(properties));
    };
    for (const std::uint32_t blockSize : {1024u, 960u, 600u}) {
        std::vector<std::pair<std::uint32_t, int>> expected;
        for (std::uint32_t b = 0; b < kEnd; ++b) {
            const int step = static_cast<int>(moment(b, blockSize).frame / kFramesPerStep % 16) + 1;
            if (expected.empty() || expected.back().second != step) expected.emplace_back(b, step);
        }
        for (const Host& host : hosts(blockSize)) {
            Door door(kLongestBlock);
            ASSERT_NE(door.instance, nullptr);
            followTheSong(door);
            for (std::uint32_t b = 0; b < kEnd; ++b) {
                door.in.clear();
                const std::vector<Property> position = host.at(moment(b, blockSize));
                if (!position.empty()) send(door, host.type, position);
                door.run(b, blockSize);
            }
            EXPECT_EQ(steps(door), expected) << host.name << " in blocks of " << blockSize;
        }
    }
    // Our own hosts' running time:beat, beside the bar, on a whole beat; the position counts its
    // signature's beats (6/8's bar 1 starts at quarter note 3); a position with only time:barBeat
    // counts from the bar the last one named. A whole beat as Qtractor names it leaves a song
    // that is in it where it is, and puts one that is not on its start. (0: no step.)
    Door door(kLongestBlock);
    followTheSong(door);
    const auto qtractor = [](double beat) -> std::vector<Property> {
        return {{LV2_TIME__bar, kLong, 0.0},
                {LV2_TIME__beat, kDouble, beat},
                {LV2_TIME__barBeat, kFloat, 0.0}};
    };
    const std::pair<std::vector<Property>, int> told[] = {
        {{{LV2_TIME__beat, kDouble, 2.0},
          {LV2_TIME__bar, kLong, 0.0},
          {LV2_TIME__barBeat, kFloat, 2.0}},
         9},
        {{{LV2_TIME__bar, kLong, 1.0},
          {LV2_TIME__barBeat, kFloat, 0.25},
          {LV2_TIME__beatsPerBar, kFloat, 6.0},
          {LV2_TIME__beatUnit, kInt, 8.0}},
         13},                                     // quarter note 3.125
        {{{LV2_TIME__barBeat, kFloat, 3.25}}, 3}, // 4.625: step 19, the next round's 3rd
        {{{LV2_TIME__bar, kLong, 0.0},
          {LV2_TIME__barBeat, kFloat, 2.5},
          {LV2_TIME__beatsPerBar, kFloat, 4.0},
          {LV2_TIME__beatUnit, kInt, 4.0}},
         11},
        {qtractor(3.0), 0},  // beat 2, which 2.5 is in
        {qtractor(4.0), 13}, // beat 3
        {qtractor(3.0), 9}};
    for (std::uint32_t b = 0; b < std::size(told); ++b) {
        door.in.clear();
        send(door, LV2_ATOM__Object, told[b].first);
        door.run(b);
        ASSERT_FALSE(steps(door).empty());
        if (told[b].second == 0)
            EXPECT_NE(steps(door).back().first, b);
        else
            EXPECT_EQ(steps(door).back(), std::make_pair(b, told[b].second));
    }
}

// MIDI acts at its frame however the door takes the block: in a later piece of a block longer
// than the host's maxBlockLength as in a whole one, and on the block's last frame when the host
// stamps it past the end.
TEST(Lv2Door, MidiActsAtItsFrameInEveryPieceAndAtTheBlocksEnd) {
    // Internal timing at 16 steps a beat and 359 bpm: 501 samples a step, so that a start a
    // sample later sends its second step a block later.
    const auto play = [](std::int32_t maxBlock, std::int64_t startAt) {
        Door door(maxBlock);
        door.values[16] = 0.16f;
        door.values[22] = 1.0f; // stopped until the start note
        const std::vector<std::uint8_t> tempo = position({{LV2_TIME__beatsPerMinute, 359.0}});
        for (std::uint32_t b = 0; b < 8; ++b) {
            door.in.clear();
            if (b == 0) door.in.object(0, tempo);
            if (b == 1) door.in.midi(startAt, 0x90, 12, 100);
            door.run(b);
        }
        EXPECT_GT(door.received.size(), 16u); // more than one step
        return door.received;
    };
    EXPECT_EQ(play(200, 377), play(kBlock, 377));
    EXPECT_EQ(play(kBlock, 5000), play(kBlock, kBlock - 1));
}

// Malformed or hostile input in one block: no crash, nothing read out of bounds (the sanitizer
// build watches), and the plug-in keeps its state: the stream is the song's without it.
TEST(Lv2Door, BadInputLeavesTheStreamAsItWas) {
    Door clean;
    const std::vector<Message> expected = play(clean, nullptr);
    ASSERT_GT(expected.size(), 200u);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<std::pair<const char*, std::function<void(Door&)>>> faults = {
        {"the event port not connected",
         [](Door& d) {
             d.connect(kControl, nullptr);
             d.run(kFaultBlock);
             d.connect();
         }},
        {"the audio ports not connected",
         [](Door& d) {
             for (std::uint32_t c = 0; c < 4; ++c)
                 d.connect(c, nullptr);
             d.run(kFaultBlock);
             d.connect();
         }},
        {"a block of no frames first",
         [](Door& d) {
             d.in.midi(0, 0x90, 13, 100);
             d.run(kFaultBlock, 0);
             d.in.clear();
             d.run(kFaultBlock);
         }},
        {"control values that are not numbers",
         [nan](Door& d) {
             const float kept[2] = {d.values[0], d.values[17]};
             d.values[0] = nan;
             d.values[17] = -nan;
             d.run(kFaultBlock);
             d.values[0] = kept[0];
             d.values[17] = kept[1];
         }},
        {"a sequence of another type",
         [](Door& d) {
             d.in.midi(0, 0x90, 13, 100);
             d.in.atom()->atom.type = uris()(LV2_ATOM__Chunk);
             d.run(kFaultBlock);
         }},
        {"a sequence shorter than its header",
         [](Door& d) {
             d.in.atom()->atom.size = 4;
             d.run(kFaultBlock);
         }},
        {"an event reaching past the sequence",
         [](Door& d) {
             d.in.object(0, position({{LV2_TIME__beatsPerMinute, 30.0}}));
             // The sequence ends inside the event, before its property: a door that read on
             // would play at 30 bpm.
             d.in.atom()->atom.size -= 24;
             d.run(kFaultBlock);
         }},
        {"MIDI that is empty, too long or without a status byte",
         [](Door& d) {
             const unsigned char longer[5] = {0x90, 13, 100, 0, 0};
             d.in.event(0, uris()(LV2_MIDI__MidiEvent), longer, 0);
             d.in.event(0, uris()(LV2_MIDI__MidiEvent), longer, 5);
             d.in.midi(0, 0x0D, 13, 100);
             d.run(kFaultBlock);
         }},
        {"events of unknown types",
         [](Door& d) {
             const unsigned char stop[3] = {0x90, 13, 100};
             d.in.event(0, uris()(LV2_ATOM__Chunk), stop, 3);
             d.in.event(0, uris()("urn:morvo:unknown"), stop, 3);
             d.run(kFaultBlock);
         }},
        {"an object of another type",
         [](Door& d) {
             d.in.object(0, position({{LV2_TIME__beatsPerMinute, 30.0}, {LV2_TIME__beat, 7.0}},
                                     uris()("urn:morvo:other")));
             d.run(kFaultBlock);
         }},
        {"a position whose values are not numbers or out of range",
         [nan, inf](Door& d) {
             d.in.object(0, position({{LV2_TIME__beatsPerMinute, nan},
                                      {LV2_TIME__beatsPerMinute, 1.0e30},
                                      {LV2_TIME__beatsPerMinute, -120.0},
                                      {LV2_TIME__beat, inf},
                                      {LV2_TIME__beat, 1.0e30},
                                      {LV2_TIME__bar, -inf},
                                      {LV2_TIME__barBeat, nan},
                                      {LV2_TIME__speed, nan},
                                      {LV2_TIME__beatUnit, -4.0},
                                      {LV2_TIME__beatsPerBar, 0.0},
                                      {LV2_TIME__frame, -5.0}}));
             d.run(kFaultBlock);
         }},
        {"a position cut short inside a value",
         [](Door& d) {
             auto body = position({{LV2_TIME__beatsPerMinute, 30.0}});
             // The value claims more bytes than the object holds.
             reinterpret_cast<LV2_Atom_Property_Body*>(body.data() + sizeof(LV2_Atom_Object_Body))
                 ->value.size = 64;
             d.in.object(0, body);
             d.run(kFaultBlock);
         }},
        {"a position with values of no number type",
         [](Door& d) {
             auto body = position({{LV2_TIME__beatsPerMinute, 30.0}});
             reinterpret_cast<LV2_Atom_Property_Body*>(body.data() + sizeof(LV2_Atom_Object_Body))
                 ->value.type = uris()(LV2_ATOM__String);
             d.in.object(0, body);
             d.run(kFaultBlock);
         }},
    };
    for (const auto& [name, fault] : faults) {
        Door door;
        ASSERT_NE(door.instance, nullptr);
        const std::vector<Message> got = play(door, nullptr, fault);
        EXPECT_EQ(got, expected) << name;
        EXPECT_EQ(door.allocated, 0) << name;
    }
}

// A host whose output buffer is too small gets every message, in order, in the blocks after.
TEST(Lv2Door, OutputThatFindsNoRoomWaitsForTheNextBlocks) {
    Door clean;
    const std::vector<Message> expected = play(clean, nullptr);
    Door tight;
    tight.capacity = sizeof(LV2_Atom_Sequence_Body) + 5 * 24; // five messages
    std::size_t waiting = 0;
    const std::vector<Message> late = play(tight, nullptr, [&](Door& d) {
        // A block of no frames has no frame to send at: what waits, waits for the next block.
        const std::size_t before = d.received.size();
        d.run(kFaultBlock, 0);
        EXPECT_EQ(d.received.size(), before);
        d.run(kFaultBlock);
        waiting = d.received.size() - before;
    });
    EXPECT_GT(waiting, 0u); // the block of no frames had messages waiting
    ASSERT_LE(late.size(), expected.size());
    ASSERT_GE(late.size() + 16, expected.size()); // at most the last step still waits
    for (std::size_t i = 0; i < late.size(); ++i) {
        ASSERT_TRUE(late[i].sameBytes(expected[i])) << "message " << i;
        ASSERT_GE(late[i].block, expected[i].block) << "message " << i;
    }
    EXPECT_GT(late.back().block, expected.back().block - 20);
    EXPECT_EQ(tight.controls[kLost], 0.0f);
}

// A host that gives no room for long: the door holds what it can, counts the rest as lost on
// its port, and sends what it held, in order, once there is room.
TEST(Lv2Door, WhatCannotWaitIsCountedAsLost) {
    const auto play = [](Door& d, bool starve) {
        d.values[16] = 0.32f; // 1/32: 32 steps a beat, 16 messages each
        d.values[22] = 0.0f;  // Start/Stop below 0.5 plays
        for (std::uint32_t b = 0; b < 1000; ++b) {
            d.in.clear();
            if (b == 0)
                d.in.object(0,
                            position({{LV2_TIME__speed, 1.0}, {LV2_TIME__beatsPerMinute, 90.0}}));
            if (b == 900) d.values[22] = 1.0f; // stopped: nothing more to send
            d.capacity = starve && b < 950 ? 0 : Door::kAtomBytes - 8;
            d.run(b);
        }
    };
    Door clean, starved;
    play(clean, false);
    play(starved, true);
    constexpr std::size_t kHeld = 4096; // what the door holds back
    ASSERT_GT(clean.received.size(), kHeld + 100);
    ASSERT_EQ(starved.received.size(), kHeld);
    for (std::size_t i = 0; i < kHeld; ++i)
        ASSERT_TRUE(starved.received[i].sameBytes(clean.received[i])) << "message " << i;
    EXPECT_EQ(starved.controls[kLost], static_cast<float>(clean.received.size() - kHeld));
    EXPECT_EQ(clean.controls[kLost], 0.0f);
}

#if defined(MORVO_LV2_X11)
// The UI in a real X11 window of the host's, on a virtual display: what it needs from the host,
// its place and size, its idle calls, and a click in it reaching the host as a port write.
#include <X11/Xlib.h>

#include "tests/x11/XTree.h"
#include <X11/extensions/XTest.h>
#include <dlfcn.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>
#include <unistd.h>

namespace {

// What the UI asks of the host: port writes and a size.
struct UiHost {
    std::vector<std::pair<std::uint32_t, float>> writes;
    int width = 0, height = 0;
    LV2UI_Resize resize{this, [](LV2UI_Feature_Handle h, int w, int ht) {
                            static_cast<UiHost*>(h)->width = w;
                            static_cast<UiHost*>(h)->height = ht;
                            return 0;
                        }};
    static void write(LV2UI_Controller c, std::uint32_t port, std::uint32_t size,
                      std::uint32_t format, const void* buffer) {
        ASSERT_EQ(size, sizeof(float));
        ASSERT_EQ(format, 0u);
        static_cast<UiHost*>(c)->writes.emplace_back(port, *static_cast<const float*>(buffer));
    }
};

} // namespace

TEST(Lv2Door, EditorOpensInTheHostsWindowAndItsEditsBecomePortWrites) {
    Display* const display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "needs a display (run through tests/x11/with_xvfb.sh)";
    void* library = dlopen(MORVO_LV2_BUNDLE "/Morvo_lv2.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto descriptorOf = reinterpret_cast<const LV2UI_Descriptor* (*)(std::uint32_t)>(
        dlsym(library, "lv2ui_descriptor"));
    ASSERT_NE(descriptorOf, nullptr);
    const LV2UI_Descriptor* ui = descriptorOf(0);
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(descriptorOf(1), nullptr);
    EXPECT_STREQ(ui->URI, "https://halvark.com/plugins/ostrel#ui");
    const auto* idle =
        static_cast<const LV2UI_Idle_Interface*>(ui->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    Door door;
    ASSERT_NE(door.instance, nullptr);
    const Window parent =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 400, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    UiHost host;
    LV2_Feature access{LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(door.instance)};
    LV2_Feature parentFeature{LV2_UI__parent,
                              reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))};
    LV2_Feature resize{LV2_UI__resize, &host.resize};
    LV2_Feature map{LV2_URID__map, &uris().map};
    const LV2_Feature* noAccess[] = {&parentFeature, &resize, &map, nullptr};
    const LV2_Feature* noParent[] = {&access, &resize, &map, nullptr};
    const LV2_Feature* all[] = {&access, &parentFeature, &resize, &map, nullptr};
    LV2UI_Widget widget = nullptr;
    // Without what it needs the UI refuses, and the host shows its own controls.
    EXPECT_EQ(
        ui->instantiate(ui, kUri, MORVO_LV2_BUNDLE "/", UiHost::write, &host, &widget, noAccess),
        nullptr);
    EXPECT_EQ(
        ui->instantiate(ui, kUri, MORVO_LV2_BUNDLE "/", UiHost::write, &host, &widget, noParent),
        nullptr);
    EXPECT_TRUE(childrenOf(display, parent).empty());
    LV2UI_Handle handle =
        ui->instantiate(ui, kUri, MORVO_LV2_BUNDLE "/", UiHost::write, &host, &widget, all);
    ASSERT_NE(handle, nullptr);
    const auto idleFor = [&](int milliseconds) {
        XSync(display, False);
        for (int t = 0; t < milliseconds; t += 5) {
            EXPECT_EQ(idle->idle(handle), 0);
            usleep(5000);
        }
    };
    idleFor(200);
    EXPECT_EQ(host.width, 626);
    EXPECT_EQ(host.height, 280);
    const std::vector<Window> editor = childrenOf(display, parent);
    ASSERT_EQ(editor.size(), 1u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(widget), editor[0]);
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, editor[0], &attributes), 0);
    EXPECT_EQ(attributes.width, 626);
    EXPECT_EQ(attributes.height, 280);
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_TRUE(host.writes.empty());

    // A click on the first step slider's arrow, towards the middle.
    const float before = door.values[0];
    clickFirstStepArrow(display, editor[0], before, idleFor);
    ASSERT_EQ(host.writes.size(), 1u); // the latest value, once
    EXPECT_EQ(host.writes[0].first, kFirstParameter);
    const float after = host.writes[0].second;
    EXPECT_GT(std::abs(after - before), 0.0f); // at most a step, onto the slider's positions
    EXPECT_LE(std::abs(after - before), 1.0f / 127.0f + 1e-6f);
    // The host's port takes it; a block later the plug-in still holds it, and nothing more is
    // written back.
    door.values[0] = after;
    door.run(0);
    idleFor(20);
    EXPECT_EQ(host.writes.size(), 1u);

    ui->cleanup(handle);
    XSync(display, False);
    EXPECT_TRUE(childrenOf(display, parent).empty());
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
    releaseDrawingCaches();
}
#endif
