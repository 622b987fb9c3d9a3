// A VST 3 host of our own for the programs that drive the VST 3 door (its tests and
// morvo-vst3-play): the module loaded as hosts load it (tests/vst3/Vst3Module.h), an instance's
// interfaces, and the host's objects a plug-in calls: event lists, parameter changes, streams,
// the component handler, and the plug frame with its run loop. What the plug-in hands to them
// is kept in storage reserved beforehand, so a block allocates nothing on the host's side, and
// what finds no room is refused as a full host list refuses it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "formats/guest/Guest.h"
#include "formats/vst3/Vst3Interface.h"
#include "tests/vst3/Vst3Module.h"

namespace vst3_rig {

using namespace vst3_abi;
using vst3_module::Module;

// The bundle's library for this system.
inline std::string libraryIn(const std::string& bundle) {
    const char* suffix =
#if defined(_WIN32)
        ".vst3";
#else
        ".so";
#endif
    return bundle + "/Contents/" + vst3_module::kArchitectureFolder + "/Morvo" + suffix;
}

template <typename Interface> Interface* query(void* object, const Uid& iid) {
    void* found = nullptr;
    auto* unknown = static_cast<FUnknown*>(object);
    if (unknown->vtbl->queryInterface(unknown, iid.bytes, &found) != kResultOk) return nullptr;
    return static_cast<Interface*>(found);
}
inline uint32 release(void* object) {
    auto* unknown = static_cast<FUnknown*>(object);
    return unknown->vtbl->release(unknown);
}

// The host's objects live as long as the test keeps them: counting changes nothing. Each answers
// FUnknown and its own interface (and `also`).
template <typename Self> struct Counted {
    static tresult MORVO_VST3_CALL queryInterface(void* self, const TUID iid, void** object) {
        *object = nullptr;
        if (!sameUid(iid, FUnknown_iid) && !sameUid(iid, Self::kIid) &&
            !Self::also(iid, self, object))
            return kNoInterface;
        if (*object == nullptr) *object = self;
        return kResultOk;
    }
    static uint32 MORVO_VST3_CALL addRef(void*) { return 1; }
    static uint32 MORVO_VST3_CALL release(void*) { return 1; }
    static bool also(const char8*, void*, void**) { return false; }
    static constexpr FUnknownVtbl unknown{queryInterface, addRef, release};
    static Self& of(void* self) { return *static_cast<Self*>(self); }
};

// A block's events, in or out: `capacity` at most, the rest refused.
struct EventList : Counted<EventList> {
    static constexpr const Uid& kIid = IEventList_iid;
    explicit EventList(std::size_t capacity = 1 << 16) { events.reserve(capacity); }
    EventList(const EventList&) = delete;
    IEventList* face() { return reinterpret_cast<IEventList*>(this); }

    static int32 MORVO_VST3_CALL count(void* self) {
        return static_cast<int32>(of(self).events.size());
    }
    static tresult MORVO_VST3_CALL get(void* self, int32 index, Event& e) {
        const auto& all = of(self).events;
        if (index < 0 || static_cast<std::size_t>(index) >= all.size()) return kInvalidArgument;
        e = all[static_cast<std::size_t>(index)];
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL add(void* self, Event& e) {
        EventList& list = of(self);
        if (list.events.size() == list.events.capacity()) {
            ++list.refused;
            return kOutOfMemory;
        }
        list.events.push_back(e);
        return kResultOk;
    }
    static constexpr IEventListVtbl table{unknown, count, get, add};

    const IEventListVtbl* vtbl = &table;
    std::vector<Event> events;
    std::size_t refused = 0;
};

// One parameter's points in a block.
struct ValueQueue : Counted<ValueQueue> {
    static constexpr const Uid& kIid = IParamValueQueue_iid;
    static constexpr int32 kMostPoints = 64;

