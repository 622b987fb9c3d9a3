#include "StudioOptions.h"

#include <algorithm>
#include <cstdio>

const char* const kStudioUsage =
    "  --jack             play as a JACK client (Linux): MIDI in and out, stereo audio\n"
    "                     passed through, JACK's rate, block size and transport; the tempo\n"
    "                     comes from the transport's timebase master, else from --bpm\n"
    "  --client NAME      the JACK client's name (default morvo)\n"
    "  --connect-out PORT connect the MIDI output to PORT at start; may be repeated\n"
    "  --connect-in PORT  connect PORT to the MIDI input at start; may be repeated\n"
    "  --bpm BPM          the same as --tempo\n"
    "  --list-midi        list the system's MIDI out devices with their numbers (Windows)\n"
    "  --midi-out DEVICE  with --live, send each message to this MIDI out device, by number\n"
    "                     or name (Windows)\n"
    "  --events FILE      write every message as a line: its sample, in or out, its bytes\n";

bool parseStudioOption(const std::string& arg, const std::function<const char*()>& value,
                       StudioOptions& options) {
    if (arg == "--jack")
        options.jack = true;
    else if (arg == "--client")
        options.client = value();
    else if (arg == "--connect-out")
        options.connectOut.emplace_back(value());
    else if (arg == "--connect-in")
        options.connectIn.emplace_back(value());
    else if (arg == "--list-midi")
        options.listMidi = true;
    else if (arg == "--midi-out")
        options.midiOut = value();
    else if (arg == "--events")
        options.eventsFile = value();
    else
        return false;
    return true;
}
