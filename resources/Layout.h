// The editor window's layout as data: every control with its name, kind, place, text, font,
// colours, visibility, tab order and handler. The window builds itself from it.
#pragma once

#include <cstddef>

#include "framework/Controls.h"

namespace resources {

constexpr int kWindowWidth = 626;
constexpr int kWindowHeight = 280;

struct ControlEntry {
    const char* name;
    framework::Kind kind;
    const char* parent; // null: the window itself
    int left, top, width, height;
    // Label text, edit text, button or group caption; memo lines separated by '\n'.
    const char* text = "";
    framework::Colour colour = framework::kSilver;
    framework::Colour textColour = framework::kBlack;
    int fontHeight = 11; // pixels: 11 is 8 pt at 96 dots per inch
    bool bold = false;
    bool visible = true;
    int tabOrder = -1;
    const char* handler = nullptr; // the window's handler for the control's event
    int tag = 0;
    const char* picture = nullptr; // embedded picture name
    bool stretch = false;
    int rangeMax = 0;            // scroll bars: 0 to rangeMax
    const char* items = nullptr; // radio groups: items separated by '|'
    bool readOnly = false;
    bool border = false;
};

extern const ControlEntry kWindowLayout[];
extern const std::size_t kWindowLayoutSize;

} // namespace resources
