// The place of every control of an editor window as a backend shows it (labels measured in the
// font they are drawn with), one line per control in the layout's order, panel children after
// their panel:
//     NAME KIND LEFT TOP WIDTH HEIGHT shown|hidden
// in pixels from the window's top left; KIND is picture, label, scrollbar, edit, button,
// radiogroup, panel or memo. The Linux and Windows editors write it, and the test command
// compares the two.
#pragma once

#include <ostream>

#include "framework/Controls.h"

// Writes the lines of every control below `form`; answers how many.
int writeLayout(const framework::Control& form, std::ostream& out);
