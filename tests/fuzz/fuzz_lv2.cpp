// The LV2 door's libFuzzer harness: instances made through lv2_descriptor in this process and
// driven as an LV2 host drives them: instantiated with urid:map and options present, missing or
// odd, ports connected by any index to buffers of exactly their size or left unconnected,
// activated, run and deactivated in any order LV2 allows (what it forbids is left out, as a host
// would not do it), with control values of any bit pattern and atom input of any shape. After
// every step it checks what a host relies on, with the checks the other harnesses make of the
// same plug-in (FuzzChecks.h), and aborts with a message when something breaks.
//
// The input is a list of steps, read as fuzz::Input reads them: a step byte (bit 7 picks the
// second instance, the low four bits the step), then its arguments. tests/fuzz/make_corpus.py
// writes the seed inputs in this encoding.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/lv2/Lv2Plugin.h"
#include "formats/lv2/Lv2Ports.h"
#include "framework/Platform.h"
#include "sequencer/uPlugin.h"
#include "tests/fuzz/FuzzChecks.h"
#include "tests/lv2/Lv2Rig.h"

using fuzz::Input;
using fuzz::require;
using lv2_door::Lv2Plugin;
using lv2_rig::padded;
using lv2_rig::UriMap;

namespace {

constexpr std::uint32_t kParams = plugin::kNumParams;
constexpr std::uint32_t kPorts = lv2_door::firstParameter + kParams;
constexpr std::uint32_t kMaxEvents = 1100; // beyond the 1,024 messages the door queues
// The longest block run here, whatever the host promised: two of the door's default pieces. At
// the fastest tempos the plug-in sends a step at nearly every frame, and the sanitized build then
// takes the 50 ms bound for about 16,000 frames (the door takes promises up to 65,536).
constexpr std::uint32_t kLongestRun = 2 * Lv2Plugin::kDefaultMaxBlock;
constexpr std::size_t kHeader = sizeof(LV2_Atom);
constexpr std::size_t kSequenceHeader = sizeof(LV2_Atom_Sequence);
constexpr std::size_t kMidiBytes = 3;
constexpr auto kBlockBound = std::chrono::milliseconds(50);

// What one Control Change takes of a sequence: its event header and three bytes, padded.
constexpr std::size_t kOutputEvent = padded(sizeof(LV2_Atom_Event) + kMidiBytes);

const LV2_Descriptor* descriptor = nullptr;

// A step's low four bits; 6 to 15 run too. Bits 4 to 6 are not read.
enum Step : std::uint8_t { Run, Instantiate, Connect, Activate, Deactivate, Cleanup };
// Instantiations one input makes at most: each costs the sanitized door milliseconds (room for
// 16 messages a frame of the longest block).
constexpr int kMaxInstantiations = 16;

// The URIDs this host writes atoms with, in an instance's map.
struct Urids {
    LV2_URID sequence, chunk, object, blank, floatType, doubleType, intType, longType, boolType,
        stringType, midi, position, frameTime, beatTime, maxBlock, minBlock, nominalBlock,
        sequenceSize;
    LV2_URID keys[8]; // time:Position's properties
    explicit Urids(UriMap& m)
        : sequence(m(LV2_ATOM__Sequence)), chunk(m(LV2_ATOM__Chunk)), object(m(LV2_ATOM__Object)),
          blank(m(LV2_ATOM__Blank)), floatType(m(LV2_ATOM__Float)), doubleType(m(LV2_ATOM__Double)),
          intType(m(LV2_ATOM__Int)), longType(m(LV2_ATOM__Long)), boolType(m(LV2_ATOM__Bool)),
          stringType(m(LV2_ATOM__String)), midi(m(LV2_MIDI__MidiEvent)),
          position(m(LV2_TIME__Position)), frameTime(m(LV2_ATOM__frameTime)),
          beatTime(m(LV2_ATOM__beatTime)), maxBlock(m(LV2_BUF_SIZE__maxBlockLength)),
          minBlock(m(LV2_BUF_SIZE__minBlockLength)),
          nominalBlock(m(LV2_BUF_SIZE__nominalBlockLength)),
          sequenceSize(m(LV2_BUF_SIZE__sequenceSize)),
          keys{m(LV2_TIME__frame),       m(LV2_TIME__speed),         m(LV2_TIME__bar),
               m(LV2_TIME__barBeat),     m(LV2_TIME__beat),          m(LV2_TIME__beatUnit),
               m(LV2_TIME__beatsPerBar), m(LV2_TIME__beatsPerMinute)} {}
};

// Bytes of atoms as a host lays them out (8-byte padded), whatever their headers say.
struct Bytes {
    std::vector<std::uint8_t> b;
    template <typename T> void put(const T& v) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        b.insert(b.end(), p, p + sizeof v);
    }
    void pad() { b.resize(padded(b.size()), 0); }
};

