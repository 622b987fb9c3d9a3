// The VST 3 door's libFuzzer harness: instances made by the factory in this process and driven
// through their VST 3 interfaces as a host drives them (tests/vst3/Vst3Rig.h is the host), in
// any order the VST 3 rules allow (what they forbid is left out, as a host would not do it), with
// any process contexts, events, parameter changes, bus arrangements and state blobs. After every
// step it checks what a host relies on, with the checks the other harnesses make of the same
// plug-in (FuzzChecks.h), and aborts with a message when something breaks.
//
// The input is a list of steps, read as fuzz::Input reads them: a step byte (bit 7 picks the
// second instance, the low four bits the step), then its arguments. tests/fuzz/make_corpus.py
// writes the seed inputs in this encoding.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "formats/vst3/Vst3Plugin.h"
#include "framework/Platform.h"
#include "sequencer/uPlugin.h"
#include "tests/fuzz/FuzzChecks.h"
#include "tests/vst3/Vst3Rig.h"

extern "C" vst3_abi::IPluginFactory3* MORVO_VST3_CALL GetPluginFactory();

using namespace vst3_rig;
using fuzz::Input;
using fuzz::require;

namespace {

constexpr int32 kParams = plugin::kNumParams;
constexpr int32 kPrograms = 16;
constexpr ParamID kProgramParameter = vst3_door::kProgramParameter;
constexpr int32 kLargestBlock = 4096; // what the host's output list holds 16 messages a frame of
constexpr std::uint32_t kMaxEvents = 1200; // beyond the 1,024 messages the door queues
constexpr std::uint32_t kQueued = 1024;
constexpr auto kBlockBound = std::chrono::milliseconds(50);

enum Step : std::uint8_t {
    Create,
    Setup,
    Activate,
    Processing,
    Process,
    Params,
    State,
    Buses,
    Terminate, // the rest: Process again
};

// The program a value of the program-change parameter picks: its steps share 0..1 evenly.
int32 programOf(double v) {
    return std::min(kPrograms - 1,
                    static_cast<int32>(std::floor(std::clamp(v, 0.0, 1.0) * kPrograms)));
}

// A value a host sends: 0..1 most often, then edges and any bit pattern.
double anyValue(Input& input) {
    const std::uint8_t pick = input.byte();
    return pick < 0x80 ? pick / 127.0 : (pick < 0xC0 ? input.real() : input.raw<double>());
}

// A parameter id: the record's, the program's, or any.
ParamID anyId(Input& input) {
    const std::uint8_t pick = input.byte();
    if (pick < kParams) return pick;
    if (pick < 0xC0) return kProgramParameter;
    return static_cast<ParamID>(input.number());
}

// One instance and what its host knows of it: where it is in the life cycle, the values it was
// given, the program, the MIDI it holds until due, and its last saved state.
struct Plugin {
    ComponentHandler handler; // outlives the instance, which may hold it
    std::unique_ptr<Instance> rig;
    bool initialized = false, active = false, processing = false, withHandler = false;
    int32 maxFrames = 0; // set up since the last initialize; 0: not
    float values[kParams] = {};
    int32 program = 0;
    fuzz::Pending pending;
    std::vector<std::uint8_t> saved;

