#include "formats/clap/ClapPlugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "formats/shared/PluginFacts.h"
#include "host/Morvo.h"

namespace clap_door {

using namespace clap_abi;

namespace {

constexpr std::size_t kMidiChannels = 16;
constexpr std::size_t kIncomingCapacity = 1024; // MIDI messages one block hands the plug-in
constexpr std::uint32_t kChannels = 2;
constexpr unsigned char kNoteOn = 0x90, kNoteOff = 0x80;
constexpr const char* kStereoInName = "Input";
constexpr const char* kStereoOutName = "Output";

// CLAP velocities are 0..1; a note-on of MIDI velocity 0 would be a note-off.
unsigned char midiVelocity(double velocity, bool noteOn) {
    const double scaled = std::isfinite(velocity) ? std::round(velocity * 127.0) : 0.0;
    const auto value = static_cast<unsigned char>(std::clamp(scaled, 0.0, 127.0));
    return noteOn ? std::max<unsigned char>(value, 1) : value;
}

double beats(clap_beattime time) {
    return static_cast<double>(time) / static_cast<double>(CLAP_BEATTIME_FACTOR);
}

void copyName(char* to, const char* from) {
    std::snprintf(to, CLAP_NAME_SIZE, "%s", from);
}

// A host extension the door calls, or none where the host offers it without one of the
// functions the door calls.
template <typename Extension, typename... Slots>
const Extension* offered(const clap_host* host, const char* id, Slots Extension::*... used) {
    const auto* found = host->get_extension != nullptr
                            ? static_cast<const Extension*>(host->get_extension(host, id))
                            : nullptr;
    return found != nullptr && ((found->*used != nullptr) && ...) ? found : nullptr;
}

} // namespace

bool EditRing::push(const Edit& edit) {
    const std::uint32_t at = head.load(std::memory_order_relaxed);
    if (at - tail.load(std::memory_order_acquire) == kCapacity) return false;
    slots[at % kCapacity] = edit;
    head.store(at + 1, std::memory_order_release);
    return true;
}

bool EditRing::pop(Edit& edit) {
    const std::uint32_t at = tail.load(std::memory_order_relaxed);
    if (at == head.load(std::memory_order_acquire)) return false;
    edit = slots[at % kCapacity];
    tail.store(at + 1, std::memory_order_release);
    return true;
}

// The record's and the extensions' slots: each finds its plug-in and calls it.
struct Slots {
    static bool init(const clap_plugin* p) { return ClapPlugin::of(p).init(); }
    static void destroy(const clap_plugin* p) { ClapPlugin::of(p).destroy(); }
    static bool activate(const clap_plugin* p, double rate, std::uint32_t, std::uint32_t max) {
        return ClapPlugin::of(p).activate(rate, max);
    }
    static void deactivate(const clap_plugin* p) { ClapPlugin::of(p).deactivate(); }
    static bool startProcessing(const clap_plugin* p) {
        return ClapPlugin::of(p).startProcessing();
    }
    static void stopProcessing(const clap_plugin* p) { ClapPlugin::of(p).stopProcessing(); }
    static void reset(const clap_plugin* p) { ClapPlugin::of(p).reset(); }
    static clap_process_status process(const clap_plugin* p, const clap_process* block) {
        return block != nullptr ? ClapPlugin::of(p).process(*block) : CLAP_PROCESS_ERROR;
    }
    static const void* extension(const clap_plugin* p, const char* id) {
        return id != nullptr ? ClapPlugin::of(p).extension(id) : nullptr;
    }
    static void onMainThread(const clap_plugin*) {}

