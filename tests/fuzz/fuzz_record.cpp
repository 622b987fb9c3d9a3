// One libFuzzer harness: instances made through the entry point and driven through their effect
// records as a host drives them, with a host callback that answers as the input says. After
// every step it checks what a host relies on, and aborts with a message when something breaks.
//
// The input is a list of steps. Each starts with a byte choosing the step; its arguments follow.
// Numbers are read as fuzz::Input reads them (FuzzChecks.h). tests/fuzz/make_corpus.py writes
// the seed inputs in this encoding.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "editor/uPluginEditor.h"
#include "framework/Platform.h"
#include "host/Morvo.h"
#include "host/VstEventList.h"
#include "sequencer/uPlugin.h"
#include "tests/fuzz/FuzzChecks.h"

namespace {

constexpr std::int32_t kParams = plugin::kNumParams;
constexpr std::int32_t kMaxEvents = 1000;
constexpr std::int32_t kMaxFrames = 4096;
constexpr auto kBlockBound = std::chrono::milliseconds(50);

using fuzz::Input;
using fuzz::require;

struct Instance {
    AEffect* effect = nullptr;
    fuzz::Pending pending; // the MIDI it was sent and holds until due
    APlugin& plugin() const {
        return *static_cast<APlugin*>(static_cast<AudioEffect*>(effect->object));
    }
};

// What the host answers, and what it checks while a block runs.
struct Host {
    std::int32_t version = 2400;
    std::int32_t tempo[2] = {1200000, 1200000};
    std::uint32_t tempoSwitch = 0, tempoCalls = 0;
    bool noTime = true;
    VstTimeInfo time{};
    double ppqStep = 0.0;
    VstIntPtr eventsAnswer = 1;
    Instance* processing = nullptr;
    bool listEnded = false; // the block's last list came
    fuzz::ControlChanges sent;
    // Time spent answering during the current block: the host's, not the plug-in's.
    std::chrono::steady_clock::duration answering{};
} host;

void checkMessage(AEffect* effect, void* ptr) {
    require(host.processing != nullptr, "MIDI sent outside processing");
    require(effect == host.processing->effect, "MIDI sent with another instance's record");
    const auto* list = static_cast<const VstEvents*>(ptr);
    require(list != nullptr && list->numEvents >= 1 && list->numEvents <= plugin::kOutgoingRecords,
            "MIDI output list of no events or too many");
    // Qtractor keeps only a block's last list: only a full list may come before another.
    require(!host.listEnded, "a block's MIDI in a list after one that was not full");
    host.listEnded = list->numEvents < plugin::kOutgoingRecords;
    // The pointers run past the two the record declares.
    VstEvent* const* events = list->events;
    for (std::int32_t i = 0; i < list->numEvents; ++i) {
        require(events[i] != nullptr, "MIDI output list with a null event");
        const auto& m = *reinterpret_cast<const VstMidiEvent*>(events[i]);
        require(m.type == kVstMidiType && m.byteSize == sizeof(VstMidiEvent) &&
                    m.deltaFrames == 0 && m.flags == 0 && m.noteLength == 0 && m.noteOffset == 0 &&
                    m.midiData[3] == 0 && m.detune == 0 && m.noteOffVelocity == 0 &&
                    m.reserved1 == plugin::kRecordMark && m.reserved2 == 0,
                "MIDI output record fields");
        host.sent.check(static_cast<unsigned char>(m.midiData[0]),
                        static_cast<unsigned char>(m.midiData[1]),
                        static_cast<unsigned char>(m.midiData[2]));
    }
}

VstIntPtr answer(AEffect* effect, std::int32_t opcode, std::int32_t index, void* ptr, float opt) {
    if (host.processing != nullptr)
        require(effect == host.processing->effect, "request with another instance's record");
    switch (opcode) {
    case audioMasterVersion: return host.version;
    case audioMasterProcessEvents: checkMessage(effect, ptr); return host.eventsAnswer;
    case audioMasterTempoAt: {
        const std::uint32_t n = host.tempoCalls++;
        return host.tempo[host.tempoSwitch != 0 && (n / host.tempoSwitch) % 2 != 0 ? 1 : 0];
    }
    case audioMasterGetTime:
        if (host.noTime) return 0;
        host.time.ppqPos += host.ppqStep;
        return reinterpret_cast<VstIntPtr>(&host.time);
    case audioMasterAutomate: {
        require(host.processing == nullptr, "automation reported during processing");
        require(index >= 0 && index < kParams, "automation of no parameter");
        const float stored = effect->getParameter(effect, index);
        require(stored == opt, "automation reports another value than the stored one");
        return 0;
    }
    default: return 0;
    }
}

VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                   VstIntPtr, void* ptr, float opt) {
    const auto start = std::chrono::steady_clock::now();
    const VstIntPtr result = answer(effect, opcode, index, ptr, opt);
    host.answering += std::chrono::steady_clock::now() - start;
    return result;
}