    const IEditControllerVtbl& edit() const { return *rig->controller->vtbl; }
    double value(ParamID id) const { return edit().getParamNormalized(rig->controller, id); }
    void readValues() {
        for (int32 i = 0; i < kParams; ++i)
            values[i] = static_cast<float>(value(static_cast<ParamID>(i)));
        program = programOf(value(kProgramParameter));
    }
    void checkValues(const char* what, bool butStartStop = false) const {
        for (int32 i = 0; i < kParams; ++i)
            if (!butStartStop || i != plugin::startStop)
                require(std::bit_cast<std::uint32_t>(static_cast<float>(value(
                            static_cast<ParamID>(i)))) == std::bit_cast<std::uint32_t>(values[i]),
                        what);
        require(value(kProgramParameter) == static_cast<double>(program) / (kPrograms - 1), what);
    }
    std::vector<std::uint8_t> save() const {
        Stream s;
        require(rig->component->vtbl->getState(rig->component, s.face()) == kResultOk,
                "getState to a willing stream fails");
        return s.bytes;
    }
    bool load(std::vector<std::uint8_t> bytes, int32 most = 0) {
        Stream s(std::move(bytes), most);
        return rig->component->vtbl->setState(rig->component, s.face()) == kResultOk;
    }
};

// ---- Life cycle -----------------------------------------------------------------------------

// A host takes an instance down in the order VST 3 asks: stop processing, deactivate, terminate.
void destroy(Plugin& in) {
    if (in.rig == nullptr) return;
    if (in.processing) in.rig->processor->vtbl->setProcessing(in.rig->processor, 0);
    if (in.active) in.rig->component->vtbl->setActive(in.rig->component, 0);
    if (in.initialized) in.rig->component->vtbl->base.terminate(in.rig->component);
    in.rig.reset();
    in.initialized = in.active = in.processing = false;
    in.maxFrames = 0;
    in.pending = {};
    in.saved.clear();
}

void initialize(Plugin& in, bool withHandler) {
    require(in.rig->component->vtbl->base.initialize(in.rig->component, nullptr) == kResultOk,
            "initialize fails");
    in.initialized = true;
    in.maxFrames = 0;
    in.pending = {};
    in.withHandler = withHandler;
    in.edit().setComponentHandler(in.rig->controller, withHandler ? in.handler.face() : nullptr);
    require(in.edit().getParameterCount(in.rig->controller) == kParams + 1,
            "not the record's parameters and the program's");
    in.readValues();
}

void create(Plugin& in, Input& input) {
    destroy(in);
    const std::uint8_t how = input.byte();
    IPluginFactory3* factory = GetPluginFactory();
    if (how & 1) {
        // Another class id gets nothing.
        void* made = &in;
        const Uid other = makeUid(1, 2, 3, static_cast<std::uint32_t>(input.number()));
        require(factory->vtbl->factory2.factory.createInstance(
                    factory, other.bytes, IComponent_iid.bytes, &made) != kResultOk &&
                    made == nullptr,
                "an instance of another class");
    }
    in.rig = std::make_unique<Instance>(factory, vst3_door::kClassId);
    require(in.rig->whole(), "the factory's instance lacks an interface");
    initialize(in, (how & 2) == 0);
}

void setup(Plugin& in, Input& input) {
    ProcessSetup s{input.byte() % 3, input.byte() & 1 ? kSample64 : kSample32,
                   input.raw<std::int16_t>() % (kLargestBlock + 1), 0.0};
    const std::uint8_t r = input.byte();
    s.sampleRate = r < 0x80 ? r * 1000.0 : input.real();
    const bool fits =
        s.sampleRate > 0.0 && s.maxSamplesPerBlock > 0 && s.symbolicSampleSize == kSample32;
    const tresult done = in.rig->processor->vtbl->setupProcessing(in.rig->processor, s);
    require((done == kResultOk) == fits, "setupProcessing answers other than its setup asks");
    if (fits) in.maxFrames = s.maxSamplesPerBlock;
}

// ---- Processing -----------------------------------------------------------------------------

void makeContext(ProcessContext& c, Input& input) {
    static constexpr std::uint32_t flags[] = {ProcessContext::kPlaying, ProcessContext::kTempoValid,
                                              ProcessContext::kProjectTimeMusicValid,
                                              ProcessContext::kBarPositionValid,
                                              ProcessContext::kTimeSigValid};
    const std::uint8_t pick = input.byte();
    c.state = 0;
    for (int b = 0; b < 5; ++b)
        if (pick & (1 << b)) c.state |= flags[b];
    if (pick & 0x80) c.state = input.raw<std::uint32_t>();
    c.sampleRate = pick & 0x40 ? input.real() : 44100.0;
    c.tempo = pick & 0x20 ? input.real() : input.byte();
    c.projectTimeMusic = input.real() - 8.0;
    c.barPositionMusic = c.projectTimeMusic - input.byte() / 4.0;
    c.projectTimeSamples = input.byte() == 0xFF ? input.raw<std::int64_t>() : 0;
    c.timeSigNumerator = input.number();
    c.timeSigDenominator = input.number();
}

// Notes at any offsets, of any key, channel, bus and velocity, among events of other types; the
// ones the door hands the plug-in go to its pending MIDI.
void makeEvents(EventList& list, Plugin& in, Input& input, bool taken) {
    const std::uint32_t count = input.raw<std::uint16_t>() % (kMaxEvents + 1);
    std::uint32_t queued = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t kind = input.byte();
        Event e{};
        e.type = (kind & 7) < 4 ? (kind & 7) : static_cast<std::uint16_t>(input.number());
        e.busIndex = kind & 8 ? input.number() : 0;
        e.sampleOffset = input.number();
        const auto channel = static_cast<int16>(kind & 16 ? input.number() : kind >> 5);
        const auto pitch = static_cast<int16>(input.number());
        const float velocity = input.value();
        if (e.type == Event::kNoteOffEvent)
            e.noteOff = {channel, pitch, velocity, -1, 0.0f};
        else
            e.noteOn = {channel, pitch, 0.0f, velocity, 0, -1};
        list.events.push_back(e);
        const bool on = e.type == Event::kNoteOnEvent;
        if (taken && (on || e.type == Event::kNoteOffEvent) && e.busIndex == 0 && pitch >= 0 &&
            pitch <= 127 && queued++ < kQueued)
            // A note-on keeps a velocity of at least 1: MIDI's 0 would make it a note-off.
            in.pending.add(std::max(e.sampleOffset, 0), on ? 0x90 : 0x80,
                           static_cast<unsigned char>(pitch), on ? 1 : 0);
    }
}

