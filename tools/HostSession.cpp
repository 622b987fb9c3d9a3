#include "HostSession.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using EntryPoint = AEffect*(VSTCALLBACK*)(audioMasterCallback);

HostSession* current = nullptr; // the callback's way back to its session

// What this host can do, answered to the plug-in's canDo requests.
const char* const kHostCapabilities[] = {"sendVstEvents",    "sendVstMidiEvent",
                                         "receiveVstEvents", "receiveVstMidiEvent",
                                         "sendVstTimeInfo",  "supplyIdle"};

constexpr std::int32_t kHostVersion = 2400;

bool fileExists(const std::string& path) {
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        return true;
    }
    return false;
}

void* openLibrary(const std::string& path) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

EntryPoint findSymbol(void* library, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<EntryPoint>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name)));
#else
    return reinterpret_cast<EntryPoint>(dlsym(library, name));
#endif
}

void closeLibrary(void* library) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

// Parameter names compared without case, blanks or punctuation: "ccOut" finds "CC Out".
std::string normalised(const std::string& name) {
    std::string result;
    for (unsigned char c : name)
        if (std::isalnum(c)) result += static_cast<char>(std::tolower(c));
    return result;
}

} // namespace

HostSession::~HostSession() {
    close();
    if (library != nullptr) closeLibrary(library);
    if (current == this) current = nullptr;
}

bool HostSession::load(const std::string& path, std::string& error) {
    if (!fileExists(path)) {
        error = "no such file";
        return false;
    }
    library = openLibrary(path);
    if (library == nullptr) {
        error = "not a library this host can load";
        return false;
    }
    EntryPoint entry = findSymbol(library, "VSTPluginMain");
    if (entry == nullptr) entry = findSymbol(library, "main");
    if (entry == nullptr) {
        error = "exports neither VSTPluginMain nor main";
        return false;
    }
    current = this;
    AEffect* record = entry(callback);
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
    plugin = record;
    return true;
}

void HostSession::close() {
    if (plugin != nullptr) {
        dispatch(effClose);
        plugin = nullptr;
    }
}

VstIntPtr HostSession::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                                float opt) {
    return plugin->dispatcher(plugin, opcode, index, value, ptr, opt);
}