VstIntPtr dispatch(Instance& in, std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
    const VstIntPtr result = in.effect->dispatcher(in.effect, opcode, index, value, ptr, opt);
    if (opcode == effClose) in = Instance{};
    return result;
}

void create(Instance& in, std::int32_t version) {
    if (in.effect != nullptr) dispatch(in, effClose);
    host.version = version;
    in.effect = pluginMain(hostCallback);
    if (version == 0) return require(in.effect == nullptr, "an instance for a host of version 0");
    const AEffect* e = in.effect;
    require(e != nullptr && e->magic == kEffectMagic && e->numParams == kParams &&
                e->numPrograms == plugin::kNumPrograms && e->numInputs == 2 && e->numOutputs == 2 &&
                (e->flags & effFlagsHasEditor) != 0,
            "the record from the entry point");
}

// What holds between any two of the host's calls.
void checkAtRest(Instance& in) {
    if (in.effect == nullptr) return;
    for (std::int32_t i = 0; i < kParams; ++i) {
        const float v = in.effect->getParameter(in.effect, i);
        require(std::isfinite(v) && v >= 0.0f && v <= 1.0f, "a parameter outside 0..1");
    }
    const std::int32_t pending = in.plugin().waitingEvents();
    require(pending >= 0 && pending <= plugin::kDelayRecords, "more than 250 events waiting");
    require(pending == static_cast<std::int32_t>(in.pending.size()),
            "the pool holds another number of events than were stored and not yet due");
    const VstIntPtr program = dispatch(in, effGetProgram);
    require(program >= 0 && program < plugin::kNumPrograms, "current program out of range");
}

void sendEvents(Instance& in, Input& input) {
    const std::int32_t count =
        static_cast<std::int32_t>(input.raw<std::uint16_t>() % (kMaxEvents + 1));
    // Generic 32-byte records; the list is allocated numEvents long, as hosts do.
    std::vector<VstMidiEvent> events(static_cast<std::size_t>(count));
    VstEventList list(nullptr, static_cast<std::size_t>(count));
    VstEvent** entries = list.pointers();
    for (std::int32_t i = 0; i < count; ++i) {
        VstMidiEvent& ev = events[static_cast<std::size_t>(i)];
        const std::uint8_t kind = input.byte();
        ev.type = kind < 0xE0 ? kVstMidiType : (kind < 0xF0 ? kVstSysExType : input.number());
        ev.byteSize = kind & 1 ? input.number() : 24;
        ev.deltaFrames = input.number();
        ev.flags = input.byte();
        ev.midiData[0] = static_cast<char>(input.byte());
        ev.midiData[1] = static_cast<char>(input.byte());
        ev.midiData[2] = static_cast<char>(input.byte());
        entries[i] = reinterpret_cast<VstEvent*>(&ev);
        if (ev.type == kVstMidiType)
            in.pending.add(ev.deltaFrames, static_cast<unsigned char>(ev.midiData[0]),
                           static_cast<unsigned char>(ev.midiData[1]),
                           static_cast<unsigned char>(ev.midiData[2]));
    }
    const fuzz::Stopwatch watch;
    const VstIntPtr result = dispatch(in, effProcessEvents, 0, 0, list.get());
    require(watch.within(kBlockBound, {}), "processEvents took the plug-in over 50 ms");
    require(result == 1, "processEvents does not answer 1");
}

