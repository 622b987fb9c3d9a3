// What the LV2 door and the program that writes its Turtle files agree on: the URIs, the library's
// file name and the ports by index. The parameters' names, defaults and the programs come from
// the plug-in's record; only the layout around them is fixed here.
#pragma once

#include <cstdint>

namespace lv2_door {

constexpr const char* kPluginUri = "https://halvark.com/plugins/ostrel";
constexpr const char* kUiUri = "https://halvark.com/plugins/ostrel#ui";
constexpr const char* kPresetPrefix = "https://halvark.com/plugins/ostrel#program";
constexpr const char* kLibrary = "Morvo_lv2.so";

// Port indices.
enum Port : std::uint32_t {
    audioInLeft = 0,
    audioInRight = 1,
    audioOutLeft = 2,
    audioOutRight = 3,
    control = 4,       // atom input: MIDI and time:Position
    notify = 5,        // atom output: MIDI
    lost = 6,          // control output: messages dropped because the host's buffer was too small
    firstParameter = 7 // then one control input per parameter of the record
};

// The output buffer a host should give for one step's messages and more: hosts that honour it
// never make the door hold messages back.
constexpr std::uint32_t kMinimumOutputBytes = 8192;

} // namespace lv2_door
