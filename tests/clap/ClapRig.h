// A CLAP host of our own for the programs that drive the CLAP door (its tests, morvo-clap-play,
// the fuzz harness and the benchmarks): the library loaded as a host loads it, the host's record
// and extensions keeping what the plug-ins ask of them, a block's input events, the events the
// plug-in sends kept without allocating, the process record of a block, state streams, and the
// events a host sends.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "formats/clap/ClapInterface.h"
#include "formats/guest/Guest.h"

namespace clap_rig {

using namespace clap_abi;

// A library's clap_entry, initialised, and its plug-in factory.
struct Library {
    explicit Library(const std::string& path) {
#if defined(_WIN32)
        handle = LoadLibraryA(path.c_str());
        if (handle != nullptr)
            entry = reinterpret_cast<const clap_plugin_entry*>(
                GetProcAddress(static_cast<HMODULE>(handle), "clap_entry"));
#else
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr)
            entry = static_cast<const clap_plugin_entry*>(dlsym(handle, "clap_entry"));
#endif
        if (entry != nullptr && !entry->init(path.c_str())) entry = nullptr;
        if (entry != nullptr)
            factory =
                static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    }
    ~Library() {
        if (entry != nullptr) entry->deinit();
#if defined(_WIN32)
        if (handle != nullptr) FreeLibrary(static_cast<HMODULE>(handle));
#else
        if (handle != nullptr) dlclose(handle);
#endif
    }
    Library(const Library&) = delete;
    void* handle = nullptr;
    const clap_plugin_entry* entry = nullptr;
    const clap_plugin_factory* factory = nullptr;
};

template <typename Extension> const Extension* extension(const clap_plugin* p, const char* id) {
    return static_cast<const Extension*>(p->get_extension(p, id));
}

// The extensions of a plug-in a host calls.
struct Extensions {
    Extensions() = default;
    explicit Extensions(const clap_plugin* p)
        : params(extension<clap_plugin_params>(p, CLAP_EXT_PARAMS)),
          state(extension<clap_plugin_state>(p, CLAP_EXT_STATE)),
          gui(extension<clap_plugin_gui>(p, CLAP_EXT_GUI)),
          timer(extension<clap_plugin_timer_support>(p, CLAP_EXT_TIMER_SUPPORT)),
          presets(extension<clap_plugin_preset_load>(p, CLAP_EXT_PRESET_LOAD)),
          audioPorts(extension<clap_plugin_audio_ports>(p, CLAP_EXT_AUDIO_PORTS)),
          notePorts(extension<clap_plugin_note_ports>(p, CLAP_EXT_NOTE_PORTS)),
          latency(extension<clap_plugin_latency>(p, CLAP_EXT_LATENCY)) {}
    const clap_plugin_params* params = nullptr;
    const clap_plugin_state* state = nullptr;
    const clap_plugin_gui* gui = nullptr;
    const clap_plugin_timer_support* timer = nullptr;
    const clap_plugin_preset_load* presets = nullptr;
    const clap_plugin_audio_ports* audioPorts = nullptr;
    const clap_plugin_note_ports* notePorts = nullptr;
    const clap_plugin_latency* latency = nullptr;
};

