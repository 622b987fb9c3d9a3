// The records and constants of the CLAP interface, version 1.2.1, written from its published binary
// layout: the entry, the plug-in and preset-discovery factories, the plug-in and host records,
// processing and events, and the extensions a note effect with an embedded editor and factory
// presets uses. The names are the interface's own, so
// its documentation reads straight onto this file. Every size and offset is checked at the end for
// 64-bit and 32-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace clap_abi {

// A function slot of the interface. CLAP calls with the platform's C convention; 32-bit Windows
// names it, as a compiler there can be told to default to another.
template <typename Signature> struct FunctionSlot;
#if defined(_WIN32) && defined(__i386__)
template <typename R, typename... Args> struct FunctionSlot<R(Args...)> {
    using type = R(__cdecl*)(Args...);
};
#else
template <typename R, typename... Args> struct FunctionSlot<R(Args...)> {
    using type = R (*)(Args...);
};
#endif
template <typename Signature> using Fn = typename FunctionSlot<Signature>::type;

// ---- Version -------------------------------------------------------------------------------

struct clap_version {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t revision;
};

// The version we declare in the entry and the descriptor; hosts accept any major version >= 1.
inline constexpr clap_version CLAP_VERSION{1, 2, 1};

// ---- Identifiers, text capacities, fixed-point times ---------------------------------------

using clap_id = std::uint32_t;
inline constexpr clap_id CLAP_INVALID_ID = 0xFFFFFFFFu;

// Capacities (with the terminating zero) of the name and path fields in the records.
inline constexpr std::uint32_t CLAP_NAME_SIZE = 256;
inline constexpr std::uint32_t CLAP_PATH_SIZE = 1024;

// Song positions in beats and in seconds, as integers scaled by 2^31.
using clap_beattime = std::int64_t;
using clap_sectime = std::int64_t;
inline constexpr std::int64_t CLAP_BEATTIME_FACTOR = std::int64_t{1} << 31;
inline constexpr std::int64_t CLAP_SECTIME_FACTOR = std::int64_t{1} << 31;

// ---- Host ----------------------------------------------------------------------------------

// Handed to the factory's create_plugin and valid until the plug-in is destroyed.
struct clap_host {
    struct clap_version clap_version; // "struct": the field bears its type's name
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    Fn<const void*(const clap_host* host, const char* extension_id)> get_extension;
    Fn<void(const clap_host* host)> request_restart;
    Fn<void(const clap_host* host)> request_process;
    // Asks for a later on_main_thread call on the main thread.
    Fn<void(const clap_host* host)> request_callback;
};

// ---- Events --------------------------------------------------------------------------------

// Every event starts with this header; size counts the whole event, header included.
struct clap_event_header {
    std::uint32_t size;
    std::uint32_t time; // frame within the block
    std::uint16_t space_id;
    std::uint16_t type;
    std::uint32_t flags;
};

// The space of the event types below; events of other spaces are someone else's.
inline constexpr std::uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;

// Event flags (clap_event_header::flags).
enum : std::uint32_t {
    CLAP_EVENT_IS_LIVE = 1u << 0,
    CLAP_EVENT_DONT_RECORD = 1u << 1,
};

// Event types of the core space (clap_event_header::type).
enum : std::uint16_t {
    CLAP_EVENT_NOTE_ON = 0,
    CLAP_EVENT_NOTE_OFF = 1,
    CLAP_EVENT_NOTE_CHOKE = 2,
    CLAP_EVENT_NOTE_END = 3,
    CLAP_EVENT_NOTE_EXPRESSION = 4,
    CLAP_EVENT_PARAM_VALUE = 5,
    CLAP_EVENT_PARAM_MOD = 6,
    CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
    CLAP_EVENT_PARAM_GESTURE_END = 8,
    CLAP_EVENT_TRANSPORT = 9,
    CLAP_EVENT_MIDI = 10,
    CLAP_EVENT_MIDI_SYSEX = 11,
    CLAP_EVENT_MIDI2 = 12,
};

// Note on, off, choke and end; -1 in an address field means "any".
struct clap_event_note {
    clap_event_header header;
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel; // 0..15
    std::int16_t key;     // 0..127
    double velocity;      // 0..1
};

struct clap_event_param_value {
    clap_event_header header;
    clap_id param_id;
    void* cookie; // the one clap_param_info gave, or null
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel;
    std::int16_t key;
    double value;
};

// Gesture begin and end, around the values of one drag in an editor.
struct clap_event_param_gesture {
    clap_event_header header;
    clap_id param_id;
};

// Transport flags (clap_event_transport::flags): which fields hold something, and the state.
enum : std::uint32_t {
    CLAP_TRANSPORT_HAS_TEMPO = 1u << 0,
    CLAP_TRANSPORT_HAS_BEATS_TIMELINE = 1u << 1,
    CLAP_TRANSPORT_HAS_SECONDS_TIMELINE = 1u << 2,
    CLAP_TRANSPORT_HAS_TIME_SIGNATURE = 1u << 3,
    CLAP_TRANSPORT_IS_PLAYING = 1u << 4,
    CLAP_TRANSPORT_IS_RECORDING = 1u << 5,
    CLAP_TRANSPORT_IS_LOOP_ACTIVE = 1u << 6,
    CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL = 1u << 7,
};

// The transport at the block's first frame (clap_process::transport), or a change within it.
struct clap_event_transport {
    clap_event_header header;
    std::uint32_t flags;
    clap_beattime song_pos_beats;
    clap_sectime song_pos_seconds;
    double tempo;     // beats per minute
    double tempo_inc; // per frame, until the next transport event
    clap_beattime loop_start_beats;
    clap_beattime loop_end_beats;
    clap_sectime loop_start_seconds;
    clap_sectime loop_end_seconds;
    clap_beattime bar_start;
    std::int32_t bar_number;
    std::uint16_t tsig_num;
    std::uint16_t tsig_denom;
};

// One short MIDI 1.0 message.
struct clap_event_midi {
    clap_event_header header;
    std::uint16_t port_index;
    std::uint8_t data[3];
};