void process(Plugin& in, Input& input) {
    const auto frames = static_cast<int32>(input.raw<std::uint16_t>() %
                                           static_cast<std::uint32_t>(in.maxFrames + 1));
    const std::uint8_t how = input.byte();
    Block block(frames);
    ProcessData& data = block.data;
    if (how & 1)
        makeContext(block.context, input);
    else
        data.processContext = nullptr;
    if (how & 2) data.inputEvents = nullptr;
    if (how & 4) data.outputEvents = nullptr;
    if (how & 8) data.outputParameterChanges = nullptr;

    // Parameter changes: points on any parameter, the program's among them, applied in turn.
    float p[kParams];
    std::copy(std::begin(in.values), std::end(in.values), p);
    int32 program = -1; // the last program a point picks
    const std::uint8_t queues = input.byte() % 6;
    for (std::uint8_t q = 0; q < queues; ++q) {
        const ParamID id = anyId(input);
        for (std::uint8_t n = input.byte() % 4 + 1; n > 0; --n)
            block.changes.set(id, anyValue(input), input.number());
    }
    for (int32 q = 0; q < block.changes.used; ++q) {
        const ValueQueue& queue = block.changes.queues[q];
        for (int32 n = 0; n < queue.points; ++n) {
            if (!std::isfinite(queue.values[n])) continue;
            if (queue.parameter < static_cast<ParamID>(kParams))
                p[queue.parameter] = fuzz::stored(static_cast<float>(queue.values[n]));
            else if (queue.parameter == kProgramParameter)
                program = programOf(queue.values[n]);
        }
    }

    // Audio: either side given or not, in place or apart, of no, one or two channels.
    const std::uint8_t audio = input.byte();
    const int32 inChannels = (audio & 3) % 3, outChannels = (audio >> 2) % 3;
    if (audio & 16) data.numInputs = 0;
    if (audio & 32) data.numOutputs = 0;
    block.in.numChannels = std::min(inChannels, 2);
    block.out.numChannels = std::min(outChannels, 2);
    if (audio & 64)
        for (int c = 0; c < 2; ++c)
            block.outputs[c] = block.inputs[c];
    std::uint32_t seed = input.byte() * 2654435761u + 1;
    for (float& s : block.samples) {
        seed = seed * 1664525u + 1013904223u;
        s = (seed >> 8) / 16777216.0f - 0.5f;
    }
    const std::vector<float> before = block.samples;

    // The notes count only in a block the plug-in plays.
    const bool played = in.active && in.maxFrames > 0 && frames > 0;
    if ((how & 2) == 0) makeEvents(block.events, in, input, played);
    const bool silent = program < 0 && p[plugin::startStop] >= 0.5f &&
                        !in.pending.startDue(static_cast<std::uint64_t>(frames));

    in.handler.edits.clear();
    const fuzz::Stopwatch watch;
    const tresult result = in.rig->processor->vtbl->process(in.rig->processor, data);
    require(watch.within(kBlockBound, {}), "a block took the plug-in over 50 ms");
    if (!in.active || in.maxFrames == 0) {
        // A block before activation plays nothing and changes nothing.
        require(result != kResultOk && block.sent.events.empty() && block.sentChanges.used == 0,
                "an inactive instance processed");
        return in.checkValues("an inactive instance took parameter changes");
    }
    require(result == kResultOk, "process fails");

    // The parameters: the record's as the changes left them, the program the last one picked;
    // the stream is made of the values the block ran with, which it never changes but for the
    // start/stop parameter.
    if (program >= 0) {
        const bool changed = program != in.program;
        in.readValues();
        require(in.program == program, "a program change did not pick its program");
        if (changed && data.outputParameterChanges != nullptr)
            for (int32 i = 0; i < kParams; ++i)
                require(block.sentChanges.last(static_cast<ParamID>(i)) >= 0.0,
                        "a program change left a value untold");
    } else {
        std::copy(std::begin(p), std::end(p), in.values);
        in.checkValues("a parameter change did not act at the block's start", true);
    }
    const auto valueAt = [&](std::int32_t i) { return in.value(static_cast<ParamID>(i)); };
    fuzz::ControlChanges stream;
    stream.expect(valueAt);

    // What went out: Control Changes of the stream, in time order within the block's frames,
    // automation of parameters that exist within 0..1, and nothing through the handler.
    require(block.sent.refused == 0, "more MIDI than a block may send");
    int32 last = 0;
    for (const Event& e : block.sent.events) {
        std::uint8_t bytes[3];
        require(e.type == Event::kLegacyMIDICCOutEvent && midiOf(e, bytes) && e.busIndex == 0,
                "an output event that is no Control Change");
        require(e.sampleOffset >= last && e.sampleOffset < frames,
                "an output event out of order or beyond the block's frames");
        last = e.sampleOffset;
        stream.check(bytes[0], bytes[1], bytes[2]);
    }
    if (data.outputEvents != nullptr) stream.checkWhole(silent);
    for (int32 q = 0; q < block.sentChanges.used; ++q) {
        const ValueQueue& queue = block.sentChanges.queues[q];
        require(queue.parameter < static_cast<ParamID>(kParams), "automation of no parameter");
        for (int32 n = 0; n < queue.points; ++n)
            require(queue.values[n] >= 0.0 && queue.values[n] <= 1.0 && queue.offsets[n] >= 0 &&
                        (queue.offsets[n] < frames || queue.offsets[n] == 0),
                    "automation outside 0..1 or the block");
    }
    require(in.handler.edits.empty(), "the component handler called from process");

    // Audio passes bit for bit where the host gave both sides; no input is silence.
    const std::size_t n = static_cast<std::size_t>(frames);
    for (int32 c = 0; data.numOutputs > 0 && c < block.out.numChannels; ++c) {
        const bool source = data.numInputs > 0 && c < block.in.numChannels;
        const float* out = block.outputs[c];
        for (std::size_t i = 0; i < n; ++i)
            require(std::bit_cast<std::uint32_t>(out[i]) ==
                        std::bit_cast<std::uint32_t>(source ? before[c * n + i] : 0.0f),
                    source ? "output is not the input" : "output without input is not silence");
    }
    if (frames > 0)
        in.pending.played(static_cast<std::uint64_t>(frames),
                          [&] { return in.value(plugin::startStop); });
    in.values[plugin::startStop] = static_cast<float>(in.value(plugin::startStop));
}