    static ParamID MORVO_VST3_CALL id(void* self) { return of(self).parameter; }
    static int32 MORVO_VST3_CALL count(void* self) { return of(self).points; }
    static tresult MORVO_VST3_CALL get(void* self, int32 index, int32& offset, ParamValue& value) {
        const ValueQueue& q = of(self);
        if (index < 0 || index >= q.points) return kInvalidArgument;
        offset = q.offsets[index];
        value = q.values[index];
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL add(void* self, int32 offset, ParamValue value, int32& index) {
        ValueQueue& q = of(self);
        if (q.points == kMostPoints) return kOutOfMemory;
        index = q.points++;
        q.offsets[index] = offset;
        q.values[index] = value;
        return kResultOk;
    }
    static constexpr IParamValueQueueVtbl table{unknown, id, count, get, add};

    const IParamValueQueueVtbl* vtbl = &table;
    ParamID parameter = 0;
    int32 points = 0;
    int32 offsets[kMostPoints] = {};
    ParamValue values[kMostPoints] = {};
};

// A block's parameter changes, in or out: a queue per parameter, in the order first added.
struct ParameterChanges : Counted<ParameterChanges> {
    static constexpr const Uid& kIid = IParameterChanges_iid;
    static constexpr int32 kMostQueues = 64;
    IParameterChanges* face() { return reinterpret_cast<IParameterChanges*>(this); }
    void clear() { used = 0; }
    // A change as a host adds it: a point on the parameter's queue.
    void set(ParamID id, ParamValue value, int32 offset = 0) {
        int32 index = 0;
        auto* queue = reinterpret_cast<ValueQueue*>(addQueue(this, id, index));
        if (queue != nullptr) ValueQueue::add(queue, offset, value, index);
    }
    // The last value a block gave a parameter, or -1.
    ParamValue last(ParamID id) const {
        for (int32 q = 0; q < used; ++q)
            if (queues[q].parameter == id && queues[q].points > 0)
                return queues[q].values[queues[q].points - 1];
        return -1.0;
    }

    static int32 MORVO_VST3_CALL count(void* self) { return of(self).used; }
    static IParamValueQueue* MORVO_VST3_CALL get(void* self, int32 index) {
        ParameterChanges& c = of(self);
        return index >= 0 && index < c.used ? reinterpret_cast<IParamValueQueue*>(&c.queues[index])
                                            : nullptr;
    }
    static IParamValueQueue* MORVO_VST3_CALL addQueue(void* self, const ParamID& id, int32& index) {
        ParameterChanges& c = of(self);
        for (index = 0; index < c.used; ++index)
            if (c.queues[index].parameter == id) return get(self, index);
        if (c.used == kMostQueues) return nullptr;
        index = c.used++;
        c.queues[index].parameter = id;
        c.queues[index].points = 0;
        return get(self, index);
    }
    static constexpr IParameterChangesVtbl table{unknown, count, get, addQueue};

    const IParameterChangesVtbl* vtbl = &table;
    int32 used = 0;
    ValueQueue queues[kMostQueues];
};

// A host's stream for a state: what is written goes into bytes, what is read comes from them, at
// most `most` bytes a call (0: any).
struct Stream : Counted<Stream> {
    static constexpr const Uid& kIid = IBStream_iid;
    explicit Stream(std::vector<std::uint8_t> from = {}, int32 most = 0)
        : bytes(std::move(from)), most(most) {}
    Stream(const Stream&) = delete;
    IBStream* face() { return reinterpret_cast<IBStream*>(this); }