    // One stereo port each way, sharing its buffer.
    static std::uint32_t audioPortCount(const clap_plugin*, bool) { return 1; }
    static bool audioPort(const clap_plugin*, std::uint32_t index, bool input,
                          clap_audio_port_info* info) {
        if (index != 0 || info == nullptr) return false;
        *info = clap_audio_port_info{};
        info->id = 0;
        copyName(info->name, input ? kStereoInName : kStereoOutName);
        info->flags = CLAP_AUDIO_PORT_IS_MAIN;
        info->channel_count = kChannels;
        info->port_type = CLAP_PORT_STEREO;
        info->in_place_pair = 0;
        return true;
    }
    // One MIDI port each way: notes in, Control Change out.
    static std::uint32_t notePortCount(const clap_plugin*, bool) { return 1; }
    static bool notePort(const clap_plugin*, std::uint32_t index, bool input,
                         clap_note_port_info* info) {
        if (index != 0 || info == nullptr) return false;
        *info = clap_note_port_info{};
        info->id = 0;
        info->supported_dialects = CLAP_NOTE_DIALECT_MIDI;
        info->preferred_dialect = CLAP_NOTE_DIALECT_MIDI;
        copyName(info->name, input ? "MIDI In" : "MIDI Out");
        return true;
    }
    static std::uint32_t parameterCount(const clap_plugin* p) {
        return static_cast<std::uint32_t>(ClapPlugin::of(p).parameterCount());
    }
    static bool parameterInfo(const clap_plugin* p, std::uint32_t index, clap_param_info* info) {
        return info != nullptr && ClapPlugin::of(p).parameterInfo(index, *info);
    }
    static bool parameterValue(const clap_plugin* p, clap_id id, double* value) {
        ClapPlugin& door = ClapPlugin::of(p);
        if (value == nullptr || !door.isParameter(id)) return false;
        *value = door.hosted.parameter(static_cast<std::int32_t>(id));
        return true;
    }
    static bool valueText(const clap_plugin* p, clap_id id, double value, char* text,
                          std::uint32_t capacity) {
        return text != nullptr && capacity > 0 &&
               ClapPlugin::of(p).valueText(id, value, text, capacity);
    }
    static bool textValue(const clap_plugin* p, clap_id id, const char* text, double* value) {
        return text != nullptr && value != nullptr && ClapPlugin::of(p).textValue(id, text, *value);
    }
    static void flush(const clap_plugin* p, const clap_input_events* in,
                      const clap_output_events* out) {
        ClapPlugin::of(p).flush(in, out);
    }
    static std::uint32_t latency(const clap_plugin*) { return 0; }
    static bool save(const clap_plugin* p, const clap_ostream* stream) {
        return stream != nullptr && ClapPlugin::of(p).save(*stream);
    }
    static bool load(const clap_plugin* p, const clap_istream* stream) {
        return stream != nullptr && ClapPlugin::of(p).load(*stream);
    }

    static constexpr clap_plugin_audio_ports audioPorts{audioPortCount, audioPort};
    static constexpr clap_plugin_note_ports notePorts{notePortCount, notePort};
    static constexpr clap_plugin_params params{parameterCount, parameterInfo, parameterValue,
                                               valueText,      textValue,     flush};
    static constexpr clap_plugin_latency latencyReport{latency};
    static constexpr clap_plugin_state state{save, load};
};

ClapPlugin::ClapPlugin(const clap_host* theHost)
    : plugin{&library().descriptor,
             this,
             Slots::init,
             Slots::destroy,
             Slots::activate,
             Slots::deactivate,
             Slots::startProcessing,
             Slots::stopProcessing,
             Slots::reset,
             Slots::process,
             Slots::extension,
             Slots::onMainThread},
      host(theHost), facts(library().facts),
      hosted(plugin_facts::guestOptions(kFormat, this, kIncomingCapacity)),
      formatter(plugin_facts::guestOptions(kFormat, nullptr, 0)) {}

bool ClapPlugin::init() {
    threads = offered(host, CLAP_EXT_THREAD_CHECK, &clap_host_thread_check::is_main_thread,
                      &clap_host_thread_check::is_audio_thread);
    hostParams =
        offered(host, CLAP_EXT_PARAMS, &clap_host_params::rescan, &clap_host_params::request_flush);
    hostTimers = offered(host, CLAP_EXT_TIMER_SUPPORT, &clap_host_timer_support::register_timer,
                         &clap_host_timer_support::unregister_timer);
    for (const char* id : {CLAP_EXT_PRESET_LOAD, CLAP_EXT_PRESET_LOAD_COMPAT})
        if (hostPresets == nullptr)
            hostPresets =
                offered(host, id, &clap_host_preset_load::on_error, &clap_host_preset_load::loaded);
    std::string error;
    if (!library().described || !hosted.create(pluginMain, error) ||
        !formatter.create(pluginMain, error))
        return false;
    hosted.open();
    formatter.open();
    // The values every program has at creation, as the library read them: the plug-in shows
    // only the current program's.
    for (const guest::ProgramFacts& program : facts.programs)
        storedPrograms.push_back(program.values);
    return true;
}

void ClapPlugin::destroy() {
    if (active.load(std::memory_order_relaxed)) deactivate();
    // A host that destroys the plug-in with its editor open still gets its timer back.
    destroyGui();
    hosted.close();
    formatter.close();
    delete this;
}

bool ClapPlugin::onMainThread() const {
    return threads == nullptr || threads->is_main_thread(host);
}

bool ClapPlugin::onAudioThread() const {
    return threads == nullptr || threads->is_audio_thread(host);
}

bool ClapPlugin::activate(double rate, std::uint32_t frames) {
    if (!(rate > 0.0) || frames == 0 || !onMainThread()) return false;
    // Room for a message per channel and frame (what no block of the plug-in exceeds) and the
    // scratch channels, made before anything changes: a block length beyond what memory holds
    // is refused, and no exception reaches the host.
    try {
        std::vector<float> room(static_cast<std::size_t>(frames) * kChannels * 2, 0.0f);
        hosted.setEventCapacity(static_cast<std::size_t>(frames) * kMidiChannels);
        scratch.swap(room);
    } catch (const std::bad_alloc&) {
        return false;
    }
    sampleRate = rate;
    maxFrames = frames;
    hosted.setSampleRate(rate);
    hosted.setBlockSize(static_cast<std::int32_t>(frames));
    guest::Transport still;
    still.sampleRate = rate;
    still.blockSize = static_cast<std::int32_t>(frames);
    hosted.setTransport(still);
    active.store(true, std::memory_order_relaxed);
    return true;
}

void ClapPlugin::deactivate() {
    active.store(false, std::memory_order_relaxed);
}

const void* ClapPlugin::extension(const char* id) const {
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &Slots::audioPorts;
    if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &Slots::notePorts;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &Slots::params;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &Slots::latencyReport;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &Slots::state;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0 ||
        std::strcmp(id, CLAP_EXT_PRESET_LOAD_COMPAT) == 0)
        return &presetLoad;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &gui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &timerSupport;
    return nullptr;
}