// ---- Parameters -----------------------------------------------------------------------------

void parameters(Plugin& in, Input& input) {
    const std::uint8_t what = input.byte();
    const ParamID id = anyId(input);
    const bool record = id < static_cast<ParamID>(kParams),
               exists = record || id == kProgramParameter;
    const double v = anyValue(input);
    IEditController* c = in.rig->controller;
    switch (what % 5) {
    case 0: {
        // The host sets a value: the record's are stored within 0..1, a program brings its own.
        in.handler.restarts = 0;
        const tresult done = in.edit().setParamNormalized(c, id, v);
        require((done == kResultOk) == (exists && std::isfinite(v)),
                "setParamNormalized answers other than its arguments ask");
        if (done != kResultOk) break;
        if (record) {
            in.values[id] = fuzz::stored(static_cast<float>(v));
        } else if (programOf(v) != in.program) {
            require(!in.withHandler || in.handler.restarts & kParamValuesChanged,
                    "a program picked by the host asks no rescan");
            in.readValues();
            require(in.program == programOf(v), "setParamNormalized did not pick the program");
        }
        break;
    }
    case 1: {
        String128 shown;
        std::fill(std::begin(shown), std::end(shown), char16{0x7F});
        const tresult done = in.edit().getParamStringByValue(c, id, v, shown);
        require((done == kResultOk) == (exists && std::isfinite(v)),
                "getParamStringByValue answers other than its arguments ask");
        if (done == kResultOk)
            require(std::find(std::begin(shown), std::end(shown), 0) != std::end(shown),
                    "a value's text without its zero");
        break;
    }
    case 2: {
        // Any text, of any units; a value read from it is one a parameter can take.
        String128 typed{};
        const std::uint8_t length = input.byte() % 128;
        for (std::uint8_t i = 0; i < length; ++i) {
            const std::uint8_t unit = input.byte();
            typed[i] = unit != 0 ? unit : char16{0x263A};
        }
        double read = -7.0;
        if (in.edit().getParamValueByString(c, id, typed, read) == kResultOk)
            require(exists && read >= 0.0 && read <= 1.0,
                    "getParamValueByString gives a value outside 0..1");
        break;
    }
    case 3: {
        ParameterInfo info{};
        const int32 index = static_cast<int32>(id == kProgramParameter ? kParams : id);
        const bool done = in.edit().getParameterInfo(c, index, info) == kResultOk;
        require(done == (index >= 0 && index <= kParams), "getParameterInfo of no parameter");
        if (done)
            require(info.id ==
                            (index < kParams ? static_cast<ParamID>(index) : kProgramParameter) &&
                        info.defaultNormalizedValue >= 0.0 && info.defaultNormalizedValue <= 1.0 &&
                        std::find(std::begin(info.title), std::end(info.title), 0) !=
                            std::end(info.title) &&
                        (index < kParams || info.stepCount == kPrograms - 1),
                    "a parameter's info");
        break;
    }
    default: {
        const double plain = in.edit().normalizedParamToPlain(c, id, v);
        const double back = in.edit().plainParamToNormalized(c, id, plain);
        if (id == kProgramParameter && std::isfinite(v))
            require(plain == programOf(v) && back >= 0.0 && back <= 1.0 &&
                        programOf(back) == programOf(v),
                    "a program's plain value");
    }
    }
    // Reading and formatting never move the values the song plays with.
    in.checkValues("a parameter call changed a value it was not given");
}

