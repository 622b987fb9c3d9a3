// The editor window's layout. Pictures and labels stack in the order given, each above the
// ones before it; the windowed controls (bars, edits, groups, the button, panels) lie above them.
#include "Layout.h"

namespace resources {

using framework::kGrey;
using framework::Kind;
using framework::kWhite;

const ControlEntry kWindowLayout[] = {
    // clang-format off
    {.name = "bg", .kind = Kind::Picture, .parent = nullptr, .left = 0, .top = 0, .width = 626, .height = 280, .picture = "background", .stretch = true},
    {.name = "Label3", .kind = Kind::Label, .parent = nullptr, .left = 516, .top = 64, .width = 34, .height = 13, .text = "CC Out"},
    {.name = "Label1", .kind = Kind::Label, .parent = nullptr, .left = 508, .top = 84, .width = 43, .height = 13, .text = " min/max"},
    {.name = "Label2", .kind = Kind::Label, .parent = nullptr, .left = 581, .top = 80, .width = 5, .height = 13, .text = "/"},
    {.name = "Label4", .kind = Kind::Label, .parent = nullptr, .left = 508, .top = 116, .width = 44, .height = 13, .text = "End Step"},
    {.name = "Label6", .kind = Kind::Label, .parent = nullptr, .left = 28, .top = 16, .width = 138, .height = 24, .text = "Ostrel", .fontHeight = 21, .bold = true},
    {.name = "led00", .kind = Kind::Picture, .parent = nullptr, .left = 30, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 0, .picture = "light", .stretch = true},
    {.name = "led01", .kind = Kind::Picture, .parent = nullptr, .left = 52, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 1, .picture = "light", .stretch = true},
    {.name = "led02", .kind = Kind::Picture, .parent = nullptr, .left = 78, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 2, .picture = "light", .stretch = true},
    {.name = "led03", .kind = Kind::Picture, .parent = nullptr, .left = 102, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 3, .picture = "light", .stretch = true},
    {.name = "led04", .kind = Kind::Picture, .parent = nullptr, .left = 134, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 4, .picture = "light", .stretch = true},
    {.name = "led05", .kind = Kind::Picture, .parent = nullptr, .left = 158, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 5, .picture = "light", .stretch = true},
    {.name = "led06", .kind = Kind::Picture, .parent = nullptr, .left = 182, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 6, .picture = "light", .stretch = true},
    {.name = "led07", .kind = Kind::Picture, .parent = nullptr, .left = 206, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 7, .picture = "light", .stretch = true},
    {.name = "led08", .kind = Kind::Picture, .parent = nullptr, .left = 238, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 8, .picture = "light", .stretch = true},
    {.name = "led09", .kind = Kind::Picture, .parent = nullptr, .left = 262, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 9, .picture = "light", .stretch = true},
    {.name = "led10", .kind = Kind::Picture, .parent = nullptr, .left = 286, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 10, .picture = "light", .stretch = true},
    {.name = "led11", .kind = Kind::Picture, .parent = nullptr, .left = 310, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 11, .picture = "light", .stretch = true},
    {.name = "led12", .kind = Kind::Picture, .parent = nullptr, .left = 342, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 12, .picture = "light", .stretch = true},
    {.name = "led13", .kind = Kind::Picture, .parent = nullptr, .left = 366, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 13, .picture = "light", .stretch = true},
    {.name = "led14", .kind = Kind::Picture, .parent = nullptr, .left = 390, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 14, .picture = "light", .stretch = true},
    {.name = "led15", .kind = Kind::Picture, .parent = nullptr, .left = 414, .top = 228, .width = 13, .height = 13, .visible = false, .tag = 15, .picture = "light", .stretch = true},
    {.name = "Stop", .kind = Kind::Picture, .parent = nullptr, .left = 28, .top = 244, .width = 21, .height = 21, .handler = "StopClick", .picture = "stop"},
    {.name = "StopRed", .kind = Kind::Picture, .parent = nullptr, .left = 28, .top = 244, .width = 21, .height = 21, .visible = false, .picture = "stop-red"},
    {.name = "Play", .kind = Kind::Picture, .parent = nullptr, .left = 52, .top = 244, .width = 21, .height = 21, .handler = "PlayClick", .picture = "play"},
    {.name = "PlayRed", .kind = Kind::Picture, .parent = nullptr, .left = 52, .top = 244, .width = 21, .height = 21, .picture = "play-red"},
    {.name = "Label7", .kind = Kind::Label, .parent = nullptr, .left = 500, .top = 8, .width = 36, .height = 13, .text = "Options", .textColour = kGrey, .handler = "Label7Click"},
    {.name = "AboutGUI", .kind = Kind::Label, .parent = nullptr, .left = 544, .top = 8, .width = 28, .height = 13, .text = "About", .textColour = kGrey, .handler = "AboutGUIClick"},
    {.name = "Label8", .kind = Kind::Label, .parent = nullptr, .left = 572, .top = 260, .width = 51, .height = 16, .text = "Pellisk", .fontHeight = 13},
    {.name = "Label5", .kind = Kind::Label, .parent = nullptr, .left = 384, .top = 248, .width = 62, .height = 13, .text = "Current Step", .visible = false},
    {.name = "par00", .kind = Kind::ScrollBar, .parent = nullptr, .left = 28, .top = 60, .width = 17, .height = 165, .tabOrder = 0, .handler = "par00Change", .tag = 0, .rangeMax = 127},
    {.name = "par01", .kind = Kind::ScrollBar, .parent = nullptr, .left = 52, .top = 60, .width = 16, .height = 165, .tabOrder = 1, .handler = "par00Change", .tag = 1, .rangeMax = 127},
    {.name = "par02", .kind = Kind::ScrollBar, .parent = nullptr, .left = 76, .top = 60, .width = 16, .height = 165, .tabOrder = 2, .handler = "par00Change", .tag = 2, .rangeMax = 127},
    {.name = "par03", .kind = Kind::ScrollBar, .parent = nullptr, .left = 100, .top = 60, .width = 16, .height = 165, .tabOrder = 3, .handler = "par00Change", .tag = 3, .rangeMax = 127},
    {.name = "par04", .kind = Kind::ScrollBar, .parent = nullptr, .left = 132, .top = 60, .width = 16, .height = 165, .tabOrder = 4, .handler = "par00Change", .tag = 4, .rangeMax = 127},
    {.name = "par05", .kind = Kind::ScrollBar, .parent = nullptr, .left = 156, .top = 60, .width = 16, .height = 165, .tabOrder = 5, .handler = "par00Change", .tag = 5, .rangeMax = 127},
    {.name = "par06", .kind = Kind::ScrollBar, .parent = nullptr, .left = 180, .top = 60, .width = 16, .height = 165, .tabOrder = 6, .handler = "par00Change", .tag = 6, .rangeMax = 127},
    {.name = "par07", .kind = Kind::ScrollBar, .parent = nullptr, .left = 204, .top = 60, .width = 16, .height = 165, .tabOrder = 7, .handler = "par00Change", .tag = 7, .rangeMax = 127},
    {.name = "par08", .kind = Kind::ScrollBar, .parent = nullptr, .left = 236, .top = 60, .width = 16, .height = 165, .tabOrder = 8, .handler = "par00Change", .tag = 8, .rangeMax = 127},
    {.name = "par09", .kind = Kind::ScrollBar, .parent = nullptr, .left = 260, .top = 60, .width = 16, .height = 165, .tabOrder = 9, .handler = "par00Change", .tag = 9, .rangeMax = 127},
    {.name = "par10", .kind = Kind::ScrollBar, .parent = nullptr, .left = 284, .top = 60, .width = 16, .height = 165, .tabOrder = 10, .handler = "par00Change", .tag = 10, .rangeMax = 127},
    {.name = "par11", .kind = Kind::ScrollBar, .parent = nullptr, .left = 308, .top = 60, .width = 16, .height = 165, .tabOrder = 11, .handler = "par00Change", .tag = 11, .rangeMax = 127},
    {.name = "par12", .kind = Kind::ScrollBar, .parent = nullptr, .left = 340, .top = 60, .width = 16, .height = 165, .tabOrder = 12, .handler = "par00Change", .tag = 12, .rangeMax = 127},
    {.name = "par13", .kind = Kind::ScrollBar, .parent = nullptr, .left = 364, .top = 60, .width = 16, .height = 165, .tabOrder = 13, .handler = "par00Change", .tag = 13, .rangeMax = 127},
    {.name = "par14", .kind = Kind::ScrollBar, .parent = nullptr, .left = 388, .top = 60, .width = 16, .height = 165, .tabOrder = 14, .handler = "par00Change", .tag = 14, .rangeMax = 127},
    {.name = "par15", .kind = Kind::ScrollBar, .parent = nullptr, .left = 412, .top = 60, .width = 16, .height = 165, .tabOrder = 15, .handler = "par00Change", .tag = 15, .rangeMax = 127},
    {.name = "SyncGUI", .kind = Kind::RadioGroup, .parent = nullptr, .left = 440, .top = 60, .width = 61, .height = 165, .text = "Sync", .tabOrder = 16, .handler = "SyncGUIClick", .items = "1/1|1/2|1/4|1/8|1/16|1/32"},
    {.name = "ccoutGUI", .kind = Kind::Edit, .parent = nullptr, .left = 556, .top = 60, .width = 25, .height = 19, .text = "14", .colour = kWhite, .tabOrder = 17, .handler = "ccoutGUIKeyPress"},
    {.name = "minGUI", .kind = Kind::Edit, .parent = nullptr, .left = 556, .top = 80, .width = 25, .height = 19, .text = "0", .colour = kWhite, .tabOrder = 18},
    {.name = "maxGUI", .kind = Kind::Edit, .parent = nullptr, .left = 588, .top = 80, .width = 25, .height = 19, .text = "127", .colour = kWhite, .tabOrder = 19},
    {.name = "endstepGUI", .kind = Kind::Edit, .parent = nullptr, .left = 556, .top = 112, .width = 25, .height = 19, .text = "16", .colour = kWhite, .tabOrder = 20},
    {.name = "ScrollBar1", .kind = Kind::ScrollBar, .parent = nullptr, .left = 240, .top = 0, .width = 17, .height = 37, .visible = false, .tabOrder = 21, .handler = "par00Change", .tag = 0, .rangeMax = 127},
    {.name = "ScrollBar2", .kind = Kind::ScrollBar, .parent = nullptr, .left = 260, .top = 0, .width = 17, .height = 37, .visible = false, .tabOrder = 22, .handler = "par00Change", .tag = 0, .rangeMax = 127},
    {.name = "ScrollBar3", .kind = Kind::ScrollBar, .parent = nullptr, .left = 280, .top = 0, .width = 17, .height = 37, .visible = false, .tabOrder = 23, .handler = "par00Change", .tag = 0, .rangeMax = 127},
    {.name = "ScrollBar4", .kind = Kind::ScrollBar, .parent = nullptr, .left = 300, .top = 0, .width = 17, .height = 37, .visible = false, .tabOrder = 24, .handler = "par00Change", .tag = 0, .rangeMax = 100},
    {.name = "currentstepGUI", .kind = Kind::Edit, .parent = nullptr, .left = 450, .top = 244, .width = 25, .height = 19, .text = "0", .colour = kWhite, .visible = false, .tabOrder = 25, .readOnly = true},
    {.name = "Edit1", .kind = Kind::Edit, .parent = nullptr, .left = 350, .top = 244, .width = 25, .height = 19, .text = "14", .colour = kWhite, .visible = false, .tabOrder = 26, .handler = "ccoutGUIKeyPress"},
    {.name = "Button1", .kind = Kind::Button, .parent = nullptr, .left = 544, .top = 140, .width = 49, .height = 17, .text = "Apply", .tabOrder = 27, .handler = "Button1Click"},
    {.name = "Panel1", .kind = Kind::Panel, .parent = nullptr, .left = 4, .top = 40, .width = 625, .height = 241, .visible = false, .tabOrder = 28},
    {.name = "close", .kind = Kind::Picture, .parent = "Panel1", .left = 592, .top = 4, .width = 21, .height = 21, .handler = "closeClick", .picture = "close"},
    {.name = "Timing", .kind = Kind::RadioGroup, .parent = "Panel1", .left = 20, .top = 52, .width = 81, .height = 69, .text = "Timing Mode", .tabOrder = 0, .handler = "TimingClick", .items = "Internal|External "},
    {.name = "Memo2", .kind = Kind::Memo, .parent = "Panel1", .left = 124, .top = 28, .width = 241, .height = 173, .text = "Internal \nc0 (midi note 12)   - Start.\nc#0 (midi note 13) - Stop. \nd0 (midi note " "14)   - Starts and resets the step.  \n\nExternal\nUses song position information " "sent from the host. \nThe sequencer position is always relative to song " "\npostion.\nc0 (midi note 12)   - Start.\nc#0 (midi note 13) - Stop. \n", .tabOrder = 1, .readOnly = true},
    {.name = "Panel2", .kind = Kind::Panel, .parent = nullptr, .left = 0, .top = 44, .width = 629, .height = 237, .visible = false, .tabOrder = 29},
    {.name = "close2", .kind = Kind::Picture, .parent = "Panel2", .left = 592, .top = 0, .width = 21, .height = 21, .handler = "close2Click", .picture = "close"},
    {.name = "Memo3", .kind = Kind::Memo, .parent = "Panel2", .left = 80, .top = 16, .width = 339, .height = 181, .text = "  Ostrel v0.57  released 1/12/04  \n\n  Written by Tove Marrak, 2004\n\n  Bug " "reports and requests:\n  ostrel@halvark.example\n\n  Thanks to Ilse Brandvold\n  " "www.brandvold.example\n\n  and to Jonas Heikkerud\n  www.heikkerud.example\n  VST " "Plugin  technology by Steinberg", .colour = kWhite, .tabOrder = 0, .readOnly = true, .border = true},
    // clang-format on
};

const std::size_t kWindowLayoutSize = sizeof kWindowLayout / sizeof kWindowLayout[0];

} // namespace resources