// A system-exclusive message; buffer lives until the process call (or try_push) returns.
struct clap_event_midi_sysex {
    clap_event_header header;
    std::uint16_t port_index;
    const std::uint8_t* buffer;
    std::uint32_t size;
};

struct clap_event_midi2 {
    clap_event_header header;
    std::uint16_t port_index;
    std::uint32_t data[4];
};

// The block's incoming events, in time order; they belong to the list.
struct clap_input_events {
    void* ctx;
    Fn<std::uint32_t(const clap_input_events* list)> size;
    Fn<const clap_event_header*(const clap_input_events* list, std::uint32_t index)> get;
};

// Where the plug-in sends events, in time order; the host copies each one, false when it cannot.
struct clap_output_events {
    void* ctx;
    Fn<bool(const clap_output_events* list, const clap_event_header* event)> try_push;
};

// ---- Processing ----------------------------------------------------------------------------

// The channels of one audio port for one block; data32 or data64 is set.
struct clap_audio_buffer {
    float** data32;
    double** data64;
    std::uint32_t channel_count;
    std::uint32_t latency;
    std::uint64_t constant_mask; // bit i: every sample of channel i equals its first
};

using clap_process_status = std::int32_t;
enum : clap_process_status {
    CLAP_PROCESS_ERROR = 0,
    CLAP_PROCESS_CONTINUE = 1,
    CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
    CLAP_PROCESS_TAIL = 3,
    CLAP_PROCESS_SLEEP = 4,
};

struct clap_process {
    std::int64_t steady_time; // -1 when the host keeps none
    std::uint32_t frames_count;
    const clap_event_transport* transport; // null: the host has no transport
    const clap_audio_buffer* audio_inputs;
    clap_audio_buffer* audio_outputs;
    std::uint32_t audio_inputs_count;
    std::uint32_t audio_outputs_count;
    const clap_input_events* in_events;
    const clap_output_events* out_events;
};

// ---- Plug-in -------------------------------------------------------------------------------

// Features the descriptor lists (clap_plugin_descriptor::features).
inline constexpr char CLAP_PLUGIN_FEATURE_NOTE_EFFECT[] = "note-effect";
inline constexpr char CLAP_PLUGIN_FEATURE_UTILITY[] = "utility";

struct clap_plugin_descriptor {
    struct clap_version clap_version;
    const char* id; // stable, reverse-domain
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features; // ends with a null pointer
};

// One plug-in instance; the host calls the audio-thread slots (start_processing,
// stop_processing, reset, process) on the audio thread, the others on the main thread.
struct clap_plugin {
    const clap_plugin_descriptor* desc;
    void* plugin_data;
    Fn<bool(const clap_plugin* plugin)> init;
    Fn<void(const clap_plugin* plugin)> destroy;
    Fn<bool(const clap_plugin* plugin, double sample_rate, std::uint32_t min_frames_count,
            std::uint32_t max_frames_count)>
        activate;
    Fn<void(const clap_plugin* plugin)> deactivate;
    Fn<bool(const clap_plugin* plugin)> start_processing;
    Fn<void(const clap_plugin* plugin)> stop_processing;
    Fn<void(const clap_plugin* plugin)> reset;
    Fn<clap_process_status(const clap_plugin* plugin, const clap_process* process)> process;
    Fn<const void*(const clap_plugin* plugin, const char* id)> get_extension;
    Fn<void(const clap_plugin* plugin)> on_main_thread;
};

// ---- Factory and entry ---------------------------------------------------------------------

inline constexpr char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";

struct clap_plugin_factory {
    Fn<std::uint32_t(const clap_plugin_factory* factory)> get_plugin_count;
    Fn<const clap_plugin_descriptor*(const clap_plugin_factory* factory, std::uint32_t index)>
        get_plugin_descriptor;
    Fn<const clap_plugin*(const clap_plugin_factory* factory, const clap_host* host,
                          const char* plugin_id)>
        create_plugin;
};

// The library's one exported symbol, "clap_entry", is a record of this type.
struct clap_plugin_entry {
    struct clap_version clap_version;
    Fn<bool(const char* plugin_path)> init;
    Fn<void()> deinit;
    Fn<const void*(const char* factory_id)> get_factory;
};

// ---- Extension: audio ports ----------------------------------------------------------------

inline constexpr char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
inline constexpr char CLAP_PORT_MONO[] = "mono";
inline constexpr char CLAP_PORT_STEREO[] = "stereo";

// Audio port flags (clap_audio_port_info::flags).
enum : std::uint32_t {
    CLAP_AUDIO_PORT_IS_MAIN = 1u << 0,
    CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1u << 1,
    CLAP_AUDIO_PORT_PREFERS_64BITS = 1u << 2,
    CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1u << 3,
};

struct clap_audio_port_info {
    clap_id id;
    char name[CLAP_NAME_SIZE];
    std::uint32_t flags;
    std::uint32_t channel_count;
    const char* port_type; // CLAP_PORT_STEREO, ...; null or empty: unspecified
    clap_id in_place_pair; // the port sharing its buffer, or CLAP_INVALID_ID
};

struct clap_plugin_audio_ports {
    Fn<std::uint32_t(const clap_plugin* plugin, bool is_input)> count;
    Fn<bool(const clap_plugin* plugin, std::uint32_t index, bool is_input,
            clap_audio_port_info* info)>
        get;
};

// ---- Extension: note ports -----------------------------------------------------------------

inline constexpr char CLAP_EXT_NOTE_PORTS[] = "clap.note-ports";

// Note dialects (clap_note_port_info::supported_dialects and preferred_dialect).
enum : std::uint32_t {
    CLAP_NOTE_DIALECT_CLAP = 1u << 0,
    CLAP_NOTE_DIALECT_MIDI = 1u << 1,
    CLAP_NOTE_DIALECT_MIDI_MPE = 1u << 2,
    CLAP_NOTE_DIALECT_MIDI2 = 1u << 3,
};

struct clap_note_port_info {
    clap_id id;
    std::uint32_t supported_dialects;
    std::uint32_t preferred_dialect; // exactly one dialect bit
    char name[CLAP_NAME_SIZE];
};