void processBlock(Instance& in, Input& input) {
    const std::int32_t frames =
        static_cast<std::int32_t>(input.raw<std::uint16_t>() % (kMaxFrames + 1));
    const std::uint8_t how = input.byte();
    const bool replacing = how & 1, inPlace = how & 2;
    std::uint32_t seed = input.byte() * 2654435761u + 1;
    const auto n = static_cast<std::size_t>(frames);
    std::vector<float> buffers[4] = {std::vector<float>(n), std::vector<float>(n),
                                     std::vector<float>(n), std::vector<float>(n)};
    for (auto& buffer : buffers)
        for (float& sample : buffer) {
            seed = seed * 1664525u + 1013904223u;
            sample =
                (seed >> 28) == 0 ? std::bit_cast<float>(seed) : (seed >> 8) / 16777216.0f - 0.5f;
        }
    float* ins[2] = {buffers[0].data(), buffers[1].data()};
    float* outs[2] = {buffers[inPlace ? 0 : 2].data(), buffers[inPlace ? 1 : 3].data()};
    float** inputs = ins;
    float** outputs = outs;
    // Hosts may hand a MIDI effect no audio, or only some of it.
    switch ((how >> 2) & 7) {
    case 1: inputs = nullptr; break;
    case 2: outputs = nullptr; break;
    case 3: ins[0] = nullptr; break;
    case 4: outs[1] = nullptr; break;
    case 5: inputs = outputs = nullptr; break;
    default: break;
    }
    std::vector<float> before[2];
    for (int c = 0; c < 2; ++c)
        if (outs[c] != nullptr) before[c].assign(outs[c], outs[c] + n);

    // What may happen in this block, known before it runs.
    const auto p = [&](std::int32_t i) {
        return static_cast<long double>(in.effect->getParameter(in.effect, i));
    };
    const bool silent = p(plugin::startStop) >= 0.5L && !in.pending.startDue(n);
    host.sent.expect(p);
    host.answering = {};
    host.processing = &in;
    host.listEnded = false;

    const fuzz::Stopwatch watch;
    (replacing ? in.effect->processReplacing : in.effect->process)(in.effect, inputs, outputs,
                                                                   frames);
    require(watch.within(kBlockBound, host.answering), "a block took the plug-in over 50 ms");
    host.processing = nullptr;

    host.sent.checkWhole(silent);
    // Audio passes unchanged (replacing) or is added (accumulating), bit for bit. Without all
    // four buffers a channel may pass or be left alone, nothing else.
    const bool audio = inputs && outputs && ins[0] && ins[1] && outs[0] && outs[1];
    const auto same = [](float a, float b) {
        return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b) ||
               (std::isnan(a) && std::isnan(b));
    };
    for (int c = 0; c < 2; ++c) {
        if (outputs == nullptr || outs[c] == nullptr) continue;
        const bool source = inputs != nullptr && ins[c] != nullptr;
        for (std::size_t i = 0; i < n; ++i) {
            const float got = outs[c][i];
            const float sample = source ? (inPlace ? before[c][i] : ins[c][i]) : 0.0f;
            const float expected = replacing ? sample : before[c][i] + sample;
            const bool passed = source && same(got, expected);
            const bool untouched =
                std::bit_cast<std::uint32_t>(got) == std::bit_cast<std::uint32_t>(before[c][i]);
            require(passed || (!audio && untouched),
                    replacing ? "replacing output is not the input"
                              : "accumulating output is not output plus input");
        }
    }
    // The events due in this block have acted.
    in.pending.played(n, [&] { return p(plugin::startStop); });
}