// One atom of any shape: a number of any type and bit pattern, a string or bool, an object
// (nested up to a depth), an atom of no known type; its stated size sometimes lies.
void object(Bytes& out, Input& input, const Urids& u, int depth, bool position);
void atom(Bytes& out, Input& input, const Urids& u, int depth) {
    const std::uint8_t kind = input.byte();
    LV2_Atom head{0, 0};
    Bytes body;
    switch (kind % 8) {
    case 0: head.type = u.floatType, body.put(input.value()); break;
    case 1: head.type = u.doubleType, body.put(input.real()); break;
    case 2: head.type = u.intType, body.put(input.number()); break;
    case 3: head.type = u.longType, body.put(input.raw<std::int64_t>()); break;
    case 4: head.type = kind & 8 ? u.floatType : u.doubleType, body.put(input.raw<double>()); break;
    case 5:
        if (depth < 3) {
            head.type = kind & 8 ? u.blank : u.object;
            object(body, input, u, depth + 1, kind & 32);
            break;
        }
        [[fallthrough]];
    case 6:
        head.type = kind & 8 ? u.boolType : u.stringType;
        for (int n = input.byte() % 12; n > 0; --n)
            body.put(input.byte());
        break;
    default:
        head.type = static_cast<LV2_URID>(input.number());
        for (int n = input.byte() % 20; n > 0; --n)
            body.put(input.byte());
    }
    head.size = static_cast<std::uint32_t>(body.b.size());
    if (kind & 16)
        head.size = kind & 64 ? input.byte() % 16 : static_cast<std::uint32_t>(input.number());
    out.put(head);
    out.b.insert(out.b.end(), body.b.begin(), body.b.end());
}

// An object's body: time:Position (or another type) with properties of any keys and values.
void object(Bytes& out, Input& input, const Urids& u, int depth, bool position) {
    const std::uint8_t kind = input.byte();
    const LV2_URID otype = position || kind % 4 == 0 ? u.position
                           : kind % 4 == 1           ? static_cast<LV2_URID>(input.number())
                                                     : u.chunk;
    out.put(LV2_Atom_Object_Body{kind & 4 ? static_cast<LV2_URID>(input.number()) : 0, otype});
    for (int n = input.byte() % 12; n > 0; --n) {
        const std::uint8_t which = input.byte();
        const LV2_URID key = which < 0xC0   ? u.keys[which % 8]
                             : which < 0xE0 ? static_cast<LV2_URID>(input.number())
                                            : u.position;
        const LV2_URID context = which >= 0x80 && which < 0xC0 ? input.byte() : 0;
        out.put(LV2_Atom_Property_Body{key, context, {0, 0}});
        out.b.resize(out.b.size() - sizeof(LV2_Atom)); // the value's own header follows
        atom(out, input, u, depth);
        out.pad();
    }
}

// A MIDI message the plug-in is handed, with its frame as the host stamped it.
struct Midi {
    std::int64_t frames;
    unsigned char data[kMidiBytes];
};

// The host's atom input for one block: a sequence (or an atom of another type) of any events,
// cut anywhere, in a buffer of exactly its stated size (or with bytes after it).
struct AtomInput {
    std::vector<std::uint8_t> buffer;
    bool frameStamps = false;
    std::vector<Midi> midi; // what a reader of the sequence's layout finds, in order