struct clap_plugin_note_ports {
    Fn<std::uint32_t(const clap_plugin* plugin, bool is_input)> count;
    Fn<bool(const clap_plugin* plugin, std::uint32_t index, bool is_input,
            clap_note_port_info* info)>
        get;
};

// ---- Extension: parameters -----------------------------------------------------------------

inline constexpr char CLAP_EXT_PARAMS[] = "clap.params";

// Parameter flags (clap_param_info::flags).
using clap_param_info_flags = std::uint32_t;
enum : clap_param_info_flags {
    CLAP_PARAM_IS_STEPPED = 1u << 0,
    CLAP_PARAM_IS_PERIODIC = 1u << 1,
    CLAP_PARAM_IS_HIDDEN = 1u << 2,
    CLAP_PARAM_IS_READONLY = 1u << 3,
    CLAP_PARAM_IS_BYPASS = 1u << 4,
    CLAP_PARAM_IS_AUTOMATABLE = 1u << 5,
    CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID = 1u << 6,
    CLAP_PARAM_IS_AUTOMATABLE_PER_KEY = 1u << 7,
    CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL = 1u << 8,
    CLAP_PARAM_IS_AUTOMATABLE_PER_PORT = 1u << 9,
    CLAP_PARAM_IS_MODULATABLE = 1u << 10,
    CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID = 1u << 11,
    CLAP_PARAM_IS_MODULATABLE_PER_KEY = 1u << 12,
    CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL = 1u << 13,
    CLAP_PARAM_IS_MODULATABLE_PER_PORT = 1u << 14,
    CLAP_PARAM_REQUIRES_PROCESS = 1u << 15,
    CLAP_PARAM_IS_ENUM = 1u << 16,
};

struct clap_param_info {
    clap_id id;
    clap_param_info_flags flags;
    void* cookie; // handed back in the parameter's events
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE]; // '/'-separated group path, may be empty
    double min_value;
    double max_value;
    double default_value;
};

struct clap_plugin_params {
    Fn<std::uint32_t(const clap_plugin* plugin)> count;
    Fn<bool(const clap_plugin* plugin, std::uint32_t param_index, clap_param_info* param_info)>
        get_info;
    Fn<bool(const clap_plugin* plugin, clap_id param_id, double* out_value)> get_value;
    Fn<bool(const clap_plugin* plugin, clap_id param_id, double value, char* out_buffer,
            std::uint32_t out_buffer_capacity)>
        value_to_text;
    Fn<bool(const clap_plugin* plugin, clap_id param_id, const char* param_value_text,
            double* out_value)>
        text_to_value;
    // Parameter events in and out while the plug-in is not processing.
    Fn<void(const clap_plugin* plugin, const clap_input_events* in, const clap_output_events* out)>
        flush;
};

// What changed, for clap_host_params::rescan.
using clap_param_rescan_flags = std::uint32_t;
enum : clap_param_rescan_flags {
    CLAP_PARAM_RESCAN_VALUES = 1u << 0,
    CLAP_PARAM_RESCAN_TEXT = 1u << 1,
    CLAP_PARAM_RESCAN_INFO = 1u << 2,
    CLAP_PARAM_RESCAN_ALL = 1u << 3,
};

// What the host forgets about a parameter, for clap_host_params::clear.
using clap_param_clear_flags = std::uint32_t;
enum : clap_param_clear_flags {
    CLAP_PARAM_CLEAR_ALL = 1u << 0,
    CLAP_PARAM_CLEAR_AUTOMATIONS = 1u << 1,
    CLAP_PARAM_CLEAR_MODULATIONS = 1u << 2,
};

struct clap_host_params {
    Fn<void(const clap_host* host, clap_param_rescan_flags flags)> rescan;
    Fn<void(const clap_host* host, clap_id param_id, clap_param_clear_flags flags)> clear;
    // Asks for a process or params flush call, to hand over the editor's changes.
    Fn<void(const clap_host* host)> request_flush;
};

// ---- Extension: state ----------------------------------------------------------------------

inline constexpr char CLAP_EXT_STATE[] = "clap.state";

// A stream may move fewer bytes than asked: callers loop.
struct clap_istream {
    void* ctx;
    // Bytes read; 0 at the end, -1 on error.
    Fn<std::int64_t(const clap_istream* stream, void* buffer, std::uint64_t size)> read;
};

struct clap_ostream {
    void* ctx;
    // Bytes written; -1 on error.
    Fn<std::int64_t(const clap_ostream* stream, const void* buffer, std::uint64_t size)> write;
};

struct clap_plugin_state {
    Fn<bool(const clap_plugin* plugin, const clap_ostream* stream)> save;
    Fn<bool(const clap_plugin* plugin, const clap_istream* stream)> load;
};

struct clap_host_state {
    // The state changed other than through a parameter: the project needs saving.
    Fn<void(const clap_host* host)> mark_dirty;
};

// ---- Extension: editor ---------------------------------------------------------------------

inline constexpr char CLAP_EXT_GUI[] = "clap.gui";

// Window system names (clap_window::api and the gui calls' api argument).
inline constexpr char CLAP_WINDOW_API_WIN32[] = "win32";
inline constexpr char CLAP_WINDOW_API_COCOA[] = "cocoa";
inline constexpr char CLAP_WINDOW_API_X11[] = "x11";
inline constexpr char CLAP_WINDOW_API_WAYLAND[] = "wayland";

using clap_hwnd = void*;
using clap_nsview = void*;
using clap_xwnd = unsigned long; // an X11 Window
// The host's window for the editor; api says which member of the union is set.
struct clap_window {
    const char* api;
    union {
        clap_nsview cocoa;
        clap_xwnd x11;
        clap_hwnd win32;
        void* ptr;
    };
};

struct clap_gui_resize_hints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    std::uint32_t aspect_ratio_width;
    std::uint32_t aspect_ratio_height;
};