// The host of plug-ins: its record and the extensions it offers (params and timers unless told
// not to, preset-load, and the thread check when told to), keeping what the plug-ins ask. The
// program stands in for the host's loop: it calls the timers registered.
struct Host {
    explicit Host(const char* name) {
        record.clap_version = CLAP_VERSION;
        record.host_data = this;
        record.name = name;
        record.vendor = record.url = record.version = "";
        record.get_extension = [](const clap_host* h, const char* id) -> const void* {
            Host& self = of(h);
            if (id == nullptr) {
                ++self.misuses;
                return nullptr;
            }
            if (self.offersParams && std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &self.params;
            if (self.offersTimers && std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
                return &self.timerSupport;
            if (self.checksThreads && std::strcmp(id, CLAP_EXT_THREAD_CHECK) == 0)
                return &self.threadCheck;
            return std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0 ? &self.presetLoad : nullptr;
        };
        record.request_restart = record.request_process =
            record.request_callback = [](const clap_host*) {};
    }
    Host(const Host&) = delete;
    static Host& of(const clap_host* h) { return *static_cast<Host*>(h->host_data); }

    clap_host record{};
    bool offersParams = true, offersTimers = true, checksThreads = false;
    // What a host refuses: an extension asked for without its id, a timer of period 0, and one
    // unregistered that is not registered.
    int misuses = 0;
    clap_param_rescan_flags rescans = 0; // every rescan's flags, or-ed
    int flushRequests = 0;
    clap_host_params params{
        [](const clap_host* h, clap_param_rescan_flags flags) { of(h).rescans |= flags; },
        [](const clap_host*, clap_id, clap_param_clear_flags) {},
        [](const clap_host* h) { ++of(h).flushRequests; }};
    std::vector<std::pair<clap_id, std::uint32_t>> timers; // registered: id and period
    clap_id nextTimer = 7;
    clap_host_timer_support timerSupport{[](const clap_host* h, std::uint32_t period, clap_id* id) {
                                             Host& self = of(h);
                                             self.misuses += period == 0;
                                             *id = self.nextTimer++;
                                             self.timers.emplace_back(*id, period);
                                             return true;
                                         },
                                         [](const clap_host* h, clap_id id) {
                                             Host& self = of(h);
                                             for (auto t = self.timers.begin();
                                                  t != self.timers.end(); ++t)
                                                 if (t->first == id) {
                                                     self.timers.erase(t);
                                                     return true;
                                                 }
                                             ++self.misuses;
                                             return false;
                                         }};
    // The thread the host says the plug-in calls from.
    bool onAudioThread = false;
    clap_host_thread_check threadCheck{[](const clap_host* h) { return !of(h).onAudioThread; },
                                       [](const clap_host* h) { return of(h).onAudioThread; }};
    // The keys of the presets loaded inside the plug-in, and how many loads failed.
    std::vector<std::string> presetsLoaded;
    int presetErrors = 0;
    clap_host_preset_load presetLoad{
        [](const clap_host* h, std::uint32_t, const char*, const char*, std::int32_t, const char*) {
            ++of(h).presetErrors;
        },
        [](const clap_host* h, std::uint32_t kind, const char* location, const char* key) {
            const bool inside = kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && !location && key;
            of(h).presetsLoaded.push_back(inside ? key : "?");
        }};
};

// Input events of one block, pointing at events the caller keeps.
struct InputEvents {
    InputEvents() = default;
    InputEvents(const InputEvents&) = delete;
    std::vector<const clap_event_header*> events;
    clap_input_events record{this,
                             [](const clap_input_events* l) {
                                 return static_cast<std::uint32_t>(
                                     static_cast<InputEvents*>(l->ctx)->events.size());
                             },
                             [](const clap_input_events* l, std::uint32_t i) {
                                 const auto& all = static_cast<InputEvents*>(l->ctx)->events;
                                 return i < all.size() ? all[i] : nullptr;
                             }};
};

// What the plug-in sends, in storage reserved beforehand: taking an event allocates nothing, and
// one that finds no room is refused, as a host's full queue refuses it. MIDI messages and
// automation are kept with the block they came in; the rest is counted: events out of time
// order within a block, and strange ones (of another space or type, or of another size or flags
// than their type's).
struct OutputEvents {
    struct Midi {
        std::uint32_t block, time;
        std::uint8_t data[3];
        std::uint16_t port;
        bool operator==(const Midi&) const = default;
    };
    struct Automation {
        std::uint32_t block, time;
        std::uint16_t type;
        clap_id id;
        double value; // -1 for a gesture
    };
    explicit OutputEvents(std::size_t capacity = 1 << 16) {
        midi.reserve(capacity);
        automation.reserve(capacity);
    }
    OutputEvents(const OutputEvents&) = delete;
    void startBlock(std::uint32_t b) {
        block = b;
        lastTime = 0;
    }
    void clear() {
        midi.clear();
        automation.clear();
        strange = unordered = 0;
        lastTime = 0;
    }

    std::vector<Midi> midi;
    std::vector<Automation> automation;
    std::size_t strange = 0, unordered = 0;
    std::uint32_t block = 0, lastTime = 0;
    clap_output_events record{this, [](const clap_output_events* l, const clap_event_header* e) {
                                  return static_cast<OutputEvents*>(l->ctx)->take(*e);
                              }};

  private:
    bool take(const clap_event_header& e) {
        unordered += e.time < lastTime;
        lastTime = e.time;
        const bool core = e.space_id == CLAP_CORE_EVENT_SPACE_ID;
        if (core && e.type == CLAP_EVENT_MIDI && e.size == sizeof(clap_event_midi) &&
            e.flags == 0) {
            if (midi.size() == midi.capacity()) return false;
            const auto& m = reinterpret_cast<const clap_event_midi&>(e);
            midi.push_back({block, e.time, {m.data[0], m.data[1], m.data[2]}, m.port_index});
            return true;
        }
        const bool change = e.type == CLAP_EVENT_PARAM_VALUE;
        const bool gesture =
            e.type == CLAP_EVENT_PARAM_GESTURE_BEGIN || e.type == CLAP_EVENT_PARAM_GESTURE_END;
        if (core && (change ? e.size == sizeof(clap_event_param_value)
                            : gesture && e.size == sizeof(clap_event_param_gesture))) {
            if (automation.size() == automation.capacity()) return false;
            automation.push_back(
                {block, e.time, e.type,
                 reinterpret_cast<const clap_event_param_gesture&>(e).param_id,
                 change ? reinterpret_cast<const clap_event_param_value&>(e).value : -1.0});
            return true;
        }
        ++strange;
        return true;
    }
};

// The process record of a block of `frames`, with the audio ports given (none where null).
inline clap_process processOf(std::uint32_t frames, const clap_event_transport* transport,
                              const clap_audio_buffer* in, clap_audio_buffer* out,
                              const clap_input_events* events, const clap_output_events* sent) {
    return {-1,     frames, transport, in, out, in != nullptr ? 1u : 0u, out != nullptr ? 1u : 0u,
            events, sent};
}

// A block as a host hands it: two channels each way in 32-bit buffers of its own (silence in),
// the events in and the host's list for those out, and the transport (an event among the events
// where null).
struct Block {
    Block(std::uint32_t frames, InputEvents& events, OutputEvents& sent,
          const clap_event_transport* transport = nullptr)
        : samples(4 * std::size_t{frames}, 0.0f),
          process(processOf(frames, transport, &audioIn, &audioOut, &events.record, &sent.record)) {
        for (std::uint32_t c = 0; c < 2; ++c) {
            inputs[c] = samples.data() + c * frames;
            outputs[c] = samples.data() + (2 + c) * frames;
        }
    }
    Block(const Block&) = delete;
    std::vector<float> samples;
    float* inputs[2] = {};
    float* outputs[2] = {};
    clap_audio_buffer audioIn{inputs, nullptr, 2, 0, 0}, audioOut{outputs, nullptr, 2, 0, 0};
    clap_process process;
};

// A host's stream for a state: what is written goes into bytes, what is read comes from them,
// at most `most` bytes a call (0: any), and every call fails once `failAfter` bytes moved (-1:
// never).
struct Stream {
    explicit Stream(std::vector<std::uint8_t> from = {}, std::uint32_t most = 0)
        : bytes(std::move(from)), most(most) {}
    Stream(const Stream&) = delete;
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    std::uint32_t most = 0;
    std::int64_t failAfter = -1;
    clap_ostream out{this, [](const clap_ostream* s, const void* from, std::uint64_t size) {
                         auto& self = *static_cast<Stream*>(s->ctx);
                         const std::uint64_t n = self.moved(size);
                         if (n == UINT64_MAX) return std::int64_t{-1};
                         const auto* b = static_cast<const std::uint8_t*>(from);
                         self.bytes.insert(self.bytes.end(), b, b + n);
                         self.at += n;
                         return static_cast<std::int64_t>(n);
                     }};
    clap_istream in{this, [](const clap_istream* s, void* to, std::uint64_t size) {
                        auto& self = *static_cast<Stream*>(s->ctx);
                        std::uint64_t n = self.moved(size);
                        if (n == UINT64_MAX) return std::int64_t{-1};
                        n = std::min<std::uint64_t>(n, self.bytes.size() - self.at);
                        if (n > 0) std::memcpy(to, self.bytes.data() + self.at, n);
                        self.at += n;
                        return static_cast<std::int64_t>(n);
                    }};

  private:
    std::uint64_t moved(std::uint64_t size) const {
        if (failAfter >= 0 && at >= static_cast<std::uint64_t>(failAfter)) return UINT64_MAX;
        return most != 0 ? std::min<std::uint64_t>(size, most) : size;
    }
};

// The events a host sends.
inline clap_event_param_value parameterEvent(clap_id id, double value, std::uint32_t time = 0) {
    clap_event_param_value event{};
    event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    event.param_id = id;
    event.note_id = -1;
    event.port_index = event.channel = event.key = -1;
    event.value = value;
    return event;
}

inline clap_event_note noteOn(int key, double velocity, std::uint32_t time = 0) {
    clap_event_note event{};
    event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON, 0};
    event.note_id = -1;
    event.key = static_cast<std::int16_t>(key);
    event.velocity = velocity;
    return event;
}

// Where the song is at a block's start, as the guest's transport says it; what that does not
// mark valid, the event does not flag.
inline clap_event_transport transportEvent(const guest::Transport& t) {
    clap_event_transport event{};
    event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    event.flags = (t.playing ? CLAP_TRANSPORT_IS_PLAYING : 0u) |
                  (t.hasTempo ? CLAP_TRANSPORT_HAS_TEMPO : 0u) |
                  (t.hasSongPosition ? CLAP_TRANSPORT_HAS_BEATS_TIMELINE : 0u) |
                  (t.hasTimeSignature ? CLAP_TRANSPORT_HAS_TIME_SIGNATURE : 0u);
    event.tempo = t.tempo;
    event.song_pos_beats = std::llround(t.songPosition * CLAP_BEATTIME_FACTOR);
    event.bar_start = std::llround(t.barStart * CLAP_BEATTIME_FACTOR);
    event.tsig_num = static_cast<std::uint16_t>(t.numerator);
    event.tsig_denom = static_cast<std::uint16_t>(t.denominator);
    return event;
}

} // namespace clap_rig