    void make(Input& input, const Urids& u) {
        const std::uint8_t shape = input.byte();
        Bytes seq;
        const LV2_URID type = shape % 4 < 2    ? u.sequence
                              : shape % 4 == 2 ? u.object
                                               : static_cast<LV2_URID>(input.number());
        const LV2_URID unit = (shape >> 2) % 4 == 0   ? 0
                              : (shape >> 2) % 4 == 1 ? u.frameTime
                              : (shape >> 2) % 4 == 2 ? u.beatTime
                                                      : static_cast<LV2_URID>(input.number());
        seq.put(LV2_Atom_Sequence{{0, type}, {unit, 0}});
        const std::uint32_t count =
            shape & 128 ? input.raw<std::uint16_t>() % (kMaxEvents + 1) : input.byte() % 24;
        for (std::uint32_t i = 0; i < count; ++i)
            event(seq, input, u);
        std::uint32_t size = static_cast<std::uint32_t>(seq.b.size() - kHeader);
        // Cut short, even below the sequence's own header: what it says it holds is all there is.
        if (shape & 16) size = input.raw<std::uint16_t>() % (size + 1);
        seq.b.resize(kHeader + size);
        std::memcpy(seq.b.data(), &size, sizeof size);
        if (shape & 32)
            for (int n = input.byte() % 64; n > 0; --n)
                seq.b.push_back(0xEE);
        buffer = std::vector<std::uint8_t>(seq.b.begin(), seq.b.end()); // no spare capacity
        read(u);
    }

  private:
    static void event(Bytes& seq, Input& input, const Urids& u) {
        const std::uint8_t kind = input.byte();
        const std::int64_t frames = kind & 0x40 ? input.raw<std::int64_t>() : input.number();
        Bytes body;
        LV2_URID type = u.midi;
        switch (kind % 8) {
        case 0: {
            // Notes, the start, stop and reset ones most often.
            static constexpr unsigned char keys[4] = {plugin::kStartNote, plugin::kStopNote,
                                                      plugin::kResetNote, 60};
            const std::uint8_t how = input.byte();
            body.put(static_cast<unsigned char>((how & 16 ? 0x80 : 0x90) | (how & 15)));
            body.put(how & 32 ? input.byte() : keys[(how >> 6) & 3]);
            body.put(input.byte());
            break;
        }
        case 1:
            for (std::size_t n = 0; n < kMidiBytes; ++n)
                body.put(input.byte());
            break;
        case 2:
            for (int n = input.byte() % 10; n > 0; --n)
                body.put(input.byte());
            break;
        case 3:
        case 4:
            type = kind & 8 ? u.blank : u.object;
            object(body, input, u, 0, kind % 8 == 3);
            break;
        case 5:
            atom(body, input, u, 0);
            type = static_cast<LV2_URID>(input.number());
            break;
        case 6: type = kind & 8 ? u.object : (kind & 16 ? u.blank : u.midi); break;
        default: {
            // An event whose size lies.
            type = kind & 8 ? u.object : u.midi;
            for (int n = input.byte() % 12; n > 0; --n)
                body.put(input.byte());
            const LV2_Atom_Event head{{frames}, {static_cast<std::uint32_t>(input.number()), type}};
            seq.put(head);
            seq.b.insert(seq.b.end(), body.b.begin(), body.b.end());
            seq.pad();
            return;
        }
        }
        seq.put(LV2_Atom_Event{{frames}, {static_cast<std::uint32_t>(body.b.size()), type}});
        seq.b.insert(seq.b.end(), body.b.begin(), body.b.end());
        seq.pad();
    }