void dispatchAny(Instance& in, Input& input) {
    const std::uint8_t choice = input.byte();
    const std::int32_t opcode = choice < 0xF0 ? choice % 80 : input.number();
    const std::int32_t index = input.number();
    VstIntPtr value = input.number();
    const float opt = input.value();
    const bool null = input.byte() & 1;
    // A real buffer of the size the opcode reads or writes.
    std::vector<char> buffer(1024, 0x7F);
    void* ptr = buffer.data();
    std::size_t textSize = 0;
    ERect* rect = nullptr;
    void* variables[2] = {};
    switch (opcode) {
    case effClose: dispatch(in, effClose); return;
    case effProcessEvents:
        if (!null) return sendEvents(in, input);
        break;
    case effSetProgramName:
    case effString2Parameter:
    case effCanDo: {
        static const char* const texts[] = {"receiveVstEvents", "sendVstMidiEvent",
                                            "receiveVstTimeInfo", "ReceiveVstEvents", ""};
        const std::uint8_t length = input.byte();
        if (length < 5) {
            buffer.assign(texts[length], texts[length] + std::strlen(texts[length]) + 1);
        } else {
            // Program names from 128 bytes on come unterminated: the plug-in must bound them.
            const bool unterminated = opcode == effSetProgramName && length >= 128;
            buffer.assign(length + (unterminated ? 0u : 1u), '\0');
            for (std::size_t i = 0; i < length; ++i)
                buffer[i] = static_cast<char>(input.byte() | 1);
        }
        ptr = buffer.data();
        break;
    }
    case effGetProgramName:
    case effGetProgramNameIndexed: textSize = plugin::kHostProgramNameSize; break;
    case effGetEffectName: textSize = 32; break;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effGetVendorString:
    case effGetProductString:
    case effShellGetNextPlugin: textSize = 64; break;
    case effGetErrorText: textSize = 256; break;
    case effGetInputProperties:
    case effGetOutputProperties: buffer.resize(sizeof(VstPinProperties)); break;
    case effEditGetRect: ptr = &rect; break;
    case effEditOpen: ptr = input.byte() & 1 ? buffer.data() : nullptr; break;
    case effGetChunk: ptr = &variables[0]; break;
    case effSetChunk: value = static_cast<VstIntPtr>(buffer.size()); break;
    case effSetSpeakerArrangement:
        buffer.assign(kSpeakerArrangementHeader + 2 * sizeof(VstSpeakerProperties), 0);
        reinterpret_cast<VstSpeakerArrangement*>(buffer.data())->numChannels = 2;
        value = reinterpret_cast<VstIntPtr>(buffer.data());
        break;
    case effGetSpeakerArrangement:
        value = reinterpret_cast<VstIntPtr>(&variables[0]);
        ptr = &variables[1];
        break;
    default: break;
    }
    if (textSize != 0) buffer.resize(textSize);
    if (null) ptr = nullptr;
    const VstIntPtr result = dispatch(in, opcode, index, value, ptr, opt);
    if (opcode < 0 || opcode > effBeginLoadProgram)
        require(result == 0, "an unknown opcode answered other than 0");
    const bool written =
        !std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == 0x7F; });
    if (textSize != 0 && ptr != nullptr && written)
        require(std::memchr(buffer.data(), 0, buffer.size()) != nullptr,
                "a text written without its zero");
    if (opcode == effSetProgramName && ptr != nullptr) {
        // The name comes back as far as a host's 24 bytes hold it.
        char name[plugin::kHostProgramNameSize];
        std::memset(name, 0x7F, sizeof name);
        dispatch(in, effGetProgramName, 0, 0, name);
        const std::size_t length = std::min(strnlen(buffer.data(), buffer.size()), sizeof name - 1);
        require(std::memchr(name, 0, sizeof name) == name + length &&
                    std::memcmp(name, buffer.data(), length) == 0,
                "the program name does not come back");
    }
    if (opcode == effEditGetRect && result != 0 && ptr != nullptr) {
        require(rect != nullptr, "effEditGetRect answered 1 without a rectangle");
        require(rect->right == 0 ||
                    (rect->right - rect->left == 626 && rect->bottom - rect->top == 280),
                "the editor is not 626 by 280");
    }
}