// Sizes are in pixels of the window system (physical for win32 and x11).
struct clap_plugin_gui {
    Fn<bool(const clap_plugin* plugin, const char* api, bool is_floating)> is_api_supported;
    Fn<bool(const clap_plugin* plugin, const char** api, bool* is_floating)> get_preferred_api;
    Fn<bool(const clap_plugin* plugin, const char* api, bool is_floating)> create;
    Fn<void(const clap_plugin* plugin)> destroy;
    Fn<bool(const clap_plugin* plugin, double scale)> set_scale;
    Fn<bool(const clap_plugin* plugin, std::uint32_t* width, std::uint32_t* height)> get_size;
    Fn<bool(const clap_plugin* plugin)> can_resize;
    Fn<bool(const clap_plugin* plugin, clap_gui_resize_hints* hints)> get_resize_hints;
    Fn<bool(const clap_plugin* plugin, std::uint32_t* width, std::uint32_t* height)> adjust_size;
    Fn<bool(const clap_plugin* plugin, std::uint32_t width, std::uint32_t height)> set_size;
    Fn<bool(const clap_plugin* plugin, const clap_window* window)> set_parent;
    Fn<bool(const clap_plugin* plugin, const clap_window* window)> set_transient;
    Fn<void(const clap_plugin* plugin, const char* title)> suggest_title;
    Fn<bool(const clap_plugin* plugin)> show;
    Fn<bool(const clap_plugin* plugin)> hide;
};

struct clap_host_gui {
    Fn<void(const clap_host* host)> resize_hints_changed;
    Fn<bool(const clap_host* host, std::uint32_t width, std::uint32_t height)> request_resize;
    Fn<bool(const clap_host* host)> request_show;
    Fn<bool(const clap_host* host)> request_hide;
    Fn<void(const clap_host* host, bool was_destroyed)> closed;
};

// ---- Extension: timers ---------------------------------------------------------------------

inline constexpr char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";

struct clap_plugin_timer_support {
    Fn<void(const clap_plugin* plugin, clap_id timer_id)> on_timer;
};

struct clap_host_timer_support {
    Fn<bool(const clap_host* host, std::uint32_t period_ms, clap_id* timer_id)> register_timer;
    Fn<bool(const clap_host* host, clap_id timer_id)> unregister_timer;
};

// ---- Extension: latency --------------------------------------------------------------------

inline constexpr char CLAP_EXT_LATENCY[] = "clap.latency";

struct clap_plugin_latency {
    Fn<std::uint32_t(const clap_plugin* plugin)> get; // in frames
};

struct clap_host_latency {
    Fn<void(const clap_host* host)> changed;
};

// ---- Extension: thread check ---------------------------------------------------------------

inline constexpr char CLAP_EXT_THREAD_CHECK[] = "clap.thread-check";

struct clap_host_thread_check {
    Fn<bool(const clap_host* host)> is_main_thread;
    Fn<bool(const clap_host* host)> is_audio_thread;
};

// ---- Extension: log ------------------------------------------------------------------------

inline constexpr char CLAP_EXT_LOG[] = "clap.log";

using clap_log_severity = std::int32_t;
enum : clap_log_severity {
    CLAP_LOG_DEBUG = 0,
    CLAP_LOG_INFO = 1,
    CLAP_LOG_WARNING = 2,
    CLAP_LOG_ERROR = 3,
    CLAP_LOG_FATAL = 4,
    CLAP_LOG_HOST_MISBEHAVING = 5,
    CLAP_LOG_PLUGIN_MISBEHAVING = 6,
};

struct clap_host_log {
    Fn<void(const clap_host* host, clap_log_severity severity, const char* msg)> log;
};

// ---- Factory: preset discovery ------------------------------------------------------------

// A host indexing presets asks the entry for this factory, without creating a plug-in; hosts
// built on the draft ask for the second id, whose records are the same.
inline constexpr char CLAP_PRESET_DISCOVERY_FACTORY_ID[] = "clap.preset-discovery-factory/2";
inline constexpr char CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT[] =
    "clap.preset-discovery-factory/draft-2";

// Seconds since the UNIX epoch; 0 when unknown.
using clap_timestamp = std::uint64_t;

// A plug-in of any format: its format's name ("clap", "vst2", ...) and its id in that format.
struct clap_universal_plugin_id {
    const char* abi;
    const char* id;
};

// Where presets live (clap_preset_discovery_location::kind, and preset-load's location_kind).
enum : std::uint32_t {
    CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0,   // a file or folder; location is its path
    CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1, // inside the plug-in; location is null
};

// What a location or preset holds (clap_preset_discovery_location::flags, set_flags).
enum : std::uint32_t {
    CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1u << 0,
    CLAP_PRESET_DISCOVERY_IS_USER_CONTENT = 1u << 1,
    CLAP_PRESET_DISCOVERY_IS_DEMO_CONTENT = 1u << 2,
    CLAP_PRESET_DISCOVERY_IS_FAVORITE = 1u << 3,
};

// The host's side of get_metadata: begin_preset opens each preset (its name and, for a container,
// the load_key preset-load takes back), the other calls describe the preset last opened. A false
// from begin_preset means the host wants no more.
struct clap_preset_discovery_metadata_receiver {
    void* receiver_data;
    Fn<void(const clap_preset_discovery_metadata_receiver* receiver, std::int32_t os_error,
            const char* error_message)>
        on_error;
    Fn<bool(const clap_preset_discovery_metadata_receiver* receiver, const char* name,
            const char* load_key)>
        begin_preset;
    Fn<void(const clap_preset_discovery_metadata_receiver* receiver,
            const clap_universal_plugin_id* plugin_id)>
        add_plugin_id;
    Fn<void(const clap_preset_discovery_metadata_receiver* receiver, const char* soundpack_id)>
        set_soundpack_id;
    Fn<void(const clap_preset_discovery_metadata_receiver* receiver, std::uint32_t flags)>
        set_flags;
    Fn<void(const clap_preset_discovery_metadata_receiver* receiver, const char* creator)>
        add_creator;
    Fn<void(const clap_preset_discovery_metadata_receiver* receiver, const char* description)>
        set_description;
    Fn<void(const clap_preset_discovery_metadata_receiver* receiver, clap_timestamp creation_time,
            clap_timestamp modification_time)>
        set_timestamps;
    Fn<void(const clap_preset_discovery_metadata_receiver* receiver, const char* feature)>
        add_feature;
    Fn<void(const clap_preset_discovery_metadata_receiver* receiver, const char* key,
            const char* value)>
        add_extra_info;
};