    // The MIDI messages in the buffer as LV2 lays a sequence out: events from the start, while
    // each lies whole within the sequence's stated size; 1 to 3 bytes beginning with a status
    // byte make a message. Stamps are frames when the unit is frames (or not given).
    void read(const Urids& u) {
        midi.clear();
        LV2_Atom head;
        std::memcpy(&head, buffer.data(), sizeof head);
        frameStamps = false;
        if (head.type != u.sequence || head.size < sizeof(LV2_Atom_Sequence_Body)) return;
        LV2_Atom_Sequence_Body body;
        std::memcpy(&body, buffer.data() + kHeader, sizeof body);
        frameStamps = body.unit == 0 || body.unit == u.frameTime;
        const std::size_t end = kHeader + head.size;
        for (std::size_t at = kSequenceHeader; end - at >= sizeof(LV2_Atom_Event);) {
            LV2_Atom_Event event;
            std::memcpy(&event, buffer.data() + at, sizeof event);
            if (event.body.size > end - at - sizeof event) return;
            const std::uint8_t* bytes = buffer.data() + at + sizeof event;
            if (event.body.type == u.midi && event.body.size >= 1 &&
                event.body.size <= kMidiBytes && bytes[0] >= 0x80) {
                Midi m{event.time.frames, {}};
                std::memcpy(m.data, bytes, event.body.size);
                midi.push_back(m);
            }
            const std::size_t step = padded(sizeof event + event.body.size);
            if (step > end - at) return;
            at += step;
        }
    }
};

// One instance and what its host knows of it: its features, its ports' buffers, where it is in
// LV2's life cycle, the parameters it acts on, the MIDI it holds until due and the messages it
// may still hold back for a small output buffer.
struct Instance {
    LV2_Handle handle = nullptr;
    UriMap map;
    std::unique_ptr<Urids> u;
    std::vector<std::unique_ptr<std::uint8_t[]>> optionValues;
    std::vector<LV2_Options_Option> options;
    std::vector<LV2_Feature> featureList;
    std::vector<const LV2_Feature*> features;
    double rate = 0.0;
    std::uint32_t piece = 0, most = 0; // the door's piece, the longest block this host runs
    bool active = false;

    // Ports: control values stay in place; the rest get fresh buffers for each block.
    bool atomConnected = false, notifyConnected = false, lostConnected = false;
    bool controlConnected[kParams] = {};
    std::unique_ptr<float> lost;
    std::unique_ptr<float> controls[kParams];
    AtomInput in;
    std::vector<std::uint8_t> out;
    std::unique_ptr<float[]> audio[4];

    // What the host knows.
    float values[kParams] = {};
    float seen[kParams] = {}; // each connected control's value when the door last took it
    fuzz::Pending pending;
    fuzz::ControlChanges sent;
    bool waiting = false;     // messages may be held back from earlier blocks
    int losses = 0;           // blocks that lost messages, each may cut a step short
    bool lossUnknown = false; // a block with the lost port unconnected may have lost some
    float lostSoFar = 0.0f;

    Lv2Plugin& door() const { return *static_cast<Lv2Plugin*>(handle); }
    // Through instance access, as the UI reads it.
    float parameter(std::uint32_t i) const {
        return door().hosted().parameter(static_cast<std::int32_t>(i));
    }
    void connect(std::uint32_t port, void* data) { descriptor->connect_port(handle, port, data); }
    void forgetHeld() {
        waiting = false;
        losses = 0;
        lossUnknown = false;
        sent.restart();
    }
};

// ---- Life cycle -----------------------------------------------------------------------------

// A host takes an instance down as LV2 asks: deactivated first.
void cleanup(Instance& in) {
    if (in.active) descriptor->deactivate(in.handle);
    if (in.handle != nullptr) descriptor->cleanup(in.handle);
    in.~Instance();
    new (&in) Instance();
}

