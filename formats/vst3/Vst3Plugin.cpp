#include "formats/vst3/Vst3Plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "formats/shared/PluginFacts.h"
#include "host/Morvo.h"

namespace vst3_door {

namespace {

constexpr std::size_t kMidiChannels = 16;
constexpr std::size_t kIncomingCapacity = 1024; // MIDI messages one block hands the plug-in
constexpr int32 kChannels = 2;
constexpr unsigned char kNoteOn = 0x90, kNoteOff = 0x80, kControlChange = 0xB0,
                        kProgramChange = 0xC0, kChannelPressure = 0xD0, kPitchBendChange = 0xE0;

// VST 3 velocities are 0..1; a note-on of MIDI velocity 0 would be a note-off.
unsigned char midiVelocity(float velocity, bool noteOn) {
    const float scaled = std::isfinite(velocity) ? std::round(velocity * 127.0f) : 0.0f;
    const auto value = static_cast<unsigned char>(std::clamp(scaled, 0.0f, 127.0f));
    return noteOn ? std::max<unsigned char>(value, 1) : value;
}

// The plug-in's MIDI, onto the host's output event list at the frames the guest gives them:
// notes as note events, the other channel messages as the interface's legacy MIDI output.
struct MidiSink final : guest::Sink {
    IEventList* out;
    explicit MidiSink(IEventList* events) : out(events) {}
    void take(std::uint32_t frame, const unsigned char data[3]) override {
        if (out == nullptr) return;
        Event event{};
        event.sampleOffset = static_cast<int32>(frame);
        const auto channel = static_cast<int8>(data[0] & 0x0F);
        const auto low = static_cast<int8>(data[1] & 0x7F),
                   high = static_cast<int8>(data[2] & 0x7F);
        switch (data[0] & 0xF0) {
        case kNoteOn:
        case kNoteOff:
            if ((data[0] & 0xF0) == kNoteOn && high > 0) {
                event.type = Event::kNoteOnEvent;
                event.noteOn = {channel, low, 0.0f, high / 127.0f, 0, -1};
            } else {
                event.type = Event::kNoteOffEvent;
                event.noteOff = {channel, low, high / 127.0f, -1, 0.0f};
            }
            break;
        case kControlChange:
            event.type = Event::kLegacyMIDICCOutEvent;
            event.midiCCOut = {static_cast<uint8>(low), channel, high, 0};
            break;
        case kProgramChange:
            event.type = Event::kLegacyMIDICCOutEvent;
            event.midiCCOut = {kCtrlProgramChange, channel, low, 0};
            break;
        case kChannelPressure:
            event.type = Event::kLegacyMIDICCOutEvent;
            event.midiCCOut = {kAfterTouch, channel, low, 0};
            break;
        case kPitchBendChange:
            event.type = Event::kLegacyMIDICCOutEvent;
            event.midiCCOut = {kPitchBend, channel, low, high};
            break;
        default: return; // nothing else has a place in the list
        }
        out->vtbl->addEvent(out, event);
    }
};

} // namespace

// The tables' slots: each finds its object through the face it was called on and calls it.
struct Slots {
    using D = Vst3Plugin;
    static tresult MORVO_VST3_CALL queryInterface(void* self, const TUID iid, void** object) {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        return iid != nullptr ? D::of(self).query(iid, object) : kInvalidArgument;
    }
    static uint32 MORVO_VST3_CALL addRef(void* self) { return D::of(self).addRef(); }
    static uint32 MORVO_VST3_CALL release(void* self) { return D::of(self).release(); }
    static constexpr FUnknownVtbl unknown{queryInterface, addRef, release};

    static tresult MORVO_VST3_CALL initialize(void* self, FUnknown*) {
        return D::of(self).initialize();
    }
    static tresult MORVO_VST3_CALL terminate(void* self) { return D::of(self).terminate(); }
    static constexpr IPluginBaseVtbl base{unknown, initialize, terminate};

