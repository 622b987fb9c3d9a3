// The CLAP interface's names and numbers against the published ones, typed here a second time so a
// slip in either place shows. Sizes and offsets are checked where the records are declared.
#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "formats/clap/ClapInterface.h"

using namespace clap_abi;

namespace {

struct Number {
    const char* name;
    std::uint64_t ours;
    std::uint64_t published;
};

#define PUBLISHED(constant, value)                                                                 \
    Number {                                                                                       \
#constant, static_cast < std::uint64_t>(constant), value                                   \
    }

void expectPublished(std::initializer_list<Number> numbers) {
    for (const Number& number : numbers)
        EXPECT_EQ(number.ours, number.published) << number.name;
}

} // namespace

TEST(ClapInterface, IdentifiersAreThePublishedStrings) {
    // Compared whole, up to the terminating zero: a host matches them with strcmp.
    const std::pair<std::string_view, std::string_view> ids[] = {
        {CLAP_PLUGIN_FACTORY_ID, "clap.plugin-factory"},
        {CLAP_PRESET_DISCOVERY_FACTORY_ID, "clap.preset-discovery-factory/2"},
        {CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT, "clap.preset-discovery-factory/draft-2"},
        {CLAP_EXT_PRESET_LOAD, "clap.preset-load/2"},
        {CLAP_EXT_PRESET_LOAD_COMPAT, "clap.preset-load.draft/2"},
        {CLAP_EXT_AUDIO_PORTS, "clap.audio-ports"},
        {CLAP_EXT_NOTE_PORTS, "clap.note-ports"},
        {CLAP_EXT_PARAMS, "clap.params"},
        {CLAP_EXT_STATE, "clap.state"},
        {CLAP_EXT_GUI, "clap.gui"},
        {CLAP_EXT_TIMER_SUPPORT, "clap.timer-support"},
        {CLAP_EXT_LATENCY, "clap.latency"},
        {CLAP_EXT_THREAD_CHECK, "clap.thread-check"},
        {CLAP_EXT_LOG, "clap.log"},
        {CLAP_PORT_MONO, "mono"},
        {CLAP_PORT_STEREO, "stereo"},
        {CLAP_WINDOW_API_X11, "x11"},
        {CLAP_WINDOW_API_WIN32, "win32"},
        {CLAP_WINDOW_API_COCOA, "cocoa"},
        {CLAP_WINDOW_API_WAYLAND, "wayland"},
        {CLAP_PLUGIN_FEATURE_NOTE_EFFECT, "note-effect"},
        {CLAP_PLUGIN_FEATURE_UTILITY, "utility"},
    };
    for (const auto& [ours, published] : ids)
        EXPECT_EQ(ours, published);
}

TEST(ClapInterface, VersionIsOneTwoOne) {
    EXPECT_EQ(CLAP_VERSION.major, 1u);
    EXPECT_EQ(CLAP_VERSION.minor, 2u);
    EXPECT_EQ(CLAP_VERSION.revision, 1u);
}

TEST(ClapInterface, EventTypesAndFlagsHaveThePublishedNumbers) {
    expectPublished({
        PUBLISHED(CLAP_CORE_EVENT_SPACE_ID, 0),
        PUBLISHED(CLAP_EVENT_NOTE_ON, 0),
        PUBLISHED(CLAP_EVENT_NOTE_OFF, 1),
        PUBLISHED(CLAP_EVENT_NOTE_CHOKE, 2),
        PUBLISHED(CLAP_EVENT_NOTE_END, 3),
        PUBLISHED(CLAP_EVENT_NOTE_EXPRESSION, 4),
        PUBLISHED(CLAP_EVENT_PARAM_VALUE, 5),
        PUBLISHED(CLAP_EVENT_PARAM_MOD, 6),
        PUBLISHED(CLAP_EVENT_PARAM_GESTURE_BEGIN, 7),
        PUBLISHED(CLAP_EVENT_PARAM_GESTURE_END, 8),
        PUBLISHED(CLAP_EVENT_TRANSPORT, 9),
        PUBLISHED(CLAP_EVENT_MIDI, 10),
        PUBLISHED(CLAP_EVENT_MIDI_SYSEX, 11),
        PUBLISHED(CLAP_EVENT_MIDI2, 12),
        PUBLISHED(CLAP_EVENT_IS_LIVE, 0x1),
        PUBLISHED(CLAP_EVENT_DONT_RECORD, 0x2),
        PUBLISHED(CLAP_TRANSPORT_HAS_TEMPO, 0x1),
        PUBLISHED(CLAP_TRANSPORT_HAS_BEATS_TIMELINE, 0x2),
        PUBLISHED(CLAP_TRANSPORT_HAS_SECONDS_TIMELINE, 0x4),
        PUBLISHED(CLAP_TRANSPORT_HAS_TIME_SIGNATURE, 0x8),
        PUBLISHED(CLAP_TRANSPORT_IS_PLAYING, 0x10),
        PUBLISHED(CLAP_TRANSPORT_IS_RECORDING, 0x20),
        PUBLISHED(CLAP_TRANSPORT_IS_LOOP_ACTIVE, 0x40),
        PUBLISHED(CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL, 0x80),
        // Positions are fixed point with 31 fraction bits: one beat is 2^31.
        PUBLISHED(CLAP_BEATTIME_FACTOR, 2147483648u),
        PUBLISHED(CLAP_SECTIME_FACTOR, 2147483648u),
        PUBLISHED(CLAP_PROCESS_ERROR, 0),
        PUBLISHED(CLAP_PROCESS_CONTINUE, 1),
        PUBLISHED(CLAP_PROCESS_CONTINUE_IF_NOT_QUIET, 2),
        PUBLISHED(CLAP_PROCESS_TAIL, 3),
        PUBLISHED(CLAP_PROCESS_SLEEP, 4),
    });
}

