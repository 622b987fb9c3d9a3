// The messages of a run as a plain list, for other programs to read.
#pragma once

#include <string>
#include <vector>

#include "run/EventRing.h"

// One line per message, in the order of their samples: the sample, "in" for what went to the
// plug-in or "out" for what it sent, and the message's bytes in hex.
bool writeEventList(const std::string& path, const std::vector<ReceivedEvent>& toPlugin,
                    const std::vector<ReceivedEvent>& fromPlugin, std::string& error);