bool ClapPlugin::startProcessing() {
    if (!onAudioThread()) return false;
    framesPlayed = 0.0;
    hosted.resume();
    return true;
}

void ClapPlugin::stopProcessing() {
    hosted.suspend();
}

void ClapPlugin::reset() {
    // What a VST 2 host does to bring a plug-in back to silence.
    hosted.suspend();
    hosted.resume();
    hosted.dropSent();
}

clap_process_status ClapPlugin::process(const clap_process& block) {
    if (!onAudioThread()) return CLAP_PROCESS_ERROR;
    const std::uint32_t frames = std::min(block.frames_count, maxFrames);
    if (frames == 0) { // nothing to play, but the host's parameter changes still hold
        takeParameters(block.in_events);
        return CLAP_PROCESS_CONTINUE;
    }
    audioThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    processOut.store(block.out_events, std::memory_order_relaxed);
    sendEdits(block.out_events);

    // The transport at the block's start: the process's own, or a transport event within it.
    const clap_event_transport* transport = block.transport;
    const std::uint32_t count =
        block.in_events != nullptr ? block.in_events->size(block.in_events) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_event_header* event = block.in_events->get(block.in_events, i);
        if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
        if (event->type == CLAP_EVENT_TRANSPORT && event->time == 0)
            transport = reinterpret_cast<const clap_event_transport*>(event);
        else
            takeEvent(*event, false);
    }

    // In place or not, the plug-in gets two channels of each; a host without 32-bit buffers
    // gets silence.
    float* inputs[kChannels];
    float* outputs[kChannels];
    for (std::uint32_t c = 0; c < kChannels; ++c) {
        inputs[c] = scratch.data() + c * maxFrames;
        outputs[c] = scratch.data() + (kChannels + c) * maxFrames;
    }
    if (block.audio_inputs_count > 0 && block.audio_inputs[0].data32 != nullptr)
        for (std::uint32_t c = 0; c < std::min(kChannels, block.audio_inputs[0].channel_count); ++c)
            inputs[c] = block.audio_inputs[0].data32[c];
    if (block.audio_outputs_count > 0 && block.audio_outputs[0].data32 != nullptr)
        for (std::uint32_t c = 0; c < std::min(kChannels, block.audio_outputs[0].channel_count);
             ++c)
            outputs[c] = block.audio_outputs[0].data32[c];
    // Silence only where the host gave no input, and only for this block's frames.
    for (std::uint32_t c = 0; c < kChannels; ++c)
        if (inputs[c] == scratch.data() + c * maxFrames) std::fill_n(inputs[c], frames, 0.0f);
    MidiSink sink{block.out_events};
    hosted.run(transportOf(transport), {inputs, outputs, static_cast<std::int32_t>(frames)}, sink);
    processOut.store(nullptr, std::memory_order_relaxed);
    framesPlayed += frames;
    return CLAP_PROCESS_CONTINUE;
}