// ---- State ----------------------------------------------------------------------------------

void state(Plugin& in, Plugin& other, Input& input) {
    const std::uint8_t what = input.byte();
    const std::vector<std::uint8_t> before = in.save();
    in.checkValues("getState changed a parameter");
    const int32 most = what & 8 ? input.byte() : 0;
    std::vector<std::uint8_t> bytes;
    switch (what % 4) {
    case 0: {
        // Saved through a stream that takes a little at a time: whole.
        Stream s({}, most);
        require(in.rig->component->vtbl->getState(in.rig->component, s.face()) == kResultOk &&
                    s.bytes == before,
                "a state saved in pieces differs");
        in.saved = before;
        require(in.rig->component->vtbl->setState(in.rig->component, nullptr) != kResultOk,
                "a state from no stream");
        return;
    }
    case 1: {
        const std::size_t length = input.raw<std::uint16_t>() % 4096;
        for (std::size_t i = 0; i < length; ++i)
            bytes.push_back(input.byte());
        break;
    }
    case 2: {
        // A saved blob, this instance's or the other's, cut short or with bytes changed.
        bytes = what & 32 && !other.saved.empty() ? other.saved : in.saved;
        const std::uint8_t changes = input.byte() % 8;
        for (std::uint8_t i = 0; i < changes && !bytes.empty(); ++i)
            bytes[input.raw<std::uint16_t>() % bytes.size()] ^= input.byte();
        if (what & 64) bytes.resize(input.raw<std::uint16_t>() % (bytes.size() + 1));
        break;
    }
    default: {
        // The round trip: a blob loaded back gives the same blob, in this instance or another.
        Plugin& into = what & 32 && other.initialized ? other : in;
        require(into.load(before, most), "loading a saved state fails");
        require(into.save() == before, "a state loaded back saves other bytes");
        into.readValues();
        return;
    }
    }
    in.handler.restarts = 0;
    if (!in.load(bytes, most)) {
        require(in.save() == before, "a refused state changed the state");
        return in.checkValues("a refused state changed a parameter");
    }
    require(!in.withHandler || in.handler.restarts & kParamValuesChanged,
            "a loaded state asks no rescan");
    in.readValues();
    const std::vector<std::uint8_t> after = in.save();
    require(in.load(after) && in.save() == after, "a loaded state does not come back bit for bit");
}