void instantiate(Instance& in, Input& input) {
    cleanup(in);
    const std::uint8_t how = input.byte();
    in.map.fails = how & 4;
    if (how & 64) in.map.base = static_cast<LV2_URID>(input.number());
    in.u = std::make_unique<Urids>(in.map);
    const Urids& u = *in.u;
    static constexpr double rates[6] = {44100.0, 48000.0, 96000.0, 22050.0, 8000.0, 192000.0};
    const std::uint8_t r = input.byte();
    in.rate = r < 6 ? rates[r] : (r < 0x80 ? r * 1000.0 : input.real() - 8.0);

    // Options of any keys, types, sizes and values; a zeroed one ends them.
    if (how & 8) {
        for (int n = input.byte() % 5; n > 0; --n) {
            const std::uint8_t o = input.byte();
            static constexpr int keyCount = 5;
            const LV2_URID keys[keyCount] = {u.maxBlock, u.maxBlock, u.minBlock, u.nominalBlock,
                                             u.sequenceSize};
            LV2_Options_Option option{};
            option.context = LV2_OPTIONS_INSTANCE;
            option.key = o % 8 < keyCount ? keys[o % 8] : static_cast<LV2_URID>(input.number());
            option.type =
                o & 8 ? static_cast<LV2_URID>(input.number()) : (o & 16 ? u.floatType : u.intType);
            option.size = o & 32 ? input.byte() % 12 : sizeof(std::int32_t);
            if ((o & 64) == 0) {
                auto value = std::make_unique<std::uint8_t[]>(option.size);
                // Mostly the lengths hosts use: a promise of 65,536 frames costs the sanitized
                // door 50 ms to instantiate (room for 16 messages a frame).
                const std::int32_t frames = o & 128 ? input.number() : input.byte() * 64;
                std::memcpy(value.get(), &frames, std::min<std::size_t>(option.size, 4));
                for (std::uint32_t b = 4; b < option.size; ++b)
                    value[b] = input.byte();
                option.value = value.get();
                in.optionValues.push_back(std::move(value));
            }
            in.options.push_back(option);
        }
        in.options.push_back({});
    }
    static const char kUnknown[] = "http://example.org/ns#unknown";
    static std::uint64_t nothing = 0;
    if (how & 32) in.featureList.push_back({kUnknown, &nothing});
    if ((how & 1) == 0) in.featureList.push_back({LV2_URID__map, how & 2 ? nullptr : &in.map.map});
    if (how & 8) in.featureList.push_back({LV2_OPTIONS__options, in.options.data()});
    if (how & 32) in.featureList.push_back({nullptr, &nothing});
    for (const LV2_Feature& f : in.featureList)
        in.features.push_back(&f);
    in.features.push_back(nullptr);
    const bool noFeatures = how & 16;

    in.handle = descriptor->instantiate(descriptor, in.rate, "/nowhere/Morvo.lv2/",
                                        noFeatures ? nullptr : in.features.data());
    const bool fits = !noFeatures && (how & 3) == 0 && in.rate > 0.0;
    require((in.handle != nullptr) == fits, "instantiate answers other than its features ask");
    if (in.handle == nullptr) {
        cleanup(in);
        return;
    }
    // The door's piece: the host's promise of maxBlockLength (the first that is an Int of a
    // usable length), else its default; hosts run blocks up to their promise.
    in.piece = Lv2Plugin::kDefaultMaxBlock;
    in.most = kLongestRun;
    for (const LV2_Options_Option& o : in.options) {
        if (o.key == 0) break;
        std::int32_t frames = 0;
        if (o.key != u.maxBlock || o.type != u.intType || o.size != sizeof frames ||
            o.value == nullptr)
            continue;
        std::memcpy(&frames, o.value, sizeof frames);
        if (frames > 0 && frames <= Lv2Plugin::kLargestMaxBlock) {
            in.piece = static_cast<std::uint32_t>(frames);
            in.most = std::min(in.piece, kLongestRun);
            break;
        }
    }
    for (std::uint32_t i = 0; i < kParams; ++i)
        in.values[i] = in.seen[i] = in.parameter(i);
    // What the host connects at once; the rest waits for connect steps or is never connected.
    const std::uint8_t ports = input.byte();
    for (std::uint32_t i = 0; i < kParams; ++i) {
        in.controls[i] = std::make_unique<float>(in.values[i]);
        in.controlConnected[i] = (ports & 1) == 0;
        if (in.controlConnected[i]) in.connect(lv2_door::firstParameter + i, in.controls[i].get());
    }
    in.lost = std::make_unique<float>(-1.0f);
    in.lostConnected = (ports & 2) == 0;
    if (in.lostConnected) in.connect(lv2_door::lost, in.lost.get());
    in.atomConnected = (ports & 4) == 0;
    in.notifyConnected = (ports & 8) == 0;
}

