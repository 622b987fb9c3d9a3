#include "formats/guest/Guest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace guest {

namespace {

// What every guest can do, answered to the plug-in's canDo requests.
const char* const kHostCapabilities[] = {"sendVstEvents",    "sendVstMidiEvent",
                                         "receiveVstEvents", "receiveVstMidiEvent",
                                         "sendVstTimeInfo",  "supplyIdle"};

constexpr std::int32_t kHostVersion = 2400;
constexpr double kTempoScale = 10000.0;     // tempoAt answers beats per minute times 10000
constexpr std::size_t kHostStringSize = 64; // vendor and product buffers the plug-in passes
constexpr VstIntPtr kRealtimeProcessLevel = 2;

// Plug-ins ask for the host's version, and may ask more, from inside the entry point, before
// the record that leads back to their guest exists: the guest creating on this thread answers.
thread_local Guest* creating = nullptr;

// The record's field reserved for the host: it leads each request to its own guest, so that
// several guests live in one process.
Guest* guestOf(AEffect* effect) {
    if (effect != nullptr && effect->resvd1 != 0) return reinterpret_cast<Guest*>(effect->resvd1);
    return creating;
}

// A positive count the interface passes as an integer; 0 for what is none (or not a number).
VstIntPtr rounded(double value) {
    if (!(value > 0.0)) return 0;
    return static_cast<VstIntPtr>(
        std::llround(std::fmin(value, std::numeric_limits<std::int32_t>::max())));
}
VstIntPtr truncated(double value) {
    if (!(value > 0.0)) return 0;
    return static_cast<VstIntPtr>(std::fmin(value, std::numeric_limits<std::int32_t>::max()));
}

} // namespace

Guest::Guest(const Options& chosen) : options(chosen), collected(chosen.eventCapacity) {
    setIncomingCapacity(chosen.incomingCapacity);
}

Guest::~Guest() {
    close();
    library.close();
}

bool Guest::load(const std::string& path, std::string& error) {
    close(); // before its library goes
    const EntryFunction entry = library.open(path, error);
    return entry != nullptr && create(entry, error);
}

bool Guest::create(EntryFunction entry, std::string& error) {
    close(); // one plug-in per guest
    Guest* const outer = creating;
    creating = this;
    AEffect* const record = entry(callback);
    creating = outer;
    if (record == nullptr) {
        error = "its entry point gave no effect record";
        return false;
    }
    if (record->magic != kEffectMagic) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "its entry point gave a record without the VST magic "
                      "(0x%08X)",
                      static_cast<unsigned>(record->magic));
        error = text;
        return false;
    }
    record->resvd1 = reinterpret_cast<VstIntPtr>(this);
    plugin = record;
    if (options.format != nullptr) {
        hostVendor = text(effGetVendorString);
        hostProduct = text(effGetProductString) + " " + options.format;
    }
    return true;
}

void Guest::close() {
    if (plugin == nullptr) return;
    closeEditor();
    dispatch(effClose);
    plugin = nullptr;
}

