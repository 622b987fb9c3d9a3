// morvo-host's ways into the studio: a JACK client on Linux, a system MIDI out device on
// Windows, and a plain list of the messages for other programs to read.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct StudioOptions {
    bool jack = false;
    std::string client = "morvo";
    std::vector<std::string> connectOut, connectIn; // ports to connect at start
    bool listMidi = false;
    std::string midiOut; // a device's number or name
    std::string eventsFile;
};

// The options' lines of morvo-host's --help.
extern const char* const kStudioUsage;

// Takes `arg` when it is one of these options, its value from `value`.
bool parseStudioOption(const std::string& arg, const std::function<const char*()>& value,
                       StudioOptions& options);