TEST(ClapInterface, ExtensionFlagsHaveThePublishedNumbers) {
    expectPublished({
        PUBLISHED(CLAP_INVALID_ID, 0xFFFFFFFFu),
        PUBLISHED(CLAP_NAME_SIZE, 256),
        PUBLISHED(CLAP_PATH_SIZE, 1024),
        PUBLISHED(CLAP_AUDIO_PORT_IS_MAIN, 0x1),
        PUBLISHED(CLAP_AUDIO_PORT_SUPPORTS_64BITS, 0x2),
        PUBLISHED(CLAP_AUDIO_PORT_PREFERS_64BITS, 0x4),
        PUBLISHED(CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE, 0x8),
        PUBLISHED(CLAP_NOTE_DIALECT_CLAP, 0x1),
        PUBLISHED(CLAP_NOTE_DIALECT_MIDI, 0x2),
        PUBLISHED(CLAP_NOTE_DIALECT_MIDI_MPE, 0x4),
        PUBLISHED(CLAP_NOTE_DIALECT_MIDI2, 0x8),
        PUBLISHED(CLAP_PARAM_IS_STEPPED, 0x1),
        PUBLISHED(CLAP_PARAM_IS_PERIODIC, 0x2),
        PUBLISHED(CLAP_PARAM_IS_HIDDEN, 0x4),
        PUBLISHED(CLAP_PARAM_IS_READONLY, 0x8),
        PUBLISHED(CLAP_PARAM_IS_BYPASS, 0x10),
        PUBLISHED(CLAP_PARAM_IS_AUTOMATABLE, 0x20),
        PUBLISHED(CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID, 0x40),
        PUBLISHED(CLAP_PARAM_IS_AUTOMATABLE_PER_KEY, 0x80),
        PUBLISHED(CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL, 0x100),
        PUBLISHED(CLAP_PARAM_IS_AUTOMATABLE_PER_PORT, 0x200),
        PUBLISHED(CLAP_PARAM_IS_MODULATABLE, 0x400),
        PUBLISHED(CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID, 0x800),
        PUBLISHED(CLAP_PARAM_IS_MODULATABLE_PER_KEY, 0x1000),
        PUBLISHED(CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL, 0x2000),
        PUBLISHED(CLAP_PARAM_IS_MODULATABLE_PER_PORT, 0x4000),
        PUBLISHED(CLAP_PARAM_REQUIRES_PROCESS, 0x8000),
        PUBLISHED(CLAP_PARAM_IS_ENUM, 0x10000),
        PUBLISHED(CLAP_PARAM_RESCAN_VALUES, 0x1),
        PUBLISHED(CLAP_PARAM_RESCAN_TEXT, 0x2),
        PUBLISHED(CLAP_PARAM_RESCAN_INFO, 0x4),
        PUBLISHED(CLAP_PARAM_RESCAN_ALL, 0x8),
        PUBLISHED(CLAP_PARAM_CLEAR_ALL, 0x1),
        PUBLISHED(CLAP_PARAM_CLEAR_AUTOMATIONS, 0x2),
        PUBLISHED(CLAP_PARAM_CLEAR_MODULATIONS, 0x4),
        PUBLISHED(CLAP_LOG_DEBUG, 0),
        PUBLISHED(CLAP_LOG_INFO, 1),
        PUBLISHED(CLAP_LOG_WARNING, 2),
        PUBLISHED(CLAP_LOG_ERROR, 3),
        PUBLISHED(CLAP_LOG_FATAL, 4),
        PUBLISHED(CLAP_LOG_HOST_MISBEHAVING, 5),
        PUBLISHED(CLAP_LOG_PLUGIN_MISBEHAVING, 6),
        PUBLISHED(CLAP_PRESET_DISCOVERY_LOCATION_FILE, 0),
        PUBLISHED(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, 1),
        PUBLISHED(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, 0x1),
        PUBLISHED(CLAP_PRESET_DISCOVERY_IS_USER_CONTENT, 0x2),
        PUBLISHED(CLAP_PRESET_DISCOVERY_IS_DEMO_CONTENT, 0x4),
        PUBLISHED(CLAP_PRESET_DISCOVERY_IS_FAVORITE, 0x8),
    });
}

TEST(ClapInterface, TextFieldsHoldThePublishedCapacities) {
    // A plug-in writes names with the field's size as the limit, so the arrays must be the
    // published sizes, not merely sit at the published offsets.
    EXPECT_EQ(sizeof(clap_param_info{}.name), 256u);
    EXPECT_EQ(sizeof(clap_param_info{}.module), 1024u);
    EXPECT_EQ(sizeof(clap_audio_port_info{}.name), 256u);
    EXPECT_EQ(sizeof(clap_note_port_info{}.name), 256u);
}