struct clap_preset_discovery_filetype {
    const char* name;
    const char* description;    // may be null
    const char* file_extension; // without the dot; null or empty: every file
};

struct clap_preset_discovery_location {
    std::uint32_t flags;
    const char* name;
    std::uint32_t kind;
    const char* location; // null for CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN
};

// Sound packs are only passed by pointer here: this plug-in declares none.
struct clap_preset_discovery_soundpack;

struct clap_preset_discovery_provider_descriptor {
    struct clap_version clap_version;
    const char* id;
    const char* name;
    const char* vendor; // may be null
};

// One provider, used by one thread at a time: init declares its locations to the indexer,
// get_metadata describes the presets of one of them.
struct clap_preset_discovery_provider {
    const clap_preset_discovery_provider_descriptor* desc;
    void* provider_data;
    Fn<bool(const clap_preset_discovery_provider* provider)> init;
    Fn<void(const clap_preset_discovery_provider* provider)> destroy;
    Fn<bool(const clap_preset_discovery_provider* provider, std::uint32_t location_kind,
            const char* location, const clap_preset_discovery_metadata_receiver* receiver)>
        get_metadata;
    Fn<const void*(const clap_preset_discovery_provider* provider, const char* extension_id)>
        get_extension;
};

// The host's indexer; a provider calls it only from init on.
struct clap_preset_discovery_indexer {
    struct clap_version clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    Fn<bool(const clap_preset_discovery_indexer* indexer,
            const clap_preset_discovery_filetype* filetype)>
        declare_filetype;
    Fn<bool(const clap_preset_discovery_indexer* indexer,
            const clap_preset_discovery_location* location)>
        declare_location;
    Fn<bool(const clap_preset_discovery_indexer* indexer,
            const clap_preset_discovery_soundpack* soundpack)>
        declare_soundpack;
    Fn<const void*(const clap_preset_discovery_indexer* indexer, const char* extension_id)>
        get_extension;
};

// Every call may come from any thread, at the same time as others.
struct clap_preset_discovery_factory {
    Fn<std::uint32_t(const clap_preset_discovery_factory* factory)> count;
    Fn<const clap_preset_discovery_provider_descriptor*(
        const clap_preset_discovery_factory* factory, std::uint32_t index)>
        get_descriptor;
    Fn<const clap_preset_discovery_provider*(const clap_preset_discovery_factory* factory,
                                             const clap_preset_discovery_indexer* indexer,
                                             const char* provider_id)>
        create;
};

// ---- Extension: preset load ----------------------------------------------------------------

// The second id is the draft's, whose records are the same.
inline constexpr char CLAP_EXT_PRESET_LOAD[] = "clap.preset-load/2";
inline constexpr char CLAP_EXT_PRESET_LOAD_COMPAT[] = "clap.preset-load.draft/2";

struct clap_plugin_preset_load {
    // A preset a discovery provider described, by its location and load_key; main thread.
    Fn<bool(const clap_plugin* plugin, std::uint32_t location_kind, const char* location,
            const char* load_key)>
        from_location;
};

struct clap_host_preset_load {
    // After a from_location that failed; os_error is 0 where no system call failed.
    Fn<void(const clap_host* host, std::uint32_t location_kind, const char* location,
            const char* load_key, std::int32_t os_error, const char* msg)>
        on_error;
    // After a preset loaded, so the host's browser shows it as the current one.
    Fn<void(const clap_host* host, std::uint32_t location_kind, const char* location,
            const char* load_key)>
        loaded;
};

// ---- Layout checks -------------------------------------------------------------------------

// The published size or offset for this build's pointer width.
constexpr std::size_t atWidth(std::size_t on32, std::size_t on64) {
    return sizeof(void*) == 8 ? on64 : on32;
}

namespace layout {
// The 32-bit figures below are those of 32-bit Windows, where doubles and 64-bit integers sit on
// 8-byte boundaries inside records (32-bit Linux packs them on 4; we build no CLAP library there).
struct DoubleAfterInt {
    std::int32_t i;
    double d;
};
struct Int64AfterInt {
    std::int32_t i;
    std::int64_t d;
};
// Hosts copy events and info records byte for byte.
template <typename T>
constexpr bool plain =
    std::conjunction_v<std::is_standard_layout<T>, std::is_trivially_copyable<T>>;
} // namespace layout

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(offsetof(layout::DoubleAfterInt, d) == 8 && offsetof(layout::Int64AfterInt, d) == 8);
static_assert(sizeof(bool) == 1 && sizeof(float) == 4 && sizeof(double) == 8);

static_assert(layout::plain<clap_version> && sizeof(clap_version) == 12);
static_assert(offsetof(clap_version, minor) == 4 && offsetof(clap_version, revision) == 8);

static_assert(layout::plain<clap_host> && sizeof(clap_host) == atWidth(48, 88));
static_assert(offsetof(clap_host, host_data) == atWidth(12, 16));
static_assert(offsetof(clap_host, name) == atWidth(16, 24));
static_assert(offsetof(clap_host, vendor) == atWidth(20, 32));
static_assert(offsetof(clap_host, url) == atWidth(24, 40));
static_assert(offsetof(clap_host, version) == atWidth(28, 48));
static_assert(offsetof(clap_host, get_extension) == atWidth(32, 56));
static_assert(offsetof(clap_host, request_restart) == atWidth(36, 64));
static_assert(offsetof(clap_host, request_process) == atWidth(40, 72));
static_assert(offsetof(clap_host, request_callback) == atWidth(44, 80));

static_assert(layout::plain<clap_event_header> && sizeof(clap_event_header) == 16);
static_assert(offsetof(clap_event_header, time) == 4);
static_assert(offsetof(clap_event_header, space_id) == 8);
static_assert(offsetof(clap_event_header, type) == 10);
static_assert(offsetof(clap_event_header, flags) == 12);