void setHost(Input& input) {
    const std::uint8_t what = input.byte();
    // Small numbers are beats per minute; the answer is in ten-thousandths of them.
    const auto tempo = [&] {
        const std::int32_t n = input.number();
        return n >= 0 && n < 0xC0 ? n * 10000 : n;
    };
    host.tempo[0] = tempo();
    host.tempo[1] = what & 1 ? tempo() : host.tempo[0];
    host.tempoSwitch = what & 2 ? input.byte() : 0;
    host.tempoCalls = 0;
    host.noTime = what & 4;
    host.eventsAnswer = what & 8 ? 0 : 1;
    if (what & 16) {
        host.time.ppqPos = input.real();
        host.time.tempo = input.real();
        host.time.samplePos = input.real();
        host.time.sampleRate = input.real();
        host.time.barStartPos = input.real();
        host.time.flags = input.number();
        host.ppqStep = what & 32 ? input.real() : 0.0;
    }
}

void useEditor(Instance& in, Input& input) {
    const std::uint8_t what = input.byte();
    switch (what % 4) {
    case 0: dispatch(in, effEditOpen, 0, 0, what & 4 ? &host : nullptr); break;
    case 1: dispatch(in, effEditIdle); break;
    case 2: dispatch(in, effEditClose); break;
    default: {
        // The user clicks in the window, and its refresh timer ticks.
        auto* editor = dynamic_cast<APluginEditor*>(in.plugin().getEditor());
        const int x = input.raw<std::uint16_t>() % 640, y = input.raw<std::uint16_t>() % 290;
        if (editor == nullptr || editor->window() == nullptr) break;
        editor->window()->clickAt(x, y);
        editor->window()->Updater.tick();
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    framework::headless::standInForNativeWindows();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    host = Host{};
    Instance slots[2];
    create(slots[0], 2400);
    for (int steps = 0; !input.empty() && steps < 2000; ++steps) {
        const std::uint8_t step = input.byte();
        Instance& in = slots[step >> 7];
        Instance& other = slots[(step >> 7) ^ 1];
        if (in.effect == nullptr && (step & 7) != 0 && (step & 7) != 6) continue;
        // Instances are independent: what one is told leaves the other as it was.
        const AEffect* otherEffect = other.effect;
        float otherValues[kParams] = {};
        for (std::int32_t i = 0; otherEffect != nullptr && i < kParams; ++i)
            otherValues[i] = other.effect->getParameter(other.effect, i);
        switch (step & 7) {
        case 0: create(in, input.number()); break;
        case 1: dispatchAny(in, input); break;
        case 2: {
            const std::int32_t index = input.number();
            const float v = input.value();
            in.effect->setParameter(in.effect, index, v);
            const float stored = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
            if (index >= 0 && index < kParams)
                require(in.effect->getParameter(in.effect, index) == stored,
                        "setParameter does not store the value clamped to 0..1");
            break;
        }
        case 3: {
            const std::int32_t index = input.number();
            const float v = in.effect->getParameter(in.effect, index);
            if (index < 0 || index >= kParams)
                require(v == 0.0f, "getParameter beyond 0..22 not 0");
            break;
        }
        case 4: sendEvents(in, input); break;
        case 5: processBlock(in, input); break;
        case 6: setHost(input); break;
        default: useEditor(in, input); break;
        }
        checkAtRest(slots[0]);
        checkAtRest(slots[1]);
        for (std::int32_t i = 0; otherEffect != nullptr && i < kParams; ++i)
            require(other.effect == otherEffect &&
                        other.effect->getParameter(other.effect, i) == otherValues[i],
                    "one instance changed the other's parameters");
    }
    for (Instance& in : slots)
        if (in.effect != nullptr) dispatch(in, effClose);
    return 0;
}
