// The CLAP door's libFuzzer harness: plug-ins made through clap_entry in this process and driven
// through their CLAP records as a host drives them, in any order the CLAP rules allow (what they
// forbid is left out, as a host would not do it), with any events, buffers, parameter texts and
// state blobs. After every step it checks what a host relies on, with the checks the VST 2
// harness makes of the same plug-in (FuzzChecks.h), and aborts with a message when something
// breaks.
//
// The input is a list of steps, read as fuzz::Input reads them: a step byte (bit 7 picks the
// second plug-in, the low four bits the step), then its arguments. tests/fuzz/make_corpus.py
// writes the seed inputs in this encoding.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "framework/Platform.h"
#include "sequencer/uPlugin.h"
#include "tests/clap/ClapRig.h"
#include "tests/fuzz/FuzzChecks.h"

extern "C" const clap_abi::clap_plugin_entry clap_entry;

using namespace clap_rig;
using fuzz::Input;
using fuzz::require;

namespace {

constexpr std::uint32_t kParams = plugin::kNumParams;
constexpr std::uint32_t kMaxEvents = 1200;    // beyond the 1,024 messages the door queues
constexpr std::uint32_t kQueued = 1024;       // what the door hands the plug-in of one block
constexpr std::uint32_t kLargestBlock = 8192; // the most frames a host activates for
constexpr std::size_t kEventBytes = 128;      // room for the largest event of any type
// What one call may send: a message per channel and frame of the largest block, and every edit
// waiting.
constexpr std::size_t kMostSent = kLargestBlock * 16 + 4096;
constexpr auto kBlockBound = std::chrono::milliseconds(50);

const clap_plugin_factory* factory = nullptr;

enum Step : std::uint8_t {
    Create,
    Init,
    Activate,
    Deactivate,
    StartProcessing,
    StopProcessing,
    Reset,
    Process,
    Destroy,
    Params,
    State,
    Gui,
    Extension,
    HostSetup, // the rest: Process again
};

// Events of one list, each in storage large enough for any type whatever its header says.
struct EventList {
    struct alignas(8) Slot {
        unsigned char bytes[kEventBytes];
    };
    std::vector<Slot> slots;
    std::vector<std::uint8_t> sysex;
    InputEvents list;
    // The list of the slots as they stand.
    const clap_input_events* record() {
        list.events.clear();
        for (const Slot& slot : slots)
            list.events.push_back(reinterpret_cast<const clap_event_header*>(slot.bytes));
        return &list.record;
    }
};

// What the plug-in pushed in one call, cleared for the next: kept in one place, reserved once.
OutputEvents& sentEvents() {
    static OutputEvents out(kMostSent);
    out.clear();
    return out;
}

// What the plug-in pushed: times in order within the block, only events the door sends, no
// more than a call may send, parameters that exist with values within 0..1, and MIDI only from
// process, each a Control Change of the expected stream on the note port.
void checkSent(const OutputEvents& out, std::uint32_t frames, fuzz::ControlChanges* stream) {
    require(out.unordered == 0, "output events out of time order");
    require(out.strange == 0,
            "an output event of a space, type, size or flags the door never sends");
    require(out.midi.size() < kMostSent && out.automation.size() < kMostSent, "too many events");
    require(stream != nullptr || out.midi.empty(), "MIDI sent outside processing");
    for (const OutputEvents::Midi& m : out.midi) {
        require(m.time < frames, "an output event beyond the block's frames");
        require(m.port == 0, "MIDI sent on no note port");
        stream->check(m.data[0], m.data[1], m.data[2]);
    }
    for (const OutputEvents::Automation& a : out.automation) {
        require(stream == nullptr || a.time < frames, "an output event beyond the block's frames");
        require(a.id < kParams, "automation or a gesture of no parameter");
        require(a.type != CLAP_EVENT_PARAM_VALUE || (a.value >= 0.0 && a.value <= 1.0),
                "automation outside 0..1");
    }
}

// One plug-in and what its host knows of it: where it is in the CLAP life cycle, the values
// it was given, the MIDI it holds until due, the host's timers and its last good state.
struct Instance {
    const clap_plugin* plugin = nullptr;
    Extensions x;
    bool initialized = false, active = false, processing = false, guiCreated = false;
    std::uint32_t maxFrames = 0;
    double values[kParams] = {};
    fuzz::Pending pending;
    Host host{"morvo-fuzz"};
    std::vector<std::uint8_t> saved; // the last state saved whole