// ---- Buses ----------------------------------------------------------------------------------

void buses(Plugin& in, Input& input) {
    const std::uint8_t what = input.byte();
    IComponent* component = in.rig->component;
    IAudioProcessor* processor = in.rig->processor;
    const auto type = static_cast<MediaType>(input.byte() % 3);
    const auto direction = static_cast<BusDirection>(input.byte() % 3);
    const int32 index = input.number();
    const bool exists = type <= kEvent && direction <= kOutput && index == 0;
    switch (what % 4) {
    case 0: {
        // Any layouts offered: stereo through is the one taken.
        SpeakerArrangement layouts[2][2];
        int32 counts[2];
        for (int side = 0; side < 2; ++side) {
            counts[side] = input.byte() % 3;
            for (SpeakerArrangement& l : layouts[side])
                l = input.byte() < 0x80 ? kStereo : input.raw<SpeakerArrangement>();
        }
        const bool none = what & 8;
        const bool stereo = !none && counts[0] == 1 && counts[1] == 1 && layouts[0][0] == kStereo &&
                            layouts[1][0] == kStereo;
        require((processor->vtbl->setBusArrangements(processor, none ? nullptr : layouts[0],
                                                     counts[0], none ? nullptr : layouts[1],
                                                     counts[1]) == kResultTrue) == stereo,
                "setBusArrangements takes other than stereo through");
        break;
    }
    case 1: {
        BusInfo bus{};
        require(component->vtbl->getBusCount(component, type, direction) ==
                    (type <= kEvent && direction <= kOutput ? 1 : 0),
                "a bus count");
        require((component->vtbl->getBusInfo(component, type, direction, index, bus) ==
                 kResultOk) == exists,
                "getBusInfo of another bus");
        break;
    }
    case 2:
        require((component->vtbl->activateBus(component, type, direction, index, what & 8) ==
                 kResultTrue) == exists,
                "activateBus of another bus");
        break;
    default: {
        SpeakerArrangement layout = 0;
        require((processor->vtbl->getBusArrangement(processor, direction, index, layout) ==
                 kResultTrue) == (direction <= kOutput && index == 0),
                "getBusArrangement of another bus");
        const int32 size = input.number();
        require((processor->vtbl->canProcessSampleSize(processor, size) == kResultTrue) ==
                    (size == kSample32),
                "canProcessSampleSize");
    }
    }
    in.checkValues("a bus call changed a parameter");
}