void connect(Instance& in, Input& input) {
    const std::uint32_t port = static_cast<std::uint32_t>(input.number());
    const bool none = input.byte() & 1;
    static float elsewhere[4];
    if (port >= lv2_door::firstParameter && port < kPorts) {
        const std::uint32_t i = port - lv2_door::firstParameter;
        in.controlConnected[i] = !none;
        in.connect(port, none ? nullptr : in.controls[i].get());
    } else if (port == lv2_door::lost) {
        in.lostConnected = !none;
        in.connect(port, none ? nullptr : in.lost.get());
    } else if (port < kPorts) {
        // Audio and atoms get their buffers with each block; until then, none.
        if (port == lv2_door::control) in.atomConnected = !none;
        if (port == lv2_door::notify) in.notifyConnected = !none;
        in.connect(port, nullptr);
    } else {
        in.connect(port, none ? nullptr : elsewhere); // no such port: the door ignores it
    }
}

// ---- Running --------------------------------------------------------------------------------

// The output: a sequence as a host relies on it (Lv2Rig.h), each message a Control Change of the
// stream. Returns how many events it holds.
std::size_t checkOutput(Instance& in, std::uint32_t frames, std::uint32_t capacity) {
    std::size_t count = 0;
    const char* fault = lv2_rig::readOutput(
        in.out.data(), capacity, frames, in.map, [&](std::uint32_t, const std::uint8_t* m) {
            // Where messages were lost, a step may stop short and the next begin.
            if (m[0] == 0xB0 && in.sent.count() % 16 != 0 && (in.losses > 0 || in.lossUnknown)) {
                in.sent.restart();
                if (in.losses > 0) --in.losses;
            }
            in.sent.check(m[0], m[1], m[2]);
            ++count;
        });
    require(fault == nullptr, fault);
    return count;
}

// A block's MIDI as the door hands it over: the block in pieces of the door's longest, each
// piece's events (at their frames, those before it at its start and those after the block at
// its last frame; all at the start when stamped in beats), at most the door's queue a piece.
// Returns whether a start note fell due in the block, and notes in `acted` what the last piece
// whose notes acted did to the transport.
bool deliver(Instance& in, std::uint32_t frames, const std::vector<Midi>& midi, bool frameStamps,
             int& acted) {
    bool startDue = false;
    for (std::uint32_t offset = 0; offset < frames;) {
        const std::uint32_t length = std::min(frames - offset, in.piece);
        const std::uint32_t end = offset + length;
        const bool last = end == frames;
        std::size_t queued = 0;
        for (const Midi& m : midi) {
            const std::int64_t stamp = frameStamps ? std::max<std::int64_t>(m.frames, 0) : 0;
            const std::int64_t at = std::min<std::int64_t>(stamp, end - (last ? 1 : 0));
            if (at < offset || (at == end && !last)) continue;
            if (queued++ == Lv2Plugin::kIncomingCapacity) break;
            in.pending.add(static_cast<std::int32_t>(at - offset), m.data[0], m.data[1], m.data[2]);
        }
        startDue = startDue || in.pending.startDue(length);
        if (const int a = in.pending.act(length); a != 0) acted = a;
        offset = end;
    }
    return startDue;
}