    double value(std::uint32_t id) const {
        double v = -1.0;
        require(x.params->get_value(plugin, id, &v), "get_value refuses a parameter");
        return v;
    }
    // Where the host's values come from after a call that may change them all.
    void readValues() {
        for (std::uint32_t i = 0; i < kParams; ++i)
            values[i] = value(i);
    }
    void checkValues(const char* what, bool butStartStop = false) const {
        for (std::uint32_t i = 0; i < kParams; ++i)
            if (!butStartStop || i != plugin::startStop)
                require(std::bit_cast<std::uint64_t>(value(i)) ==
                            std::bit_cast<std::uint64_t>(values[i]),
                        what);
    }
};

// ---- Life cycle -----------------------------------------------------------------------------

// A host takes a plug-in down in the order CLAP asks: stop processing, deactivate, destroy.
void destroy(Instance& in) {
    if (in.plugin == nullptr) return;
    if (in.processing) in.plugin->stop_processing(in.plugin);
    if (in.active) in.plugin->deactivate(in.plugin);
    in.plugin->destroy(in.plugin);
    require(in.host.timers.empty(), "a destroyed plug-in left its timer registered");
    in.plugin = nullptr;
    in.initialized = in.active = in.processing = in.guiCreated = false;
    in.pending = {};
    in.saved.clear();
}

void create(Instance& in, Input& input) {
    destroy(in);
    const std::uint8_t how = input.byte();
    // Hosts of another major version, and ids of no plug-in here, get none.
    in.host.record.clap_version.major = how & 1 ? static_cast<std::uint32_t>(input.number()) : 1;
    const char* id = how & 2 ? "com.halvark.ostrel.other" : "com.halvark.ostrel";
    const bool fits = in.host.record.clap_version.major == 1 && (how & 2) == 0;
    in.plugin = factory->create_plugin(factory, how & 4 ? nullptr : &in.host.record, id);
    if (!fits || (how & 4) != 0)
        return require(in.plugin == nullptr, "a plug-in for a host it does not fit");
    require(in.plugin != nullptr && in.plugin->plugin_data != nullptr && in.plugin->desc != nullptr,
            "create_plugin gives no plug-in");
    require(std::strcmp(in.plugin->desc->id, id) == 0, "the plug-in's descriptor");
    // Extensions may be asked for before init; their functions are called only after it.
    in.x = Extensions(in.plugin);
    require(in.x.params && in.x.state && in.x.gui && in.x.timer, "an extension missing");
}

void init(Instance& in) {
    require(in.plugin->init(in.plugin), "init fails");
    in.initialized = true;
    require(in.x.params->count(in.plugin) == kParams, "not 23 parameters");
    in.readValues();
}

void activate(Instance& in, Input& input) {
    static constexpr double rates[] = {44100.0, 48000.0, 96000.0, 22050.0, 8000.0};
    const std::uint8_t r = input.byte();
    const double rate = r < 5 ? rates[r] : (r < 0x80 ? r * 1000.0 : input.real());
    const std::uint32_t least = static_cast<std::uint32_t>(input.number());
    const std::uint32_t most = input.raw<std::uint16_t>() % (kLargestBlock + 1);
    const bool done = in.plugin->activate(in.plugin, rate, least, most);
    require(done == (rate > 0.0 && most > 0), "activate answers other than its arguments ask");
    in.active = done;
    in.maxFrames = most;
}

// ---- Events ---------------------------------------------------------------------------------

// Beats in the interface's fixed point; what it cannot hold comes as its extremes.
clap_beattime beatTime(double beats) {
    if (std::isfinite(beats) && std::fabs(beats) < 4e9)
        return static_cast<clap_beattime>(beats * CLAP_BEATTIME_FACTOR);
    return beats > 0 ? INT64_MAX : INT64_MIN;
}

// Fills a list with any events, and notes what the door makes of them: parameter values act at
// once, notes and MIDI wait in the plug-in until due.
struct Effects {
    std::vector<std::pair<std::uint32_t, double>> values;
    struct Midi {
        std::int32_t delta;
        unsigned char data[3];
    };
    std::vector<Midi> midi;
};

void makeEvents(EventList& list, Effects& effects, Input& input, bool inProcess) {
    const std::uint32_t count = input.raw<std::uint16_t>() % (kMaxEvents + 1);
    list.slots.assign(count, {});
    list.sysex.assign(16, 0xF7);
    for (std::uint32_t i = 0; i < count; ++i) {
        unsigned char* bytes = list.slots[i].bytes;
        auto& header = *reinterpret_cast<clap_event_header*>(bytes);
        const std::uint8_t kind = input.byte();
        static constexpr std::uint16_t types[] = {
            CLAP_EVENT_NOTE_ON,           CLAP_EVENT_NOTE_OFF,   CLAP_EVENT_MIDI,
            CLAP_EVENT_PARAM_VALUE,       CLAP_EVENT_TRANSPORT,  CLAP_EVENT_PARAM_GESTURE_BEGIN,
            CLAP_EVENT_PARAM_GESTURE_END, CLAP_EVENT_MIDI_SYSEX, CLAP_EVENT_NOTE_CHOKE,
            CLAP_EVENT_PARAM_MOD,         CLAP_EVENT_MIDI2,      CLAP_EVENT_NOTE_EXPRESSION};
        const std::uint16_t type =
            (kind & 15) < 12 ? types[kind & 15] : static_cast<std::uint16_t>(input.number());
        header.type = type;
        header.space_id = kind & 16 ? input.byte() : CLAP_CORE_EVENT_SPACE_ID;
        header.size = kind & 32 ? static_cast<std::uint32_t>(input.number()) : 0;
        header.time = static_cast<std::uint32_t>(input.number());
        header.flags = kind & 64 ? input.byte() : 0;
        const bool core = header.space_id == CLAP_CORE_EVENT_SPACE_ID;
        switch (type) {
        case CLAP_EVENT_NOTE_ON:
        case CLAP_EVENT_NOTE_OFF:
        case CLAP_EVENT_NOTE_CHOKE:
        case CLAP_EVENT_NOTE_EXPRESSION: {
            auto& note = reinterpret_cast<clap_event_note&>(header);
            if (header.size == 0) header.size = sizeof note;
            note.note_id = input.number();
            note.port_index = static_cast<std::int16_t>(input.number());
            note.channel = static_cast<std::int16_t>(input.number());
            note.key = static_cast<std::int16_t>(input.number());
            note.velocity = input.real() / 32.0;
            const bool on = type == CLAP_EVENT_NOTE_ON;
            if (core && inProcess && (on || type == CLAP_EVENT_NOTE_OFF) && note.key >= 0 &&
                note.key <= 127)
                // A note-on keeps a velocity of at least 1: MIDI's 0 would make it a note-off.
                effects.midi.push_back(
                    {static_cast<std::int32_t>(header.time),
                     {static_cast<unsigned char>((on ? 0x90 : 0x80) | (note.channel & 0x0F)),
                      static_cast<unsigned char>(note.key),
                      static_cast<unsigned char>(on ? 1 : 0)}});
            break;
        }
        case CLAP_EVENT_MIDI: {
            auto& midi = reinterpret_cast<clap_event_midi&>(header);
            if (header.size == 0) header.size = sizeof midi;
            midi.port_index = static_cast<std::uint16_t>(input.number());
            for (auto& b : midi.data)
                b = input.byte();
            if (core && inProcess)
                effects.midi.push_back({static_cast<std::int32_t>(header.time),
                                        {midi.data[0], midi.data[1], midi.data[2]}});
            break;
        }
        case CLAP_EVENT_PARAM_VALUE:
        case CLAP_EVENT_PARAM_MOD: {
            auto& change = reinterpret_cast<clap_event_param_value&>(header);
            if (header.size == 0) header.size = sizeof change;
            change.param_id = input.byte() < 0xF0 ? input.byte() % (kParams + 2)
                                                  : static_cast<clap_id>(input.number());
            change.note_id = -1;
            change.port_index = change.channel = change.key = -1;
            // Any bit pattern: values from 0..1 most often.
            const std::uint8_t pick = input.byte();
            change.value =
                pick < 0x80 ? pick / 127.0 : (pick < 0xC0 ? input.real() : input.raw<double>());
            if (core && type == CLAP_EVENT_PARAM_VALUE && change.param_id < kParams &&
                std::isfinite(change.value))
                effects.values.emplace_back(change.param_id, change.value);
            break;
        }
        case CLAP_EVENT_TRANSPORT: {
            auto& t = reinterpret_cast<clap_event_transport&>(header);
            if (header.size == 0) header.size = sizeof t;
            t.flags = static_cast<std::uint32_t>(input.number());
            t.song_pos_beats = beatTime(input.real());
            t.tempo = input.real();
            t.bar_start = input.raw<std::int64_t>();
            t.tsig_num = static_cast<std::uint16_t>(input.number());
            t.tsig_denom = static_cast<std::uint16_t>(input.number());
            break;
        }
        case CLAP_EVENT_MIDI_SYSEX: {
            auto& sysex = reinterpret_cast<clap_event_midi_sysex&>(header);
            if (header.size == 0) header.size = sizeof sysex;
            sysex.buffer = list.sysex.data();
            sysex.size = static_cast<std::uint32_t>(list.sysex.size());
            break;
        }
        default:
            // Gestures, MIDI 2 and types of no one's: any bytes.
            if (header.size == 0) header.size = input.byte() % kEventBytes;
            for (std::size_t b = sizeof header; b < sizeof header + 16; ++b)
                bytes[b] = input.byte();
        }
    }
}

// A transport at the block's start, as a host fills it: any flags and values.
void makeTransport(clap_event_transport& t, Input& input) {
    t = {};
    t.header = {sizeof t, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    const std::uint8_t flags = input.byte();
    t.flags = flags;
    t.tempo = flags & 0x80 ? input.real() : input.byte();
    const double beats = input.real() - 8.0;
    t.song_pos_beats = beatTime(beats);
    t.bar_start = beatTime(beats - input.byte() / 4.0);
    t.tsig_num = input.byte();
    t.tsig_denom = input.byte();
}

// ---- Processing -----------------------------------------------------------------------------

void process(Instance& in, Input& input) {
    const std::uint32_t frames = input.raw<std::uint16_t>() % (in.maxFrames + 1);
    const std::uint8_t how = input.byte();
    // The transport: the process's own, an event at the block's start, or none.
    clap_event_transport transport{};
    const int transportWay = how & 3;
    if (transportWay != 0) makeTransport(transport, input);
    EventList events;
    Effects effects;
    makeEvents(events, effects, input, true);
    if (transportWay == 2) {
        const std::size_t at = input.byte() % (events.slots.size() + 1);
        events.slots.insert(events.slots.begin() + static_cast<std::ptrdiff_t>(at),
                            EventList::Slot{});
        std::memcpy(events.slots[at].bytes, &transport, sizeof transport);
    }

    // Audio: any channel counts, 32-bit buffers or 64-bit or none, in place or apart.
    const std::uint8_t audio = input.byte();
    const std::uint32_t inChannels = (audio >> 0) & 3, outChannels = (audio >> 2) & 3;
    const bool in32 = audio & 16, out32 = audio & 32, inPlace = audio & 64, wide = audio & 128;
    std::uint32_t seed = input.byte() * 2654435761u + 1;
    std::vector<float> samples[6];
    std::vector<double> wideSamples[6];
    float* pointers[6] = {};
    double* widePointers[6] = {};
    for (int c = 0; c < 6; ++c) {
        samples[c].resize(frames);
        wideSamples[c].assign(frames, 0.25);
        for (float& s : samples[c]) {
            seed = seed * 1664525u + 1013904223u;
            s = (seed >> 28) == 0 ? std::bit_cast<float>(seed) : (seed >> 8) / 16777216.0f - 0.5f;
        }
        pointers[c] = samples[c].data();
        widePointers[c] = wideSamples[c].data();
    }
    float** outs = inPlace ? pointers : pointers + 3;
    const std::vector<float> inputBefore[3] = {samples[0], samples[1], samples[2]};
    const clap_audio_buffer inBuffer{in32 ? pointers : nullptr, wide ? widePointers : nullptr,
                                     inChannels, 0, 0};
    clap_audio_buffer outBuffer{out32 ? outs : nullptr, wide ? widePointers + 3 : nullptr,
                                outChannels, 0, 0};
    const bool inPort = how & 4, outPort = how & 8;

    OutputEvents& out = sentEvents();
    const clap_process block =
        processOf(frames, transportWay == 1 ? &transport : nullptr, inPort ? &inBuffer : nullptr,
                  outPort ? &outBuffer : nullptr, how & 16 ? nullptr : events.record(),
                  how & 32 ? nullptr : &out.record);
    const bool listed = block.in_events != nullptr && frames > 0;

    // What the block starts with: the values its events set, and what is due within it.
    double p[kParams];
    std::copy(std::begin(in.values), std::end(in.values), p);
    if (listed)
        for (const auto& [id, v] : effects.values)
            p[id] = fuzz::stored(static_cast<float>(v));
    const auto valueAt = [&](std::int32_t i) { return p[i]; };
    fuzz::ControlChanges stream;
    stream.expect(valueAt);
    if (listed) {
        std::uint32_t queued = 0;
        for (const auto& m : effects.midi)
            if (queued++ < kQueued) in.pending.add(m.delta, m.data[0], m.data[1], m.data[2]);
    }
    const bool silent = p[plugin::startStop] >= 0.5 && !in.pending.startDue(frames);

    const fuzz::Stopwatch watch;
    const clap_process_status status = in.plugin->process(in.plugin, &block);
    require(watch.within(kBlockBound, {}), "a block took the plug-in over 50 ms");
    require(status == CLAP_PROCESS_CONTINUE, "process does not continue");

    checkSent(out, frames, &stream);
    if (block.out_events != nullptr) stream.checkWhole(silent);
    if (frames == 0) return in.readValues();
    // Audio passes bit for bit where the host gave both sides; no input is silence.
    for (std::uint32_t c = 0; c < 2 && outPort && out32 && c < outChannels; ++c) {
        const bool source = inPort && in32 && c < inChannels;
        for (std::uint32_t i = 0; i < frames; ++i)
            require(std::bit_cast<std::uint32_t>(outs[c][i]) ==
                        std::bit_cast<std::uint32_t>(source ? inputBefore[c][i] : 0.0f),
                    source ? "output is not the input" : "output without input is not silence");
    }
    std::copy(std::begin(p), std::end(p), in.values);
    in.checkValues("a parameter event did not act at the block's start", true);
    in.pending.played(frames, [&] { return in.value(plugin::startStop); });
    in.values[plugin::startStop] = in.value(plugin::startStop);
}

// ---- Parameters -----------------------------------------------------------------------------

void parameters(Instance& in, Input& input) {
    const std::uint8_t what = input.byte();
    const clap_id id = what & 0x80 ? static_cast<clap_id>(input.number()) : input.byte() % 25;
    const bool exists = id < kParams;
    switch (what % 5) {
    case 0: {
        double v = -1.0;
        require(in.x.params->get_value(in.plugin, id, what & 8 ? nullptr : &v) ==
                    (exists && (what & 8) == 0),
                "get_value answers other than its id asks");
        break;
    }
    case 1: {
        const double v = what & 16 ? input.raw<double>() : input.real() / 64.0;
        const std::uint32_t capacity = input.byte();
        std::vector<char> text(capacity + 8, 0x7F);
        const bool done = in.x.params->value_to_text(in.plugin, id, v, text.data(), capacity);
        require(done == (exists && std::isfinite(v) && capacity > 0),
                "value_to_text answers other than its arguments ask");
        if (done)
            require(std::memchr(text.data(), 0, capacity) != nullptr,
                    "a value's text beyond its buffer or without its zero");
        require(std::all_of(text.begin() + capacity, text.end(), [](char c) { return c == 0x7F; }),
                "value_to_text wrote past its buffer");
        // Formatting never moves the values the song plays with.
        in.checkValues("value_to_text changed a parameter");
        break;
    }
    case 2: {
        std::string text;
        const std::uint8_t length = input.byte();
        static const char* const texts[] = {"0.5", "1,00", "0.25 %", "", "nan", "-0", "1e-3"};
        if (length < 7)
            text = texts[length];
        else
            for (std::uint8_t i = 7; i < length; ++i)
                text.push_back(static_cast<char>(input.byte() | 1));
        double v = -7.0;
        const bool done = in.x.params->text_to_value(in.plugin, id, text.c_str(), &v);
        require(!done || exists, "text_to_value of no parameter");
        require(!done || (v >= 0.0 && v <= 1.0), "text_to_value gives a value outside 0..1");
        in.checkValues("text_to_value changed a parameter");
        break;
    }
    case 3: {
        clap_param_info info{};
        const bool done = in.x.params->get_info(in.plugin, id, &info);
        require(done == exists, "get_info answers other than its index asks");
        if (done)
            require(info.id == id && info.min_value == 0.0 && info.max_value == 1.0 &&
                        info.default_value >= 0.0 && info.default_value <= 1.0 &&
                        std::memchr(info.name, 0, sizeof info.name) != nullptr,
                    "a parameter's info");
        break;
    }
    default: {
        // A flush as a host makes it while not processing: values act, nothing else.
        EventList events;
        Effects effects;
        makeEvents(events, effects, input, false);
        OutputEvents& out = sentEvents();
        in.x.params->flush(in.plugin, what & 8 ? nullptr : events.record(),
                           what & 16 ? nullptr : &out.record);
        checkSent(out, 0, nullptr);
        if ((what & 8) == 0)
            for (const auto& [index, v] : effects.values)
                in.values[index] = fuzz::stored(static_cast<float>(v));
        in.checkValues("a flush did not set the parameters it was given");
    }
    }
}

// ---- State ----------------------------------------------------------------------------------

std::vector<std::uint8_t> save(Instance& in) {
    Stream s;
    require(in.x.state->save(in.plugin, &s.out), "save to a willing stream fails");
    return s.bytes;
}

void state(Instance& in, Instance& other, Input& input) {
    const std::uint8_t what = input.byte();
    const std::vector<std::uint8_t> before = save(in);
    in.checkValues("save changed a parameter");
    Stream s;
    s.most = what & 8 ? input.byte() : 0;
    s.failAfter = what & 16 ? input.raw<std::uint16_t>() : -1;
    switch (what % 4) {
    case 0: {
        // Saving a stream that takes a little at a time, or fails: whole or refused.
        const bool done = in.x.state->save(in.plugin, &s.out);
        require(done == (s.bytes == before), "save answers other than its stream allows");
        in.checkValues("save changed a parameter");
        in.saved = before;
        return;
    }
    case 1: {
        // Any bytes.
        const std::size_t length = input.raw<std::uint16_t>() % 4096;
        for (std::size_t i = 0; i < length; ++i)
            s.bytes.push_back(input.byte());
        break;
    }
    case 2: {
        // A saved blob, this plug-in's or the other's, cut short or with bytes changed.
        s.bytes = what & 32 && !other.saved.empty() ? other.saved : in.saved;
        const std::uint8_t changes = input.byte() % 8;
        for (std::uint8_t i = 0; i < changes && !s.bytes.empty(); ++i)
            s.bytes[input.raw<std::uint16_t>() % s.bytes.size()] ^= input.byte();
        if (what & 64) s.bytes.resize(input.raw<std::uint16_t>() % (s.bytes.size() + 1));
        break;
    }
    default: {
        // The round trip: a blob loaded back gives the same blob, in this plug-in or another.
        Instance& into = what & 32 && other.initialized ? other : in;
        Stream whole;
        whole.bytes = before;
        require(into.x.state->load(into.plugin, &whole.in), "loading a saved state fails");
        require(save(into) == before, "a state loaded back saves other bytes");
        into.readValues();
        return;
    }
    }
    in.host.rescans = 0;
    const bool loaded = in.x.state->load(in.plugin, &s.in);
    if (!loaded) {
        require(save(in) == before, "a refused state changed the state");
        in.checkValues("a refused state changed a parameter");
        return;
    }
    require(!in.host.offersParams || in.host.rescans != 0, "a loaded state asks no rescan");
    in.readValues();
    const std::vector<std::uint8_t> after = save(in);
    Stream again;
    again.bytes = after;
    require(in.x.state->load(in.plugin, &again.in) && save(in) == after,
            "a loaded state does not come back bit for bit");
}

// ---- Editor ---------------------------------------------------------------------------------

void editor(Instance& in, Input& input) {
    const std::uint8_t what = input.byte();
    const clap_plugin* p = in.plugin;
    static const char* const apis[] = {CLAP_WINDOW_API_X11, CLAP_WINDOW_API_WIN32,
                                       CLAP_WINDOW_API_COCOA, nullptr};
    const char* api = apis[(what >> 4) & 3];
    const bool floating = what & 64;
    if (!in.guiCreated) {
        // Before create, a host asks only which window systems the editor takes.
        if (what % 3 == 0) {
            const bool created = in.x.gui->create(p, api, floating);
            require(created == (api == apis[0] && !floating), "create answers other than asked");
            in.guiCreated = created;
        } else if (what % 3 == 1) {
            require(in.x.gui->is_api_supported(p, api, floating) == (api == apis[0] && !floating),
                    "is_api_supported");
        } else {
            const char* preferred = nullptr;
            bool isFloating = true;
            require(in.x.gui->get_preferred_api(p, &preferred, &isFloating) && !isFloating &&
                        preferred != nullptr && std::strcmp(preferred, apis[0]) == 0,
                    "get_preferred_api");
        }
        return;
    }
    switch (what % 8) {
    case 0:
        in.x.gui->destroy(p);
        in.guiCreated = false;
        require(in.host.timers.empty(), "a destroyed editor left its timer registered");
        break;
    case 1: {
        clap_window window{};
        window.api = api;
        window.x11 = static_cast<clap_xwnd>(input.number());
        in.x.gui->set_parent(p, &window);
        break;
    }
    case 2: in.x.gui->show(p); break;
    case 3: in.x.gui->hide(p); break;
    case 4: {
        std::uint32_t w = 0, h = 0;
        require(in.x.gui->get_size(p, &w, &h) && w == 626 && h == 280, "the editor's size");
        require(!in.x.gui->can_resize(p), "the editor resizes");
        break;
    }
    case 5: {
        const std::uint32_t w = input.raw<std::uint16_t>(), h = input.raw<std::uint16_t>();
        require(in.x.gui->set_size(p, w, h) == (w == 626 && h == 280), "set_size");
        break;
    }
    case 6: {
        // The host's timer fires: the one the editor registered, or another of the host's.
        const clap_id id = !in.host.timers.empty() && (what & 8)
                               ? in.host.timers.front().first
                               : static_cast<clap_id>(input.number());
        in.x.timer->on_timer(p, id);
        break;
    }
    default: in.x.gui->set_scale(p, input.real()); in.x.gui->suggest_title(p, "Ostrel 1");
    }
}

void extension(Instance& in, Input& input) {
    std::string id;
    const std::uint8_t length = input.byte() % 40;
    for (std::uint8_t i = 0; i < length; ++i)
        id.push_back(static_cast<char>(input.byte() | 1));
    const void* found = in.plugin->get_extension(in.plugin, id.c_str());
    static const char* const known[] = {CLAP_EXT_AUDIO_PORTS,  CLAP_EXT_NOTE_PORTS, CLAP_EXT_PARAMS,
                                        CLAP_EXT_LATENCY,      CLAP_EXT_STATE,      CLAP_EXT_GUI,
                                        CLAP_EXT_TIMER_SUPPORT};
    const bool isKnown =
        std::any_of(std::begin(known), std::end(known), [&](const char* k) { return id == k; });
    require((found != nullptr) == isKnown, "an extension answered for an id it is not");
    require(in.plugin->get_extension(in.plugin, nullptr) == nullptr, "an extension for no id");
}

// What holds between any two of the host's calls.
void checkAtRest(Instance& in) {
    require(in.host.misuses == 0, "a host extension asked for without its id, a timer of period 0 "
                                  "or one unregistered that is not registered");
    if (!in.initialized) return;
    for (std::uint32_t i = 0; i < kParams; ++i) {
        const double v = in.value(i);
        require(std::isfinite(v) && v >= 0.0 && v <= 1.0, "a parameter outside 0..1");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    framework::headless::standInForNativeWindows();
    // The editor has no windows here, and the door would look for its window on a display
    // among the children of whatever window the input names.
    unsetenv("DISPLAY");
    require(clap_entry.init("Morvo.clap"), "clap_entry init fails");
    factory =
        static_cast<const clap_plugin_factory*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    require(factory != nullptr && factory->get_plugin_count(factory) == 1, "the factory");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    Instance slots[2];
    {
        Input start(reinterpret_cast<const std::uint8_t*>("\0"), 1);
        create(slots[0], start);
    }
    for (int steps = 0; !input.empty() && steps < 2000; ++steps) {
        const std::uint8_t step = input.byte();
        Instance& in = slots[step >> 7];
        Instance& other = slots[(step >> 7) ^ 1];
        const Step s = (step & 15) >= 14 ? Process : static_cast<Step>(step & 15);
        if (s == HostSetup) {
            // What the host offers, as the plug-in finds it when it starts.
            const std::uint8_t what = input.byte();
            if (!in.initialized) {
                in.host.offersParams = what & 1;
                in.host.offersTimers = what & 2;
            }
            continue;
        }
        if (s != Create && in.plugin == nullptr) continue;
        // The calls CLAP allows in each state; a host makes no others.
        const bool allowed = [&] {
            switch (s) {
            case Create:
            case Destroy: return true;
            case Init: return !in.initialized;
            case Activate: return in.initialized && !in.active;
            case Deactivate: return in.active && !in.processing;
            case StartProcessing: return in.active && !in.processing;
            case StopProcessing: return in.processing;
            case Reset: return in.active;
            case Process: return in.processing;
            default: return in.initialized;
            }
        }();
        if (!allowed) continue;
        // Plug-ins are independent: what one is told leaves the other as it was.
        const bool otherAlive = other.initialized;
        switch (s) {
        case Create: create(in, input); break;
        case Init: init(in); break;
        case Activate: activate(in, input); break;
        case Deactivate:
            in.plugin->deactivate(in.plugin);
            in.active = false;
            break;
        case StartProcessing:
            require(in.plugin->start_processing(in.plugin), "start_processing fails");
            in.processing = true;
            break;
        case StopProcessing:
            in.plugin->stop_processing(in.plugin);
            in.processing = false;
            break;
        case Reset: in.plugin->reset(in.plugin); break;
        case Process: process(in, input); break;
        case Destroy: destroy(in); break;
        case Params: parameters(in, input); break;
        case State: state(in, other, input); break;
        case Gui: editor(in, input); break;
        default: extension(in, input); break;
        }
        checkAtRest(slots[0]);
        checkAtRest(slots[1]);
        if (otherAlive && other.initialized && &in != &other) {
            // A round trip into the other plug-in changes it on purpose.
            if (s == State) other.readValues();
            other.checkValues("one plug-in changed the other's parameters");
        }
    }
    for (Instance& in : slots)
        destroy(in);
    return 0;
}