static_assert(layout::plain<clap_event_note> && sizeof(clap_event_note) == 40);
static_assert(offsetof(clap_event_note, note_id) == 16);
static_assert(offsetof(clap_event_note, port_index) == 20);
static_assert(offsetof(clap_event_note, channel) == 22);
static_assert(offsetof(clap_event_note, key) == 24);
static_assert(offsetof(clap_event_note, velocity) == 32);

static_assert(layout::plain<clap_event_param_value>);
static_assert(sizeof(clap_event_param_value) == atWidth(48, 56));
static_assert(offsetof(clap_event_param_value, param_id) == 16);
static_assert(offsetof(clap_event_param_value, cookie) == atWidth(20, 24));
static_assert(offsetof(clap_event_param_value, note_id) == atWidth(24, 32));
static_assert(offsetof(clap_event_param_value, port_index) == atWidth(28, 36));
static_assert(offsetof(clap_event_param_value, channel) == atWidth(30, 38));
static_assert(offsetof(clap_event_param_value, key) == atWidth(32, 40));
static_assert(offsetof(clap_event_param_value, value) == atWidth(40, 48));

static_assert(layout::plain<clap_event_param_gesture> && sizeof(clap_event_param_gesture) == 20);
static_assert(offsetof(clap_event_param_gesture, param_id) == 16);

static_assert(layout::plain<clap_event_transport> && sizeof(clap_event_transport) == 104);
static_assert(offsetof(clap_event_transport, flags) == 16);
static_assert(offsetof(clap_event_transport, song_pos_beats) == 24);
static_assert(offsetof(clap_event_transport, song_pos_seconds) == 32);
static_assert(offsetof(clap_event_transport, tempo) == 40);
static_assert(offsetof(clap_event_transport, tempo_inc) == 48);
static_assert(offsetof(clap_event_transport, loop_start_beats) == 56);
static_assert(offsetof(clap_event_transport, loop_end_beats) == 64);
static_assert(offsetof(clap_event_transport, loop_start_seconds) == 72);
static_assert(offsetof(clap_event_transport, loop_end_seconds) == 80);
static_assert(offsetof(clap_event_transport, bar_start) == 88);
static_assert(offsetof(clap_event_transport, bar_number) == 96);
static_assert(offsetof(clap_event_transport, tsig_num) == 100);
static_assert(offsetof(clap_event_transport, tsig_denom) == 102);

static_assert(layout::plain<clap_event_midi> && sizeof(clap_event_midi) == 24);
static_assert(offsetof(clap_event_midi, port_index) == 16 && offsetof(clap_event_midi, data) == 18);

static_assert(layout::plain<clap_event_midi_sysex>);
static_assert(sizeof(clap_event_midi_sysex) == atWidth(28, 40));
static_assert(offsetof(clap_event_midi_sysex, port_index) == 16);
static_assert(offsetof(clap_event_midi_sysex, buffer) == atWidth(20, 24));
static_assert(offsetof(clap_event_midi_sysex, size) == atWidth(24, 32));

static_assert(layout::plain<clap_event_midi2> && sizeof(clap_event_midi2) == 36);
static_assert(offsetof(clap_event_midi2, port_index) == 16);
static_assert(offsetof(clap_event_midi2, data) == 20);

static_assert(sizeof(clap_input_events) == atWidth(12, 24));
static_assert(offsetof(clap_input_events, size) == atWidth(4, 8));
static_assert(offsetof(clap_input_events, get) == atWidth(8, 16));
static_assert(sizeof(clap_output_events) == atWidth(8, 16));
static_assert(offsetof(clap_output_events, try_push) == atWidth(4, 8));

static_assert(layout::plain<clap_audio_buffer> && sizeof(clap_audio_buffer) == atWidth(24, 32));
static_assert(offsetof(clap_audio_buffer, data64) == atWidth(4, 8));
static_assert(offsetof(clap_audio_buffer, channel_count) == atWidth(8, 16));
static_assert(offsetof(clap_audio_buffer, latency) == atWidth(12, 20));
static_assert(offsetof(clap_audio_buffer, constant_mask) == atWidth(16, 24));

static_assert(layout::plain<clap_process> && sizeof(clap_process) == atWidth(40, 64));
static_assert(offsetof(clap_process, frames_count) == 8);
static_assert(offsetof(clap_process, transport) == atWidth(12, 16));
static_assert(offsetof(clap_process, audio_inputs) == atWidth(16, 24));
static_assert(offsetof(clap_process, audio_outputs) == atWidth(20, 32));
static_assert(offsetof(clap_process, audio_inputs_count) == atWidth(24, 40));
static_assert(offsetof(clap_process, audio_outputs_count) == atWidth(28, 44));
static_assert(offsetof(clap_process, in_events) == atWidth(32, 48));
static_assert(offsetof(clap_process, out_events) == atWidth(36, 56));

static_assert(layout::plain<clap_plugin_descriptor>);
static_assert(sizeof(clap_plugin_descriptor) == atWidth(48, 88));
static_assert(offsetof(clap_plugin_descriptor, id) == atWidth(12, 16));
static_assert(offsetof(clap_plugin_descriptor, name) == atWidth(16, 24));
static_assert(offsetof(clap_plugin_descriptor, vendor) == atWidth(20, 32));
static_assert(offsetof(clap_plugin_descriptor, url) == atWidth(24, 40));
static_assert(offsetof(clap_plugin_descriptor, manual_url) == atWidth(28, 48));
static_assert(offsetof(clap_plugin_descriptor, support_url) == atWidth(32, 56));
static_assert(offsetof(clap_plugin_descriptor, version) == atWidth(36, 64));
static_assert(offsetof(clap_plugin_descriptor, description) == atWidth(40, 72));
static_assert(offsetof(clap_plugin_descriptor, features) == atWidth(44, 80));