void run(Instance& in, Input& input) {
    const Urids& u = *in.u;
    // Frames: a few, the hundreds hosts run most, near the host's longest block, or any.
    const std::uint8_t f = input.byte();
    const std::uint32_t frames = f < 0x80   ? std::min<std::uint32_t>(f, in.most)
                                 : f < 0xC0 ? std::min<std::uint32_t>((f - 0x80) * 16u, in.most)
                                 : f < 0xE0 ? in.most - std::min<std::uint32_t>(f - 0xC0, in.most)
                                            : input.raw<std::uint16_t>() % (in.most + 1);

    // Control values of any bit pattern, in the host's ports.
    for (int n = input.byte() % (kParams + 1); n > 0; --n) {
        const std::uint32_t i = input.byte() % kParams;
        *in.controls[i] = input.value();
    }

    // The atom input and the output buffer, each of exactly the size its header states.
    const bool atomIn = in.atomConnected && (input.byte() & 1) == 0;
    if (atomIn) in.in.make(input, u);
    in.connect(lv2_door::control, atomIn ? in.in.buffer.data() : nullptr);
    const std::uint8_t c = input.byte();
    const std::uint32_t capacity =
        c < 0x18   ? c
        : c < 0x40 ? static_cast<std::uint32_t>(sizeof(LV2_Atom_Sequence_Body) +
                                                kOutputEvent * (c - 0x18) + input.byte() % 24)
        : c < 0xA0 ? lv2_door::kMinimumOutputBytes
                   : input.raw<std::uint16_t>();
    if (in.notifyConnected) {
        in.out = std::vector<std::uint8_t>(kHeader + capacity, 0xA5); // a fresh allocation
        const LV2_Atom head{capacity, u.chunk};
        std::memcpy(in.out.data(), &head, sizeof head);
    }
    const std::vector<std::uint8_t> outBefore = in.out;
    in.connect(lv2_door::notify, in.notifyConnected ? in.out.data() : nullptr);
    *in.lost = -1.0f;

    // Audio: each side connected or not, in place or apart, of exactly the block's frames.
    const std::uint8_t a = input.byte();
    std::uint32_t seed = input.byte() * 2654435761u + 1;
    std::vector<float> inputs[2];
    float* outs[2] = {};
    for (std::uint32_t ch = 0; ch < 2; ++ch) {
        const bool inConnected = a & (1 << ch), outConnected = a & (4 << ch);
        const bool inPlace = inConnected && outConnected && (a & 16);
        in.audio[ch].reset(inConnected ? new float[frames] : nullptr);
        in.audio[2 + ch].reset(outConnected && !inPlace ? new float[frames] : nullptr);
        if (inConnected) {
            for (std::uint32_t i = 0; i < frames; ++i) {
                seed = seed * 1664525u + 1013904223u;
                in.audio[ch][i] = (seed >> 28) == 0 ? std::bit_cast<float>(seed)
                                                    : (seed >> 8) / 16777216.0f - 0.5f;
            }
            inputs[ch].assign(in.audio[ch].get(), in.audio[ch].get() + frames);
        } else {
            inputs[ch].assign(frames, 0.0f); // an input left unconnected is silence
        }
        outs[ch] = inPlace ? in.audio[ch].get() : in.audio[2 + ch].get();
        if (outs[ch] != nullptr && !inPlace)
            std::fill_n(outs[ch], frames, std::bit_cast<float>(0x7FC0DEADu));
        in.connect(lv2_door::audioInLeft + ch, in.audio[ch].get());
        in.connect(lv2_door::audioOutLeft + ch, outs[ch]);
    }

    // What the block starts with: the connected controls whose values changed, the finite ones,
    // held to 0..1.
    float p[kParams];
    std::copy(std::begin(in.values), std::end(in.values), p);
    for (std::uint32_t i = 0; i < kParams; ++i) {
        const float v = *in.controls[i];
        if (!in.controlConnected[i] || !std::isfinite(v) || v == in.seen[i]) continue;
        in.seen[i] = v;
        p[i] = std::clamp(v, 0.0f, 1.0f);
    }
    if (in.waiting)
        in.sent.allow([&](std::int32_t i) { return p[i]; });
    else
        in.sent.expect([&](std::int32_t i) { return p[i]; });
    const bool stopped = p[plugin::startStop] >= 0.5f;
    int acted = 0;
    const bool startDue =
        deliver(in, frames, atomIn ? in.in.midi : std::vector<Midi>{}, in.in.frameStamps, acted);

    const fuzz::Stopwatch watch;
    descriptor->run(in.handle, frames);
    require(watch.within(kBlockBound, {}), "a block took the plug-in over 50 ms");

    // Audio passes bit for bit where the host connected both sides.
    for (std::uint32_t ch = 0; ch < 2; ++ch)
        for (std::uint32_t i = 0; outs[ch] != nullptr && i < frames; ++i)
            require(std::bit_cast<std::uint32_t>(outs[ch][i]) ==
                        std::bit_cast<std::uint32_t>(inputs[ch][i]),
                    "output is not the input");

    // The parameters: what the controls set, and the start/stop the notes left.
    std::copy(std::begin(p), std::end(p), in.values);
    in.values[plugin::startStop] = in.parameter(plugin::startStop);
    fuzz::Pending::checkActed(acted, in.values[plugin::startStop]);

    // Messages lost only add up.
    if (in.lostConnected) {
        const float lost = *in.lost;
        require(std::isfinite(lost) && lost >= in.lostSoFar && lost == std::floor(lost),
                "the lost messages' count went down or is no count");
        if (lost > in.lostSoFar) ++in.losses;
        in.lostSoFar = lost;
    } else {
        in.lossUnknown = true;
    }

    // The output: what fits of the held messages and the block's; a buffer without room for a
    // sequence's header is left as it was.
    bool emptied = !in.notifyConnected; // nobody listens: nothing is kept
    std::size_t count = 0;
    if (in.notifyConnected && capacity < sizeof(LV2_Atom_Sequence_Body)) {
        require(in.out == outBefore, "an output buffer without room for a sequence was written");
    } else if (in.notifyConnected) {
        count = checkOutput(in, frames, capacity);
        // A block of no frames sends nothing (it has no frame to send at); what waits, waits.
        emptied = frames > 0 && count < (capacity - sizeof(LV2_Atom_Sequence_Body)) / kOutputEvent;
    }
    if (emptied) {
        // Nothing held back: the steps sent are whole, unless messages were lost, and a stopped
        // sequencer sent none.
        if (in.sent.count() % 16 != 0)
            require(!in.notifyConnected || in.losses > 0 || in.lossUnknown,
                    "a step sent other than 16 messages");
        require(in.waiting || !stopped || startDue || count == 0, "a stopped sequencer sent MIDI");
        in.forgetHeld();
    } else {
        in.waiting = true;
    }

    // The song the plug-in is told: finite, whatever the positions said.
    const guest::Transport& now = in.door().hosted().transport();
    require(now.sampleRate == in.rate && std::isfinite(now.samplePosition) &&
                now.samplePosition >= 0.0 && std::isfinite(now.tempo) && now.tempo >= 0.0 &&
                std::isfinite(now.songPosition) && std::isfinite(now.barStart) &&
                (!now.hasTimeSignature || (now.numerator > 0 && now.denominator > 0)),
            "the transport the plug-in is told is no song");
}

