// What a door in the plug-in's own library reads of the plug-in before any host makes one: the
// guest's options for the door, and the plug-in's description from a plug-in of its own.
#pragma once

#include <cstddef>

#include "formats/guest/Facts.h"
#include "formats/guest/Guest.h"

namespace plugin_facts {

// A guest for the door named `format` ("CLAP"): a listener hears its automation, and `incoming`
// messages may wait for a block.
guest::Options guestOptions(const char* format, guest::Listener* listener, std::size_t incoming);

// The plug-in's description, read from a plug-in made for it alone; false when none could be
// made. Hosts ask for the editor's size before they make the window it opens in, while a plug-in
// may give its rectangle only once its editor is open: such an editor is opened without a
// window, measured and closed.
bool describe(const char* format, guest::Facts& facts);

} // namespace plugin_facts