    // IComponent.
    // One object is both halves: hosts find the controller by asking the component for it.
    static tresult MORVO_VST3_CALL controllerClassId(void*, TUID) { return kNotImplemented; }
    static tresult MORVO_VST3_CALL setIoMode(void*, IoMode) { return kResultOk; }
    static int32 MORVO_VST3_CALL busCount(void* self, MediaType type, BusDirection direction) {
        return D::of(self).busCount(type, direction);
    }
    static tresult MORVO_VST3_CALL busInfo(void* self, MediaType type, BusDirection direction,
                                           int32 index, BusInfo& bus) {
        return D::of(self).busInfo(type, direction, index, bus);
    }
    static tresult MORVO_VST3_CALL routingInfo(void*, RoutingInfo&, RoutingInfo&) {
        return kNotImplemented;
    }
    // Every bus always plays: the plug-in's two channels pass through, its MIDI always flows.
    static tresult MORVO_VST3_CALL activateBus(void* self, MediaType type, BusDirection direction,
                                               int32 index, TBool) {
        return index >= 0 && index < D::of(self).busCount(type, direction) ? kResultTrue
                                                                           : kInvalidArgument;
    }
    static tresult MORVO_VST3_CALL setActive(void* self, TBool state) {
        return D::of(self).setActive(state != 0);
    }
    static tresult MORVO_VST3_CALL setState(void* self, IBStream* stream) {
        return stream != nullptr ? D::of(self).loadState(stream) : kInvalidArgument;
    }
    static tresult MORVO_VST3_CALL getState(void* self, IBStream* stream) {
        return stream != nullptr ? D::of(self).saveState(stream) : kInvalidArgument;
    }
    static constexpr IComponentVtbl component{base,     controllerClassId, setIoMode,   busCount,
                                              busInfo,  routingInfo,       activateBus, setActive,
                                              setState, getState};

    // IAudioProcessor.
    static tresult MORVO_VST3_CALL setBusArrangements(void* self, SpeakerArrangement* inputs,
                                                      int32 ins, SpeakerArrangement* outputs,
                                                      int32 outs) {
        return D::of(self).setBusArrangements(inputs, ins, outputs, outs);
    }
    static tresult MORVO_VST3_CALL busArrangement(void*, BusDirection direction, int32 index,
                                                  SpeakerArrangement& arrangement) {
        if (index != 0 || (direction != kInput && direction != kOutput)) return kInvalidArgument;
        arrangement = kStereo;
        return kResultTrue;
    }
    // 32-bit samples only: the record has no other.
    static tresult MORVO_VST3_CALL canProcessSampleSize(void*, int32 size) {
        return size == kSample32 ? kResultTrue : kResultFalse;
    }
    static uint32 MORVO_VST3_CALL latency(void*) { return 0; }
    static tresult MORVO_VST3_CALL setupProcessing(void* self, ProcessSetup& setup) {
        return D::of(self).setupProcessing(setup);
    }
    static tresult MORVO_VST3_CALL setProcessing(void* self, TBool state) {
        return D::of(self).setProcessing(state != 0);
    }
    static tresult MORVO_VST3_CALL process(void* self, ProcessData& data) {
        return D::of(self).process(data);
    }
    static uint32 MORVO_VST3_CALL tail(void*) { return kNoTail; }
    static constexpr IAudioProcessorVtbl processor{
        unknown, setBusArrangements, busArrangement, canProcessSampleSize,
        latency, setupProcessing,    setProcessing,  process,
        tail};

    // IProcessContextRequirements: what becomes the record's time information.
    static uint32 MORVO_VST3_CALL contextRequirements(void*) {
        using R = IProcessContextRequirements;
        return R::kNeedProjectTimeMusic | R::kNeedBarPositionMusic | R::kNeedTempo |
               R::kNeedTimeSignature | R::kNeedTransportState;
    }
    static constexpr IProcessContextRequirementsVtbl requirements{unknown, contextRequirements};