std::string HostSession::text(std::int32_t opcode, std::int32_t index) {
    // Far larger than any limit of the interface: plug-ins write past the nominal 8 or 24.
    char buffer[512];
    std::memset(buffer, 0, sizeof buffer);
    dispatch(opcode, index, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

std::int32_t HostSession::findParameter(const std::string& name, std::string& error) {
    const std::int32_t count = plugin->numParams;
    if (!name.empty() && std::all_of(name.begin(), name.end(),
                                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        const long index = std::strtol(name.c_str(), nullptr, 10);
        if (index < count) return static_cast<std::int32_t>(index);
        error = "parameter index " + name + " is out of range (the plug-in has " +
                std::to_string(count) + ")";
        return -1;
    }
    const std::string wanted = normalised(name);
    std::vector<std::int32_t> prefixed;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string candidate = normalised(text(effGetParamName, i));
        if (candidate == wanted) return i;
        if (!wanted.empty() && candidate.compare(0, wanted.size(), wanted) == 0)
            prefixed.push_back(i);
    }
    if (prefixed.size() == 1) return prefixed[0];
    error = prefixed.empty() ? "the plug-in has no parameter named '" + name + "'"
                             : "'" + name + "' names more than one parameter";
    return -1;
}

VstIntPtr VSTCALLBACK HostSession::callback(AEffect*, std::int32_t opcode, std::int32_t index,
                                            VstIntPtr value, void* ptr, float opt) {
    if (opcode == audioMasterVersion) return kHostVersion;
    return current != nullptr ? current->answer(opcode, index, value, ptr, opt) : 0;
}

VstIntPtr HostSession::answer(std::int32_t opcode, std::int32_t index, VstIntPtr, void* ptr,
                              float opt) {
    switch (opcode) {
    case audioMasterAutomate:
        // Kept only when playing offline: live, this may come from the audio thread.
        if (ring == nullptr) automation.emplace_back(index, opt);
        return 0;
    case audioMasterWantMidi: return 1;
    case audioMasterGetSampleRate: return static_cast<VstIntPtr>(settings.sampleRate);
    case audioMasterGetBlockSize: return settings.blockSize;
    case audioMasterTempoAt: return static_cast<VstIntPtr>(std::llround(settings.tempo * 10000));
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&timeInfo);
    case audioMasterProcessEvents: {
        // Taken during the call: the plug-in may reuse its records afterwards.
        const auto* list = static_cast<const VstEvents*>(ptr);
        if (list == nullptr) return 0;
        VstEvent* const* events = list->events;
        for (std::int32_t i = 0; i < list->numEvents; ++i) {
            const VstEvent* event = events[i];
            if (event == nullptr || event->type != kVstMidiType) continue;
            const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
            ReceivedEvent received{
                blockStart + static_cast<std::uint64_t>(std::max(midi->deltaFrames, 0)), {}};
            std::memcpy(received.data, midi->midiData, 3);
            if (ring != nullptr)
                ring->push({received, false}); // the audio thread: nothing allocated
            else
                this->received.push_back(received);
        }
        return 1;
    }
    case audioMasterGetVendorString: std::strcpy(static_cast<char*>(ptr), "Morvo"); return 1;
    case audioMasterGetProductString: std::strcpy(static_cast<char*>(ptr), "morvo-host"); return 1;
    case audioMasterGetVendorVersion: return 1;
    case audioMasterCanDo:
        for (const char* capability : kHostCapabilities)
            if (ptr != nullptr && std::strcmp(static_cast<const char*>(ptr), capability) == 0)
                return 1;
        return 0;
    case audioMasterGetCurrentProcessLevel: return 2; // the real-time audio thread
    default: return 0;
    }
}

void HostSession::play(const SessionSettings& chosen, std::int32_t program,
                       const std::vector<std::pair<std::int32_t, float>>& parameters,
                       std::vector<SentNote> notes) {
    start(chosen, program, parameters, std::move(notes));
    const auto total = static_cast<std::uint64_t>(std::llround(settings.beats * samplesPerBeat));
    while (blockStart < total)
        processBlock(static_cast<std::int32_t>(std::min<std::uint64_t>(
            static_cast<std::uint64_t>(settings.blockSize), total - blockStart)));
    stop();
}

void HostSession::start(const SessionSettings& chosen, std::int32_t program,
                        const std::vector<std::pair<std::int32_t, float>>& parameters,
                        std::vector<SentNote> notes, EventRing* events) {
    settings = chosen;
    ring = events;
    samplesPerBeat = settings.sampleRate * 60.0 / settings.tempo;
    std::sort(notes.begin(), notes.end(),
              [](const SentNote& a, const SentNote& b) { return a.sample < b.sample; });
    sent = std::move(notes);
    nextNote = 0;
    blockStart = 0;

    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(settings.sampleRate));
    dispatch(effSetBlockSize, 0, settings.blockSize);
    if (program >= 0) dispatch(effSetProgram, 0, program);
    for (const auto& [index, value] : parameters)
        plugin->setParameter(plugin, index, value);
    startValues.clear();
    for (std::int32_t i = 0; i < plugin->numParams; ++i)
        startValues.push_back(plugin->getParameter(plugin, i));
    dispatch(effMainsChanged, 0, 1);

    silence.assign(static_cast<std::size_t>(settings.blockSize), 0.0f);
    left.assign(silence.size(), 0.0f);
    right.assign(silence.size(), 0.0f);
    inputs[0] = inputs[1] = silence.data();
    outputs[0] = left.data();
    outputs[1] = right.data();
    noteEvents.assign(sent.size(), VstMidiEvent{});
    noteList.assign(nullptr, sent.size());
}

void HostSession::processBlock(std::int32_t frames) {
    std::size_t count = 0;
    while (nextNote < sent.size() &&
           sent[nextNote].sample < blockStart + static_cast<std::uint64_t>(frames)) {
        VstMidiEvent& event = noteEvents[count];
        event = VstMidiEvent{};
        event.type = kVstMidiType;
        event.byteSize = sizeof(VstMidiEvent);
        event.deltaFrames = static_cast<std::int32_t>(sent[nextNote].sample - blockStart);
        event.flags = kVstMidiEventIsRealtime;
        event.midiData[0] = static_cast<char>(0x90);
        event.midiData[1] = static_cast<char>(sent[nextNote].note);
        event.midiData[2] = 100;
        noteList.pointers()[count++] = reinterpret_cast<VstEvent*>(&event);
        ++nextNote;
    }
    if (count > 0) {
        noteList.get()->numEvents = static_cast<std::int32_t>(count);
        dispatch(effProcessEvents, 0, 0, noteList.get());
    }
    timeInfo = VstTimeInfo{};
    timeInfo.samplePos = static_cast<double>(blockStart);
    timeInfo.sampleRate = settings.sampleRate;
    timeInfo.ppqPos = static_cast<double>(blockStart) / samplesPerBeat;
    timeInfo.tempo = settings.tempo;
    timeInfo.barStartPos = std::floor(timeInfo.ppqPos / 4.0) * 4.0;
    timeInfo.timeSigNumerator = 4;
    timeInfo.timeSigDenominator = 4;
    timeInfo.flags =
        kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
    plugin->processReplacing(plugin, inputs, outputs, frames);
    blockStart += static_cast<std::uint64_t>(frames);
}

void HostSession::stop() {
    dispatch(effMainsChanged, 0, 0);
    close();
}