static_assert(layout::plain<clap_plugin> && sizeof(clap_plugin) == atWidth(48, 96));
static_assert(offsetof(clap_plugin, plugin_data) == atWidth(4, 8));
static_assert(offsetof(clap_plugin, init) == atWidth(8, 16));
static_assert(offsetof(clap_plugin, destroy) == atWidth(12, 24));
static_assert(offsetof(clap_plugin, activate) == atWidth(16, 32));
static_assert(offsetof(clap_plugin, deactivate) == atWidth(20, 40));
static_assert(offsetof(clap_plugin, start_processing) == atWidth(24, 48));
static_assert(offsetof(clap_plugin, stop_processing) == atWidth(28, 56));
static_assert(offsetof(clap_plugin, reset) == atWidth(32, 64));
static_assert(offsetof(clap_plugin, process) == atWidth(36, 72));
static_assert(offsetof(clap_plugin, get_extension) == atWidth(40, 80));
static_assert(offsetof(clap_plugin, on_main_thread) == atWidth(44, 88));

static_assert(sizeof(clap_plugin_factory) == atWidth(12, 24));
static_assert(offsetof(clap_plugin_factory, get_plugin_descriptor) == atWidth(4, 8));
static_assert(offsetof(clap_plugin_factory, create_plugin) == atWidth(8, 16));

static_assert(layout::plain<clap_plugin_entry> && sizeof(clap_plugin_entry) == atWidth(24, 40));
static_assert(offsetof(clap_plugin_entry, init) == atWidth(12, 16));
static_assert(offsetof(clap_plugin_entry, deinit) == atWidth(16, 24));
static_assert(offsetof(clap_plugin_entry, get_factory) == atWidth(20, 32));

static_assert(layout::plain<clap_audio_port_info>);
static_assert(sizeof(clap_audio_port_info) == atWidth(276, 288));
static_assert(offsetof(clap_audio_port_info, name) == 4);
static_assert(offsetof(clap_audio_port_info, flags) == 260);
static_assert(offsetof(clap_audio_port_info, channel_count) == 264);
static_assert(offsetof(clap_audio_port_info, port_type) == atWidth(268, 272));
static_assert(offsetof(clap_audio_port_info, in_place_pair) == atWidth(272, 280));
static_assert(sizeof(clap_plugin_audio_ports) == atWidth(8, 16));
static_assert(offsetof(clap_plugin_audio_ports, get) == atWidth(4, 8));

static_assert(layout::plain<clap_note_port_info> && sizeof(clap_note_port_info) == 268);
static_assert(offsetof(clap_note_port_info, supported_dialects) == 4);
static_assert(offsetof(clap_note_port_info, preferred_dialect) == 8);
static_assert(offsetof(clap_note_port_info, name) == 12);
static_assert(sizeof(clap_plugin_note_ports) == atWidth(8, 16));
static_assert(offsetof(clap_plugin_note_ports, get) == atWidth(4, 8));

static_assert(layout::plain<clap_param_info> && sizeof(clap_param_info) == 1320);
static_assert(offsetof(clap_param_info, flags) == 4);
static_assert(offsetof(clap_param_info, cookie) == 8);
static_assert(offsetof(clap_param_info, name) == atWidth(12, 16));
static_assert(offsetof(clap_param_info, module) == atWidth(268, 272));
static_assert(offsetof(clap_param_info, min_value) == 1296);
static_assert(offsetof(clap_param_info, max_value) == 1304);
static_assert(offsetof(clap_param_info, default_value) == 1312);
static_assert(sizeof(clap_plugin_params) == atWidth(24, 48));
static_assert(offsetof(clap_plugin_params, get_info) == atWidth(4, 8));
static_assert(offsetof(clap_plugin_params, get_value) == atWidth(8, 16));
static_assert(offsetof(clap_plugin_params, value_to_text) == atWidth(12, 24));
static_assert(offsetof(clap_plugin_params, text_to_value) == atWidth(16, 32));
static_assert(offsetof(clap_plugin_params, flush) == atWidth(20, 40));
static_assert(sizeof(clap_host_params) == atWidth(12, 24));
static_assert(offsetof(clap_host_params, clear) == atWidth(4, 8));
static_assert(offsetof(clap_host_params, request_flush) == atWidth(8, 16));

static_assert(sizeof(clap_istream) == atWidth(8, 16));
static_assert(offsetof(clap_istream, read) == atWidth(4, 8));
static_assert(sizeof(clap_ostream) == atWidth(8, 16));
static_assert(offsetof(clap_ostream, write) == atWidth(4, 8));
static_assert(sizeof(clap_plugin_state) == atWidth(8, 16));
static_assert(offsetof(clap_plugin_state, load) == atWidth(4, 8));
static_assert(sizeof(clap_host_state) == atWidth(4, 8));

static_assert(layout::plain<clap_window> && sizeof(clap_window) == atWidth(8, 16));
static_assert(offsetof(clap_window, cocoa) == atWidth(4, 8));
static_assert(offsetof(clap_window, x11) == atWidth(4, 8));
static_assert(offsetof(clap_window, win32) == atWidth(4, 8));
static_assert(offsetof(clap_window, ptr) == atWidth(4, 8));
static_assert(layout::plain<clap_gui_resize_hints> && sizeof(clap_gui_resize_hints) == 12);
static_assert(offsetof(clap_gui_resize_hints, can_resize_vertically) == 1);
static_assert(offsetof(clap_gui_resize_hints, preserve_aspect_ratio) == 2);
static_assert(offsetof(clap_gui_resize_hints, aspect_ratio_width) == 4);
static_assert(offsetof(clap_gui_resize_hints, aspect_ratio_height) == 8);
static_assert(sizeof(clap_plugin_gui) == atWidth(60, 120));
static_assert(offsetof(clap_plugin_gui, get_preferred_api) == atWidth(4, 8));
static_assert(offsetof(clap_plugin_gui, create) == atWidth(8, 16));
static_assert(offsetof(clap_plugin_gui, destroy) == atWidth(12, 24));
static_assert(offsetof(clap_plugin_gui, set_scale) == atWidth(16, 32));
static_assert(offsetof(clap_plugin_gui, get_size) == atWidth(20, 40));
static_assert(offsetof(clap_plugin_gui, can_resize) == atWidth(24, 48));
static_assert(offsetof(clap_plugin_gui, get_resize_hints) == atWidth(28, 56));
static_assert(offsetof(clap_plugin_gui, adjust_size) == atWidth(32, 64));
static_assert(offsetof(clap_plugin_gui, set_size) == atWidth(36, 72));
static_assert(offsetof(clap_plugin_gui, set_parent) == atWidth(40, 80));
static_assert(offsetof(clap_plugin_gui, set_transient) == atWidth(44, 88));
static_assert(offsetof(clap_plugin_gui, suggest_title) == atWidth(48, 96));
static_assert(offsetof(clap_plugin_gui, show) == atWidth(52, 104));
static_assert(offsetof(clap_plugin_gui, hide) == atWidth(56, 112));
static_assert(sizeof(clap_host_gui) == atWidth(20, 40));
static_assert(offsetof(clap_host_gui, request_resize) == atWidth(4, 8));
static_assert(offsetof(clap_host_gui, request_show) == atWidth(8, 16));
static_assert(offsetof(clap_host_gui, request_hide) == atWidth(12, 24));
static_assert(offsetof(clap_host_gui, closed) == atWidth(16, 32));