    // IEditController (Vst3Params.cpp for the parameters).
    // The component's state is the whole state: the controller has none of its own, and reads
    // nothing from the component's, being the same object.
    static tresult MORVO_VST3_CALL setComponentState(void*, IBStream*) { return kResultOk; }
    static tresult MORVO_VST3_CALL setControllerState(void*, IBStream*) { return kResultOk; }
    static tresult MORVO_VST3_CALL getControllerState(void*, IBStream*) { return kResultOk; }
    static int32 MORVO_VST3_CALL parameterCount(void* self) { return D::of(self).parameterCount(); }
    static tresult MORVO_VST3_CALL parameterInfo(void* self, int32 index, ParameterInfo& info) {
        return D::of(self).parameterInfo(index, info);
    }
    static tresult MORVO_VST3_CALL valueText(void* self, ParamID id, ParamValue value,
                                             String128 text) {
        return text != nullptr ? D::of(self).valueText(id, value, text) : kInvalidArgument;
    }
    static tresult MORVO_VST3_CALL textValue(void* self, ParamID id, TChar* text,
                                             ParamValue& value) {
        return text != nullptr ? D::of(self).textValue(id, text, value) : kInvalidArgument;
    }
    static ParamValue MORVO_VST3_CALL toPlain(void* self, ParamID id, ParamValue value) {
        return D::of(self).toPlain(id, value);
    }
    static ParamValue MORVO_VST3_CALL toNormalized(void* self, ParamID id, ParamValue value) {
        return D::of(self).toNormalized(id, value);
    }
    static ParamValue MORVO_VST3_CALL normalized(void* self, ParamID id) {
        return D::of(self).normalized(id);
    }
    static tresult MORVO_VST3_CALL setNormalized(void* self, ParamID id, ParamValue value) {
        return D::of(self).setNormalized(id, value);
    }
    static tresult MORVO_VST3_CALL setComponentHandler(void* self, IComponentHandler* handler) {
        D::of(self).handler.reset(handler);
        return kResultOk;
    }
    static IPlugView* MORVO_VST3_CALL createView(void* self, FIDString name) {
        return D::of(self).createView(name);
    }
    static constexpr IEditControllerVtbl controller{base,
                                                    setComponentState,
                                                    setControllerState,
                                                    getControllerState,
                                                    parameterCount,
                                                    parameterInfo,
                                                    valueText,
                                                    textValue,
                                                    toPlain,
                                                    toNormalized,
                                                    normalized,
                                                    setNormalized,
                                                    setComponentHandler,
                                                    createView};