    int32 moved(int32 asked) const { return most > 0 ? std::min(asked, most) : asked; }
    static tresult MORVO_VST3_CALL read(void* self, void* to, int32 size, int32* done) {
        Stream& s = of(self);
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(s.moved(size), std::int64_t(s.bytes.size() - s.at)));
        if (n > 0) std::memcpy(to, s.bytes.data() + s.at, n);
        s.at += n;
        if (done != nullptr) *done = static_cast<int32>(n);
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL write(void* self, void* from, int32 size, int32* done) {
        Stream& s = of(self);
        const auto n = static_cast<std::size_t>(s.moved(size));
        const auto* b = static_cast<const std::uint8_t*>(from);
        s.bytes.insert(s.bytes.end(), b, b + n);
        s.at = s.bytes.size();
        if (done != nullptr) *done = static_cast<int32>(n);
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL seek(void* self, int64 pos, int32 mode, int64* result) {
        Stream& s = of(self);
        const int64 base = mode == kIBSeekSet   ? 0
                           : mode == kIBSeekCur ? int64(s.at)
                                                : int64(s.bytes.size());
        if (base + pos < 0 || base + pos > int64(s.bytes.size())) return kInvalidArgument;
        s.at = static_cast<std::size_t>(base + pos);
        if (result != nullptr) *result = int64(s.at);
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL tell(void* self, int64* pos) {
        if (pos != nullptr) *pos = int64(of(self).at);
        return kResultOk;
    }
    static constexpr IBStreamVtbl table{unknown, read, write, seek, tell};

    const IBStreamVtbl* vtbl = &table;
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    int32 most = 0;
};

// The host's component handler, keeping what the controller tells it.
struct ComponentHandler : Counted<ComponentHandler> {
    static constexpr const Uid& kIid = IComponentHandler_iid;
    struct Edit {
        char kind; // 'b'egin, 'p'erform, 'e'nd
        ParamID id;
        ParamValue value;
    };
    IComponentHandler* face() { return reinterpret_cast<IComponentHandler*>(this); }

    static tresult MORVO_VST3_CALL begin(void* self, ParamID id) {
        of(self).edits.push_back({'b', id, -1.0});
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL perform(void* self, ParamID id, ParamValue value) {
        of(self).edits.push_back({'p', id, value});
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL end(void* self, ParamID id) {
        of(self).edits.push_back({'e', id, -1.0});
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL restart(void* self, int32 flags) {
        of(self).restarts |= flags;
        return kResultOk;
    }
    static constexpr IComponentHandlerVtbl table{unknown, begin, perform, end, restart};

    const IComponentHandlerVtbl* vtbl = &table;
    std::vector<Edit> edits;
    int32 restarts = 0; // every restart's flags, or-ed
};

// The host's run loop on Linux, keeping the timers registered; the program stands in for the
// host's loop and calls them.
struct RunLoop : Counted<RunLoop> {
    static constexpr const Uid& kIid = IRunLoop_iid;
    static tresult MORVO_VST3_CALL addHandler(void*, IEventHandler*, FileDescriptor) {
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL removeHandler(void*, IEventHandler*) { return kResultOk; }
    static tresult MORVO_VST3_CALL addTimer(void* self, ITimerHandler* timer, TimerInterval ms) {
        if (timer == nullptr || ms == 0) return kInvalidArgument;
        timer->vtbl->unknown.addRef(timer);
        of(self).timers.emplace_back(timer, ms);
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL removeTimer(void* self, ITimerHandler* timer) {
        auto& timers = of(self).timers;
        for (auto t = timers.begin(); t != timers.end(); ++t)
            if (t->first == timer) {
                timers.erase(t);
                timer->vtbl->unknown.release(timer);
                return kResultOk;
            }
        return kInvalidArgument;
    }
    static constexpr IRunLoopVtbl table{unknown, addHandler, removeHandler, addTimer, removeTimer};
    void fire() {
        for (auto& [timer, period] : timers)
            timer->vtbl->onTimer(timer);
    }

    const IRunLoopVtbl* vtbl = &table;
    std::vector<std::pair<ITimerHandler*, TimerInterval>> timers;
};

// The host's frame around a view, offering its run loop as Linux hosts do.
struct PlugFrame : Counted<PlugFrame> {
    static constexpr const Uid& kIid = IPlugFrame_iid;
    static bool also(const char8* iid, void* self, void** object) {
        if (!sameUid(iid, IRunLoop_iid)) return false;
        *object = &of(self).loop;
        return true;
    }
    static tresult MORVO_VST3_CALL resize(void*, IPlugView*, ViewRect*) { return kResultFalse; }
    static constexpr IPlugFrameVtbl table{{queryInterface, addRef, release}, resize};
    IPlugFrame* face() { return reinterpret_cast<IPlugFrame*>(this); }

    const IPlugFrameVtbl* vtbl = &table;
    RunLoop loop;
};

// One instance of a class as a host holds it: the component created by the factory, the other
// interfaces asked of it, released together.
struct Instance {
    Instance(IPluginFactory3* factory, const Uid& cid) {
        void* made = nullptr;
        if (factory == nullptr || factory->vtbl->factory2.factory.createInstance(
                                      factory, cid.bytes, IComponent_iid.bytes, &made) != kResultOk)
            return;
        component = static_cast<IComponent*>(made);
        processor = query<IAudioProcessor>(component, IAudioProcessor_iid);
        controller = query<IEditController>(component, IEditController_iid);
        units = query<IUnitInfo>(component, IUnitInfo_iid);
        requirements =
            query<IProcessContextRequirements>(component, IProcessContextRequirements_iid);
    }
    ~Instance() {
        for (void* face : {static_cast<void*>(requirements), static_cast<void*>(units),
                           static_cast<void*>(controller), static_cast<void*>(processor),
                           static_cast<void*>(component)})
            if (face != nullptr) release(face);
    }
    Instance(const Instance&) = delete;
    bool whole() const {
        return component != nullptr && processor != nullptr && controller != nullptr &&
               units != nullptr && requirements != nullptr;
    }
    // What a host does before it plays: initialise, set up and activate.
    bool start(double rate, int32 frames) {
        ProcessSetup setup{kRealtime, kSample32, frames, rate};
        return component->vtbl->base.initialize(component, nullptr) == kResultOk &&
               processor->vtbl->setupProcessing(processor, setup) == kResultOk &&
               component->vtbl->setActive(component, 1) == kResultOk &&
               processor->vtbl->setProcessing(processor, 1) == kResultOk;
    }
    void stop() {
        processor->vtbl->setProcessing(processor, 0);
        component->vtbl->setActive(component, 0);
        component->vtbl->base.terminate(component);
    }
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
    IUnitInfo* units = nullptr;
    IProcessContextRequirements* requirements = nullptr;
};

// A block as a host hands it: two channels each way in 32-bit buffers of its own (silence in),
// the events and parameter changes in and out, and the process context.
struct Block {
    explicit Block(int32 frames) : samples(4 * static_cast<std::size_t>(frames), 0.0f) {
        for (std::size_t c = 0; c < 2; ++c) {
            inputs[c] = samples.data() + c * static_cast<std::size_t>(frames);
            outputs[c] = samples.data() + (2 + c) * static_cast<std::size_t>(frames);
        }
        in.channelBuffers32 = inputs;
        out.channelBuffers32 = outputs;
        data.numSamples = frames;
    }
    Block(const Block&) = delete;
    void clear() {
        events.events.clear();
        sent.events.clear();
        changes.clear();
        sentChanges.clear();
    }
    std::vector<float> samples;
    float* inputs[2] = {};
    float* outputs[2] = {};
    AudioBusBuffers in{2, 0, {}}, out{2, 0, {}};
    EventList events{256}, sent;
    ParameterChanges changes, sentChanges;
    ProcessContext context{};
    ProcessData data{
        kRealtime,          kSample32,     0,           1,       1, &in, &out, changes.face(),
        sentChanges.face(), events.face(), sent.face(), &context};
};

// Where the song is at a block's start, as the guest's transport says it; what that does not
// mark valid, the context does not flag.
inline ProcessContext contextOf(const guest::Transport& t) {
    ProcessContext c{};
    c.state = (t.playing ? ProcessContext::kPlaying : 0u) |
              (t.hasTempo ? ProcessContext::kTempoValid : 0u) |
              (t.hasSongPosition ? ProcessContext::kProjectTimeMusicValid : 0u) |
              (t.hasBars ? ProcessContext::kBarPositionValid : 0u) |
              (t.hasTimeSignature ? ProcessContext::kTimeSigValid : 0u);
    c.sampleRate = t.sampleRate;
    c.projectTimeSamples = std::llround(t.samplePosition);
    c.projectTimeMusic = t.songPosition;
    c.barPositionMusic = t.barStart;
    c.tempo = t.tempo;
    c.timeSigNumerator = t.numerator;
    c.timeSigDenominator = t.denominator;
    return c;
}

inline Event noteOn(int pitch, float velocity, int32 offset, int16 channel = 0) {
    Event e{};
    e.sampleOffset = offset;
    e.type = Event::kNoteOnEvent;
    e.noteOn = {channel, static_cast<int16>(pitch), 0.0f, velocity, 0, -1};
    return e;
}

// A MIDI message the plug-in sent, back in bytes: its legacy output as the channel message it
// stands for, its notes as notes; none (false) for any other event.
inline bool midiOf(const Event& e, std::uint8_t data[3]) {
    if (e.type == Event::kLegacyMIDICCOutEvent) {
        const LegacyMIDICCOutEvent& m = e.midiCCOut;
        const auto channel = static_cast<std::uint8_t>(m.channel & 0x0F);
        if (m.controlNumber > 127) return false;
        data[0] = static_cast<std::uint8_t>(0xB0 | channel);
        data[1] = m.controlNumber;
        data[2] = static_cast<std::uint8_t>(m.value);
        return true;
    }
    if (e.type == Event::kNoteOnEvent || e.type == Event::kNoteOffEvent) {
        const bool on = e.type == Event::kNoteOnEvent;
        data[0] = static_cast<std::uint8_t>((on ? 0x90 : 0x80) | (e.noteOn.channel & 0x0F));
        data[1] = static_cast<std::uint8_t>(on ? e.noteOn.pitch : e.noteOff.pitch);
        data[2] = static_cast<std::uint8_t>(
            std::lround((on ? e.noteOn.velocity : e.noteOff.velocity) * 127.0f));
        return true;
    }
    return false;
}

// UTF-16 to 8 bits, for the plug-in's texts, which are ASCII.
inline std::string text(const char16* from) {
    std::string out;
    for (; *from != 0; ++from)
        out += static_cast<char>(*from);
    return out;
}
inline void text(const std::string& from, char16* to) {
    for (char c : from)
        *to++ = static_cast<char16>(c);
    *to = 0;
}

} // namespace vst3_rig