static_assert(sizeof(clap_plugin_timer_support) == atWidth(4, 8));
static_assert(sizeof(clap_host_timer_support) == atWidth(8, 16));
static_assert(offsetof(clap_host_timer_support, unregister_timer) == atWidth(4, 8));
static_assert(sizeof(clap_plugin_latency) == atWidth(4, 8));
static_assert(sizeof(clap_host_latency) == atWidth(4, 8));
static_assert(sizeof(clap_host_thread_check) == atWidth(8, 16));
static_assert(offsetof(clap_host_thread_check, is_audio_thread) == atWidth(4, 8));
static_assert(sizeof(clap_host_log) == atWidth(4, 8));

static_assert(layout::plain<clap_universal_plugin_id>);
static_assert(sizeof(clap_universal_plugin_id) == atWidth(8, 16));
static_assert(offsetof(clap_universal_plugin_id, id) == atWidth(4, 8));
static_assert(sizeof(clap_preset_discovery_metadata_receiver) == atWidth(44, 88));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, on_error) == atWidth(4, 8));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, begin_preset) == atWidth(8, 16));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, add_plugin_id) == atWidth(12, 24));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, set_soundpack_id) ==
              atWidth(16, 32));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, set_flags) == atWidth(20, 40));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, add_creator) == atWidth(24, 48));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, set_description) ==
              atWidth(28, 56));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, set_timestamps) == atWidth(32, 64));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, add_feature) == atWidth(36, 72));
static_assert(offsetof(clap_preset_discovery_metadata_receiver, add_extra_info) == atWidth(40, 80));
static_assert(layout::plain<clap_preset_discovery_filetype>);
static_assert(sizeof(clap_preset_discovery_filetype) == atWidth(12, 24));
static_assert(offsetof(clap_preset_discovery_filetype, description) == atWidth(4, 8));
static_assert(offsetof(clap_preset_discovery_filetype, file_extension) == atWidth(8, 16));
static_assert(layout::plain<clap_preset_discovery_location>);
static_assert(sizeof(clap_preset_discovery_location) == atWidth(16, 32));
static_assert(offsetof(clap_preset_discovery_location, name) == atWidth(4, 8));
static_assert(offsetof(clap_preset_discovery_location, kind) == atWidth(8, 16));
static_assert(offsetof(clap_preset_discovery_location, location) == atWidth(12, 24));
static_assert(layout::plain<clap_preset_discovery_provider_descriptor>);
static_assert(sizeof(clap_preset_discovery_provider_descriptor) == atWidth(24, 40));
static_assert(offsetof(clap_preset_discovery_provider_descriptor, id) == atWidth(12, 16));
static_assert(offsetof(clap_preset_discovery_provider_descriptor, name) == atWidth(16, 24));
static_assert(offsetof(clap_preset_discovery_provider_descriptor, vendor) == atWidth(20, 32));
static_assert(sizeof(clap_preset_discovery_provider) == atWidth(24, 48));
static_assert(offsetof(clap_preset_discovery_provider, provider_data) == atWidth(4, 8));
static_assert(offsetof(clap_preset_discovery_provider, init) == atWidth(8, 16));
static_assert(offsetof(clap_preset_discovery_provider, destroy) == atWidth(12, 24));
static_assert(offsetof(clap_preset_discovery_provider, get_metadata) == atWidth(16, 32));
static_assert(offsetof(clap_preset_discovery_provider, get_extension) == atWidth(20, 40));
static_assert(sizeof(clap_preset_discovery_indexer) == atWidth(48, 88));
static_assert(offsetof(clap_preset_discovery_indexer, name) == atWidth(12, 16));
static_assert(offsetof(clap_preset_discovery_indexer, vendor) == atWidth(16, 24));
static_assert(offsetof(clap_preset_discovery_indexer, url) == atWidth(20, 32));
static_assert(offsetof(clap_preset_discovery_indexer, version) == atWidth(24, 40));
static_assert(offsetof(clap_preset_discovery_indexer, indexer_data) == atWidth(28, 48));
static_assert(offsetof(clap_preset_discovery_indexer, declare_filetype) == atWidth(32, 56));
static_assert(offsetof(clap_preset_discovery_indexer, declare_location) == atWidth(36, 64));
static_assert(offsetof(clap_preset_discovery_indexer, declare_soundpack) == atWidth(40, 72));
static_assert(offsetof(clap_preset_discovery_indexer, get_extension) == atWidth(44, 80));
static_assert(sizeof(clap_preset_discovery_factory) == atWidth(12, 24));
static_assert(offsetof(clap_preset_discovery_factory, get_descriptor) == atWidth(4, 8));
static_assert(offsetof(clap_preset_discovery_factory, create) == atWidth(8, 16));
static_assert(sizeof(clap_plugin_preset_load) == atWidth(4, 8));
static_assert(sizeof(clap_host_preset_load) == atWidth(8, 16));
static_assert(offsetof(clap_host_preset_load, loaded) == atWidth(4, 8));

} // namespace clap_abi