guest::Transport ClapPlugin::transportOf(const clap_event_transport* transport) const {
    guest::Transport now;
    now.sampleRate = sampleRate;
    now.blockSize = static_cast<std::int32_t>(maxFrames);
    now.samplePosition = framesPlayed;
    // Without a transport the plug-in hears what a VST 2 host without a tempo says: nothing.
    if (transport != nullptr) {
        const std::uint32_t flags = transport->flags;
        now.playing = (flags & CLAP_TRANSPORT_IS_PLAYING) != 0;
        now.hasTempo = (flags & CLAP_TRANSPORT_HAS_TEMPO) != 0;
        if (now.hasTempo) now.tempo = transport->tempo;
        if ((flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) != 0) {
            now.hasSongPosition = true;
            now.songPosition = beats(transport->song_pos_beats);
            now.hasBars = true;
            now.barStart = beats(transport->bar_start);
        }
        if ((flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) != 0 && transport->tsig_denom > 0) {
            now.hasTimeSignature = true;
            now.numerator = transport->tsig_num;
            now.denominator = transport->tsig_denom;
        }
    }
    return now;
}

void ClapPlugin::takeEvent(const clap_event_header& event, bool parametersOnly) {
    switch (event.type) {
    case CLAP_EVENT_PARAM_VALUE: {
        // Parameter changes act at the block's start: the record has no later place for them.
        const auto& change = reinterpret_cast<const clap_event_param_value&>(event);
        if (isParameter(change.param_id) && std::isfinite(change.value))
            hosted.setParameter(static_cast<std::int32_t>(change.param_id),
                                static_cast<float>(change.value));
        return;
    }
    case CLAP_EVENT_NOTE_ON:
    case CLAP_EVENT_NOTE_OFF: {
        if (parametersOnly) return;
        const auto& note = reinterpret_cast<const clap_event_note&>(event);
        if (note.key < 0 || note.key > 127) return;
        const bool on = event.type == CLAP_EVENT_NOTE_ON;
        const unsigned char data[3] = {
            static_cast<unsigned char>((on ? kNoteOn : kNoteOff) | (note.channel & 0x0F)),
            static_cast<unsigned char>(note.key), midiVelocity(note.velocity, on)};
        hosted.queueEvent(static_cast<std::int32_t>(event.time), data);
        return;
    }
    case CLAP_EVENT_MIDI: {
        if (parametersOnly) return;
        const auto& midi = reinterpret_cast<const clap_event_midi&>(event);
        hosted.queueEvent(static_cast<std::int32_t>(event.time), midi.data);
        return;
    }
    default: return;
    }
}

void ClapPlugin::sendEdits(const clap_output_events* out) {
    Edit edit;
    while (edits.pop(edit))
        sendEdit(edit, out);
}

void ClapPlugin::sendEdit(const Edit& edit, const clap_output_events* out) {
    if (out == nullptr) return;
    if (edit.kind == Edit::change) {
        clap_event_param_value event{};
        event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        event.param_id = static_cast<clap_id>(edit.index);
        event.note_id = -1;
        event.port_index = event.channel = event.key = -1;
        event.value = edit.value;
        out->try_push(out, &event.header);
        return;
    }
    clap_event_param_gesture event{};
    event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID,
                    edit.kind == Edit::begin ? CLAP_EVENT_PARAM_GESTURE_BEGIN
                                             : CLAP_EVENT_PARAM_GESTURE_END,
                    0};
    event.param_id = static_cast<clap_id>(edit.index);
    out->try_push(out, &event.header);
}

void MidiSink::take(std::uint32_t frame, const unsigned char data[3]) {
    if (out == nullptr) return;
    clap_event_midi event{};
    event.header = {sizeof event, frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
    event.port_index = 0;
    std::memcpy(event.data, data, sizeof event.data);
    out->try_push(out, &event.header);
}

void ClapPlugin::automated(std::int32_t index, float value) {
    edited({Edit::change, index, value});
}
void ClapPlugin::beganEdit(std::int32_t index) {
    edited({Edit::begin, index, 0.0f});
}
void ClapPlugin::endedEdit(std::int32_t index) {
    edited({Edit::end, index, 0.0f});
}

void ClapPlugin::edited(const Edit& edit) {
    // Inside process, on its thread, the edit goes straight out with the block; from anywhere
    // else it waits for the next block or params flush.
    const clap_output_events* out = processOut.load(std::memory_order_relaxed);
    if (out != nullptr &&
        audioThread.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
        sendEdit(edit, out);
        return;
    }
    if (edits.push(edit) && hostParams != nullptr) hostParams->request_flush(host);
}

} // namespace clap_door