void Guest::setSampleRate(double rate) {
    current.sampleRate = rate;
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void Guest::setBlockSize(std::int32_t frames) {
    current.blockSize = frames;
    dispatch(effSetBlockSize, 0, frames);
}

std::string Guest::text(std::int32_t opcode, std::int32_t index) {
    char buffer[512];
    std::memset(buffer, 0, sizeof buffer);
    dispatch(opcode, index, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

void Guest::setTransport(const Transport& now) {
    current = now;
    tempoAnswer = now.hasTempo ? rounded(now.tempo * kTempoScale) : 0;
    timeInfo = VstTimeInfo{};
    timeInfo.samplePos = now.samplePosition;
    timeInfo.sampleRate = now.sampleRate;
    std::int32_t flags = now.playing ? kVstTransportPlaying : 0;
    if (now.hasSongPosition) {
        timeInfo.ppqPos = now.songPosition;
        flags |= kVstPpqPosValid;
    }
    if (now.hasTempo) {
        timeInfo.tempo = now.tempo;
        flags |= kVstTempoValid;
    }
    if (now.hasBars) {
        timeInfo.barStartPos = now.barStart;
        flags |= kVstBarsValid;
    }
    if (now.hasTimeSignature) {
        timeInfo.timeSigNumerator = now.numerator;
        timeInfo.timeSigDenominator = now.denominator;
        flags |= kVstTimeSigValid;
    }
    timeInfo.flags = flags;
}

bool Guest::queueEvent(std::int32_t deltaFrames, const unsigned char data[3]) {
    if (queued == incoming.size()) return false;
    VstMidiEvent& event = incoming[queued];
    event = VstMidiEvent{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.flags = kVstMidiEventIsRealtime;
    std::memcpy(event.midiData, data, 3);
    incomingList.pointers()[queued++] = reinterpret_cast<VstEvent*>(&event);
    return true;
}

void Guest::sendQueuedEvents() {
    if (queued == 0) return;
    incomingList.get()->numEvents = static_cast<std::int32_t>(queued);
    dispatch(effProcessEvents, 0, 0, incomingList.get());
    queued = 0;
}

void Guest::run(const Transport& now, const Block& block, Sink& sink) {
    setTransport(now);
    sendQueuedEvents();
    plugin->processReplacing(plugin, block.inputs, block.outputs, block.frames);
    if (block.frames <= 0) {
        count = 0;
        return;
    }
    const auto frames = static_cast<std::uint32_t>(block.frames);
    const std::uint32_t hostFrames = block.hostFrames > 0 ? block.hostFrames : frames;
    if (block.offset == 0) lastFrame = 0;
    handOver(sink, block.offset, std::min(frames, hostFrames - std::min(block.offset, hostFrames)),
             hostFrames - 1);
}

void Guest::handOver(Sink& sink) {
    lastFrame = 0;
    handOver(sink, 0, 1, 0);
}

void Guest::handOver(Sink& sink, std::uint32_t offset, std::uint32_t frames, std::uint32_t last) {
    for (std::size_t i = 0; i < count; ++i) {
        const Event& event = collected[i];
        const std::uint32_t within =
            event.deltaFrames > 0 && frames > 0
                ? std::min(static_cast<std::uint32_t>(event.deltaFrames), frames - 1)
                : 0;
        lastFrame = std::max(lastFrame, std::min(offset + within, last));
        sink.take(lastFrame, event.data);
    }
    count = 0;
}

void Guest::setEventCapacity(std::size_t capacity) {
    collected.assign(capacity, Event{});
    count = 0;
}

void Guest::setIncomingCapacity(std::size_t capacity) {
    incoming.assign(capacity, VstMidiEvent{});
    incomingList.assign(incoming);
    queued = 0;
}

bool Guest::editorSize(int& width, int& height) {
    // The plug-in points the host's variable at a rectangle it keeps.
    ERect* rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    if (rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) return false;
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
    return true;
}

bool Guest::openEditor(void* parent) {
    if (editorIsOpen || !hasEditor()) return false;
    editorIsOpen = dispatch(effEditOpen, 0, 0, parent) != 0;
    return editorIsOpen;
}

void Guest::idleEditor() {
    if (editorIsOpen) dispatch(effEditIdle);
}

void Guest::closeEditor() {
    if (!editorIsOpen) return;
    editorIsOpen = false;
    dispatch(effEditClose);
}

[[gnu::aligned(64)]] VstIntPtr VSTCALLBACK Guest::callback(AEffect* effect, std::int32_t opcode,
                                                           std::int32_t index, VstIntPtr value,
                                                           void* ptr, float opt) {
    // The requests plug-ins make at every sample come first, answered from what setTransport
    // prepared in as few instructions as a host that answers constants needs: this path costs
    // the block as much as the plug-in's own work does. tempoAt, asked at every sample in
    // internal timing, is told first by its opcode alone and without a taken branch (each
    // costs a cycle of fetch), so that a tempo of none is answered as fast as a tempo; getTime,
    // asked in external timing, next. The function starts a cache line (a path that straddles
    // two costs a further fetch at every call).
    if (effect != nullptr && effect->resvd1 != 0) [[likely]] {
        Guest* const guest = reinterpret_cast<Guest*>(effect->resvd1);
        if (opcode == audioMasterTempoAt) [[likely]]
            return guest->tempoAnswer;
        if (opcode == audioMasterGetTime) [[likely]]
            return reinterpret_cast<VstIntPtr>(&guest->timeInfo);
        // Then the plug-in's MIDI, 16 messages a step, straight into the buffer.
        if (opcode == audioMasterProcessEvents && ptr != nullptr) {
            guest->collect(static_cast<const VstEvents*>(ptr));
            return 1;
        }
    }
    return request(effect, opcode, index, value, ptr, opt);
}

// Every other request, out of line: the per-sample path above then saves no registers.
[[gnu::noinline]] VstIntPtr Guest::request(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                           VstIntPtr value, void* ptr, float opt) {
    if (opcode == audioMasterVersion) return kHostVersion;
    Guest* const guest = guestOf(effect);
    return guest != nullptr ? guest->answer(opcode, index, value, ptr, opt) : 0;
}

VstIntPtr Guest::answer(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                        float opt) {
    Listener* const listener = options.listener;
    switch (opcode) {
    case audioMasterAutomate:
        if (listener != nullptr) listener->automated(index, opt);
        return 0;
    case audioMasterBeginEdit:
        if (listener != nullptr) listener->beganEdit(index);
        return 1;
    case audioMasterEndEdit:
        if (listener != nullptr) listener->endedEdit(index);
        return 1;
    case audioMasterSizeWindow:
        return listener != nullptr &&
               listener->resizeEditor(index, static_cast<std::int32_t>(value));
    case audioMasterWantMidi: return 1;
    case audioMasterGetSampleRate: return truncated(current.sampleRate);
    case audioMasterGetBlockSize: return current.blockSize;
    case audioMasterTempoAt: return tempoAnswer;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&timeInfo);
    case audioMasterProcessEvents:
        if (ptr == nullptr) return 0;
        collect(static_cast<const VstEvents*>(ptr));
        return 1;
    case audioMasterGetVendorString:
        std::snprintf(static_cast<char*>(ptr), kHostStringSize, "%s",
                      hostVendor.empty() ? options.vendor : hostVendor.c_str());
        return 1;
    case audioMasterGetProductString:
        std::snprintf(static_cast<char*>(ptr), kHostStringSize, "%s",
                      hostProduct.empty() ? options.product : hostProduct.c_str());
        return 1;
    case audioMasterGetVendorVersion: return options.vendorVersion;
    case audioMasterCanDo:
        for (const char* capability : kHostCapabilities)
            if (ptr != nullptr && std::strcmp(static_cast<const char*>(ptr), capability) == 0)
                return 1;
        return 0;
    // Asked by plug-ins that take different paths offline; the guest's blocks are all played
    // as a real-time host plays them.
    case audioMasterGetCurrentProcessLevel: return kRealtimeProcessLevel;
    // The guest's audio ports are fixed: a plug-in changing its own is not followed.
    case audioMasterIOChanged:
    default: return 0;
    }
}

void Guest::collect(const VstEvents* list) {
    // Taken during the call: the plug-in may reuse its records afterwards.
    VstEvent* const* events = list->events;
    for (std::int32_t i = 0; i < list->numEvents; ++i) {
        const VstEvent* event = events[i];
        if (event == nullptr || event->type != kVstMidiType) continue;
        if (count == collected.size()) {
            lost.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        Event& kept = collected[count++];
        kept.deltaFrames = midi->deltaFrames;
        std::memcpy(kept.data, midi->midiData, sizeof kept.data);
    }
}

} // namespace guest