// What holds between any two of the host's calls.
void checkAtRest(const Plugin& in) {
    if (!in.initialized) return;
    for (int32 i = 0; i <= kParams; ++i) {
        const double v = in.value(i < kParams ? static_cast<ParamID>(i) : kProgramParameter);
        require(std::isfinite(v) && v >= 0.0 && v <= 1.0, "a parameter outside 0..1");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The library measures the editor when it describes itself: in memory, not on a display.
    framework::headless::standInForNativeWindows();
    unsetenv("DISPLAY");
    IPluginFactory3* factory = GetPluginFactory();
    require(factory != nullptr && factory->vtbl->factory2.factory.countClasses(factory) == 1,
            "the factory");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    Plugin slots[2];
    {
        Input start(reinterpret_cast<const std::uint8_t*>("\0"), 1);
        create(slots[0], start);
    }
    for (int steps = 0; !input.empty() && steps < 2000; ++steps) {
        const std::uint8_t step = input.byte();
        Plugin& in = slots[step >> 7];
        Plugin& other = slots[(step >> 7) ^ 1];
        const Step s = (step & 15) > Terminate ? Process : static_cast<Step>(step & 15);
        if (s != Create && in.rig == nullptr) continue;
        // The calls VST 3 allows in each state; a host makes no others.
        const bool allowed = [&] {
            switch (s) {
            case Create:
            case Terminate: return true;
            case Setup: return in.initialized && !in.active;
            // A host plays only what it set up since initialising; before it activates, it may.
            case Process: return in.initialized && (!in.active || in.maxFrames > 0);
            case Activate: return in.initialized && !in.processing;
            case Processing: return in.active;
            default: return in.initialized;
            }
        }();
        if (!allowed) continue;
        in.handler.edits.clear();
        // Instances are independent: what one is told leaves the other as it was.
        const bool otherAlive = other.initialized;
        switch (s) {
        case Create: create(in, input); break;
        case Setup: setup(in, input); break;
        case Activate:
            in.active = input.byte() & 1;
            require(in.rig->component->vtbl->setActive(in.rig->component, in.active) == kResultOk,
                    "setActive fails");
            break;
        case Processing:
            in.processing = input.byte() & 1;
            require(in.rig->processor->vtbl->setProcessing(in.rig->processor, in.processing) ==
                        kResultOk,
                    "setProcessing fails");
            break;
        case Process: process(in, input); break;
        case Params: parameters(in, input); break;
        case State: state(in, other, input); break;
        case Buses: buses(in, input); break;
        default:
            if (!in.initialized) {
                initialize(in, true);
                break;
            }
            if (in.processing) in.rig->processor->vtbl->setProcessing(in.rig->processor, 0);
            if (in.active) in.rig->component->vtbl->setActive(in.rig->component, 0);
            require(in.rig->component->vtbl->base.terminate(in.rig->component) == kResultOk,
                    "terminate fails");
            in.initialized = in.active = in.processing = false;
        }
        checkAtRest(slots[0]);
        checkAtRest(slots[1]);
        if (otherAlive && other.initialized) {
            // A round trip into the other instance changes it on purpose.
            if (s == State) other.readValues();
            other.checkValues("one instance changed the other's parameters");
        }
    }
    for (Plugin& in : slots)
        destroy(in);
    return 0;
}
