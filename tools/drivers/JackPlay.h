// morvo-host --jack: the plug-in as a JACK client, played in JACK's process callback through
// the guest. MIDI in and out ports and a stereo audio pair in and out passed through; JACK's
// sample rate and buffer size; the tempo and song position from JACK's transport when a
// timebase master gives bar-beat-tick positions, otherwise the tempo asked for and the
// transport's frame. The editor shows and idles on the main thread, which prints each step.
#pragma once

#include <string>
#include <vector>

#include "drivers/LivePlay.h"

// The client's name and the ports to connect its MIDI output and input to at start.
struct JackPorts {
    std::string client;
    std::vector<std::string> connectOut, connectIn;
};

// Plays until the bound (settings.bounded), SIGINT/SIGTERM or the server's end, prints the
// steps and the summary and feeds the files as it goes; returns the program's exit status.
int playJack(HostSession& session, const LiveSettings& settings, const JackPorts& studio,
             Reports& reports);