// What holds between any two of the host's calls: the parameters the plug-in acts on are
// within 0..1 and the ones its host set.
void checkAtRest(const Instance& in) {
    if (in.handle == nullptr) return;
    for (std::uint32_t i = 0; i < kParams; ++i) {
        const float v = in.parameter(i);
        require(v >= 0.0f && v <= 1.0f, "a parameter outside 0..1");
        require(v == in.values[i], "a parameter is not what its host and notes set");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    framework::headless::standInForNativeWindows();
    descriptor = lv2_descriptor(0);
    require(descriptor != nullptr && std::strcmp(descriptor->URI, lv2_door::kPluginUri) == 0 &&
                lv2_descriptor(1) == nullptr,
            "lv2_descriptor");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    Instance slots[2];
    {
        Input start(reinterpret_cast<const std::uint8_t*>("\x08\x00\x01\x01\x08"), 5);
        instantiate(slots[0], start);
    }
    int instantiations = 0;
    for (int steps = 0; !input.empty() && steps < 2000; ++steps) {
        const std::uint8_t step = input.byte();
        Instance& in = slots[step >> 7];
        const Step s = (step & 15) > Cleanup ? Run : static_cast<Step>(step & 15);
        if (s == Instantiate && ++instantiations > kMaxInstantiations) continue;
        if (s != Instantiate && in.handle == nullptr) continue;
        // The calls LV2 allows in each state; a host makes no others.
        switch (s) {
        case Instantiate: instantiate(in, input); break;
        case Connect: connect(in, input); break;
        case Activate:
            if (in.active) continue;
            descriptor->activate(in.handle);
            in.active = true;
            in.forgetHeld();
            break;
        case Deactivate:
            if (!in.active) continue;
            descriptor->deactivate(in.handle);
            in.active = false;
            break;
        case Cleanup: cleanup(in); break;
        default:
            if (!in.active) continue;
            run(in, input);
        }
        // Instances are independent: what one is told leaves the other as it was.
        checkAtRest(slots[0]);
        checkAtRest(slots[1]);
    }
    for (Instance& in : slots)
        cleanup(in);
    return 0;
}