    // IUnitInfo: one unit, the root, with the one program list.
    static int32 MORVO_VST3_CALL unitCount(void*) { return 1; }
    static tresult MORVO_VST3_CALL unitInfo(void* self, int32 index, UnitInfo& info) {
        if (index != 0) return kInvalidArgument;
        info = UnitInfo{};
        info.id = kRootUnitId;
        info.parentUnitId = kNoParentUnitId;
        copyText(info.name, std::size(info.name), "Root");
        info.programListId = D::of(self).programCount() > 0 ? kProgramList : kNoProgramListId;
        return kResultOk;
    }
    static int32 MORVO_VST3_CALL programListCount(void* self) {
        return D::of(self).programCount() > 0 ? 1 : 0;
    }
    static tresult MORVO_VST3_CALL programListInfo(void* self, int32 index, ProgramListInfo& info) {
        if (index != 0 || programListCount(self) == 0) return kInvalidArgument;
        info = ProgramListInfo{};
        info.id = kProgramList;
        copyText(info.name, std::size(info.name), "Programs");
        info.programCount = D::of(self).programCount();
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL programName(void* self, ProgramListID list, int32 program,
                                               String128 name) {
        return name != nullptr ? D::of(self).programName(list, program, name) : kInvalidArgument;
    }
    static tresult MORVO_VST3_CALL programInfo(void*, ProgramListID, int32, CString, String128) {
        return kResultFalse;
    }
    static tresult MORVO_VST3_CALL hasPitchNames(void*, ProgramListID, int32) {
        return kResultFalse;
    }
    static tresult MORVO_VST3_CALL pitchName(void*, ProgramListID, int32, int16, String128) {
        return kResultFalse;
    }
    static UnitID MORVO_VST3_CALL selectedUnit(void*) { return kRootUnitId; }
    static tresult MORVO_VST3_CALL selectUnit(void*, UnitID unit) {
        return unit == kRootUnitId ? kResultOk : kInvalidArgument;
    }
    static tresult MORVO_VST3_CALL unitByBus(void*, MediaType, BusDirection, int32, int32,
                                             UnitID& unit) {
        unit = kRootUnitId;
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL setUnitProgramData(void*, int32, int32, IBStream*) {
        return kNotImplemented;
    }
    static constexpr IUnitInfoVtbl unitInfoTable{
        unknown,     unitCount,   unitInfo,          programListCount, programListInfo,
        programName, programInfo, hasPitchNames,     pitchName,        selectedUnit,
        selectUnit,  unitByBus,   setUnitProgramData};
};

Vst3Plugin* Vst3Plugin::create() {
    if (!library().described) return nullptr;
    return new (std::nothrow) Vst3Plugin;
}

Vst3Plugin::Vst3Plugin()
    : component{&Slots::component, this}, processor{&Slots::processor, this},
      controller{&Slots::controller, this},
      requirements{&Slots::requirements, this}, units{&Slots::unitInfoTable, this},
      facts(library().facts), hosted(plugin_facts::guestOptions(kFormat, this, kIncomingCapacity)),
      formatter(plugin_facts::guestOptions(kFormat, nullptr, 0)) {}

Vst3Plugin::~Vst3Plugin() {
    handler.reset(nullptr);
    hosted.close();
    formatter.close();
}

tresult Vst3Plugin::query(const char8* iid, void** object) {
    Face* face = nullptr;
    if (sameUid(iid, FUnknown_iid) || sameUid(iid, IPluginBase_iid) || sameUid(iid, IComponent_iid))
        face = &component;
    else if (sameUid(iid, IAudioProcessor_iid))
        face = &processor;
    else if (sameUid(iid, IEditController_iid))
        face = &controller;
    else if (sameUid(iid, IProcessContextRequirements_iid))
        face = &requirements;
    else if (sameUid(iid, IUnitInfo_iid))
        face = &units;
    if (face == nullptr) return kNoInterface;
    addRef();
    *object = face;
    return kResultOk;
}

uint32 Vst3Plugin::release() {
    const uint32 left = refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

tresult Vst3Plugin::initialize() {
    if (initialized++ > 0) return kResultOk;
    std::string error;
    if (!hosted.create(pluginMain, error) || !formatter.create(pluginMain, error)) {
        initialized = 0;
        return kInternalError;
    }
    hosted.open();
    formatter.open();
    // The values every program has at creation, as the library read them.
    const std::size_t parameters = facts.parameters.size();
    storedPrograms.reset(new std::atomic<float>[facts.programs.size() * parameters]);
    for (std::size_t p = 0; p < facts.programs.size(); ++p)
        for (std::size_t i = 0; i < parameters; ++i)
            storedPrograms[p * parameters + i].store(facts.programs[p].values[i],
                                                     std::memory_order_relaxed);
    return kResultOk;
}

tresult Vst3Plugin::terminate() {
    if (initialized == 0) return kResultFalse;
    if (--initialized > 0) return kResultOk;
    if (active.load(std::memory_order_relaxed)) setActive(false);
    handler.reset(nullptr);
    hosted.close();
    formatter.close();
    return kResultOk;
}

// One stereo bus each way for the audio the plug-in passes through, one MIDI bus each way.
int32 Vst3Plugin::busCount(MediaType type, BusDirection direction) const {
    return (type == kAudio || type == kEvent) && (direction == kInput || direction == kOutput) ? 1
                                                                                               : 0;
}

tresult Vst3Plugin::busInfo(MediaType type, BusDirection direction, int32 index,
                            BusInfo& bus) const {
    if (index != 0 || busCount(type, direction) == 0) return kInvalidArgument;
    bus = BusInfo{};
    bus.mediaType = type;
    bus.direction = direction;
    bus.channelCount = type == kAudio ? kChannels : static_cast<int32>(kMidiChannels);
    const bool in = direction == kInput;
    copyText(bus.name, std::size(bus.name),
             type == kAudio ? (in ? "Input" : "Output") : (in ? "MIDI In" : "MIDI Out"));
    bus.busType = kMain;
    bus.flags = BusInfo::kDefaultActive;
    return kResultTrue;
}

tresult Vst3Plugin::setBusArrangements(const SpeakerArrangement* inputs, int32 ins,
                                       const SpeakerArrangement* outputs, int32 outs) {
    // Stereo through: a host offering another layout keeps ours.
    const bool stereo = ins == 1 && outs == 1 && inputs != nullptr && outputs != nullptr &&
                        inputs[0] == kStereo && outputs[0] == kStereo;
    return stereo ? kResultTrue : kResultFalse;
}

tresult Vst3Plugin::setupProcessing(const ProcessSetup& setup) {
    if (initialized == 0) return kNotInitialized;
    if (!(setup.sampleRate > 0.0) || setup.maxSamplesPerBlock <= 0 ||
        setup.symbolicSampleSize != kSample32)
        return kInvalidArgument;
    // Room for a message per channel and frame (what no block of the plug-in exceeds) and the
    // scratch channels, made before anything changes: a block length beyond what memory holds
    // is refused, and no exception reaches the host.
    const auto frames = static_cast<std::size_t>(setup.maxSamplesPerBlock);
    std::unique_ptr<float[]> room(new (std::nothrow) float[frames * kChannels * 2]());
    if (room == nullptr) return kOutOfMemory;
    try {
        hosted.setEventCapacity(frames * kMidiChannels);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
    scratch = std::move(room);
    sampleRate = setup.sampleRate;
    maxFrames = setup.maxSamplesPerBlock;
    hosted.setSampleRate(sampleRate);
    hosted.setBlockSize(maxFrames);
    guest::Transport still;
    still.sampleRate = sampleRate;
    still.blockSize = maxFrames;
    hosted.setTransport(still);
    return kResultOk;
}

tresult Vst3Plugin::setActive(bool on) {
    if (initialized == 0) return kNotInitialized;
    if (on == active.load(std::memory_order_relaxed)) return kResultOk;
    // Active is what a VST 2 host calls resumed.
    if (on)
        hosted.resume();
    else
        hosted.suspend();
    active.store(on, std::memory_order_relaxed);
    return kResultOk;
}

tresult Vst3Plugin::setProcessing(bool processing) {
    // Stopping brings the plug-in back to silence, as a VST 2 host does with suspend and resume;
    // what it sent meanwhile goes nowhere.
    if (!processing && active.load(std::memory_order_relaxed)) {
        hosted.suspend();
        hosted.resume();
        hosted.dropSent();
    }
    return kResultOk;
}

tresult Vst3Plugin::process(ProcessData& data) {
    if (!active.load(std::memory_order_relaxed) || scratch == nullptr) return kNotInitialized;
    if (data.numSamples > 0 && data.symbolicSampleSize != kSample32) return kInvalidArgument;
    audioThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    processOut.store(data.outputParameterChanges, std::memory_order_relaxed);
    // Parameter changes act at the block's start: the record has no later place for them.
    takeParameterChanges(data.inputParameterChanges, data.outputParameterChanges);
    const int32 frames = std::min(data.numSamples, maxFrames);
    if (frames <= 0) { // a flush: nothing to play, but the parameters still change
        processOut.store(nullptr, std::memory_order_relaxed);
        return kResultOk;
    }
    takeEvents(data.inputEvents);

    // In place or not, the plug-in gets two channels of each; a host without buffers gets
    // silence.
    const std::size_t stride = static_cast<std::size_t>(maxFrames);
    float* inputs[kChannels];
    float* outputs[kChannels];
    for (int32 c = 0; c < kChannels; ++c) {
        inputs[c] = scratch.get() + static_cast<std::size_t>(c) * stride;
        outputs[c] = scratch.get() + static_cast<std::size_t>(kChannels + c) * stride;
    }
    if (data.numInputs > 0 && data.inputs != nullptr && data.inputs[0].channelBuffers32 != nullptr)
        for (int32 c = 0; c < std::min(kChannels, data.inputs[0].numChannels); ++c)
            if (data.inputs[0].channelBuffers32[c] != nullptr)
                inputs[c] = data.inputs[0].channelBuffers32[c];
    if (data.numOutputs > 0 && data.outputs != nullptr &&
        data.outputs[0].channelBuffers32 != nullptr) {
        for (int32 c = 0; c < std::min(kChannels, data.outputs[0].numChannels); ++c)
            if (data.outputs[0].channelBuffers32[c] != nullptr)
                outputs[c] = data.outputs[0].channelBuffers32[c];
        data.outputs[0].silenceFlags = 0;
    }
    // Silence only where the host gave no input, and only for this block's frames.
    for (int32 c = 0; c < kChannels; ++c)
        if (inputs[c] == scratch.get() + static_cast<std::size_t>(c) * stride)
            std::fill_n(inputs[c], frames, 0.0f);
    MidiSink sink{data.outputEvents};
    hosted.run(transportOf(data.processContext), {inputs, outputs, frames}, sink);
    processOut.store(nullptr, std::memory_order_relaxed);
    return kResultOk;
}

guest::Transport Vst3Plugin::transportOf(const ProcessContext* context) const {
    guest::Transport now;
    now.sampleRate = sampleRate;
    now.blockSize = maxFrames;
    // Without a context the plug-in hears what a VST 2 host without a tempo says: nothing.
    if (context == nullptr) return now;
    const uint32 state = context->state;
    now.samplePosition = static_cast<double>(context->projectTimeSamples);
    now.playing = (state & ProcessContext::kPlaying) != 0;
    now.hasTempo = (state & ProcessContext::kTempoValid) != 0;
    if (now.hasTempo) now.tempo = context->tempo;
    now.hasSongPosition = (state & ProcessContext::kProjectTimeMusicValid) != 0;
    if (now.hasSongPosition) now.songPosition = context->projectTimeMusic;
    now.hasBars = (state & ProcessContext::kBarPositionValid) != 0;
    if (now.hasBars) now.barStart = context->barPositionMusic;
    if ((state & ProcessContext::kTimeSigValid) != 0 && context->timeSigNumerator > 0 &&
        context->timeSigDenominator > 0) {
        now.hasTimeSignature = true;
        now.numerator = context->timeSigNumerator;
        now.denominator = context->timeSigDenominator;
    }
    return now;
}

void Vst3Plugin::takeParameterChanges(IParameterChanges* in, IParameterChanges* out) {
    const int32 queues = in != nullptr ? in->vtbl->getParameterCount(in) : 0;
    bool programChanged = false;
    for (int32 q = 0; q < queues; ++q) {
        IParamValueQueue* queue = in->vtbl->getParameterData(in, q);
        if (queue == nullptr) continue;
        const ParamID id = queue->vtbl->getParameterId(queue);
        const int32 points = queue->vtbl->getPointCount(queue);
        // Every point in turn, as a VST 2 host sets a parameter at each of its changes.
        for (int32 p = 0; p < points; ++p) {
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue->vtbl->getPoint(queue, p, offset, value) != kResultOk ||
                !std::isfinite(value))
                continue;
            if (isRecordParameter(id))
                hosted.setParameter(static_cast<std::int32_t>(id), static_cast<float>(value));
            else if (id == kProgramParameter && programCount() > 0)
                programChanged |= selectProgram(programOf(value));
        }
    }
    if (programChanged) reportValues(out);
}

void Vst3Plugin::reportValues(IParameterChanges* out) {
    if (out == nullptr) return;
    for (int32 i = 0; i < static_cast<int32>(facts.parameters.size()); ++i) {
        const ParamID id = static_cast<ParamID>(i);
        int32 index = 0;
        IParamValueQueue* queue = out->vtbl->addParameterData(out, id, index);
        if (queue != nullptr) queue->vtbl->addPoint(queue, 0, hosted.parameter(i), index);
    }
}

void Vst3Plugin::takeEvents(IEventList* in) {
    const int32 count = in != nullptr ? in->vtbl->getEventCount(in) : 0;
    for (int32 i = 0; i < count; ++i) {
        Event event{};
        if (in->vtbl->getEvent(in, i, event) != kResultOk || event.busIndex != 0) continue;
        const bool on = event.type == Event::kNoteOnEvent;
        if (!on && event.type != Event::kNoteOffEvent) continue;
        const int16 channel = on ? event.noteOn.channel : event.noteOff.channel;
        const int16 pitch = on ? event.noteOn.pitch : event.noteOff.pitch;
        if (pitch < 0 || pitch > 127) continue;
        const unsigned char data[3] = {
            static_cast<unsigned char>((on ? kNoteOn : kNoteOff) | (channel & 0x0F)),
            static_cast<unsigned char>(pitch),
            midiVelocity(on ? event.noteOn.velocity : event.noteOff.velocity, on)};
        hosted.queueEvent(std::max<int32>(event.sampleOffset, 0), data);
    }
}

bool Vst3Plugin::inProcess() const {
    return processOut.load(std::memory_order_relaxed) != nullptr &&
           audioThread.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void Vst3Plugin::automated(std::int32_t index, float value) {
    // Inside process, on its thread, the change goes out with the block; from the editor, to
    // the host's handler, which the interface calls on the user-interface thread.
    if (inProcess()) {
        IParameterChanges* out = processOut.load(std::memory_order_relaxed);
        int32 at = 0;
        IParamValueQueue* queue = out->vtbl->addParameterData(out, static_cast<ParamID>(index), at);
        if (queue != nullptr) queue->vtbl->addPoint(queue, 0, value, at);
        return;
    }
    if (IComponentHandler* h = handler.get())
        h->vtbl->performEdit(h, static_cast<ParamID>(index), value);
}

void Vst3Plugin::beganEdit(std::int32_t index) {
    if (IComponentHandler* h = handler.get(); h != nullptr && !inProcess())
        h->vtbl->beginEdit(h, static_cast<ParamID>(index));
}

void Vst3Plugin::endedEdit(std::int32_t index) {
    if (IComponentHandler* h = handler.get(); h != nullptr && !inProcess())
        h->vtbl->endEdit(h, static_cast<ParamID>(index));
}

void Vst3Plugin::valuesChanged() {
    if (IComponentHandler* h = handler.get()) h->vtbl->restartComponent(h, kParamValuesChanged);
}

} // namespace vst3_door
