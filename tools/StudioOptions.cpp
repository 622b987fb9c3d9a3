#include "StudioOptions.h"

#include <algorithm>
#include <cstdio>

#include "WriteFile.h"

const char* const kStudioUsage =
    "  --events FILE      write every message as a line: its sample, in or out, its bytes\n"
    "  --jack             play as a JACK client (Linux): MIDI in and out, stereo audio\n"
    "                     passed through, JACK's rate, block size and transport; the tempo\n"
    "                     comes from the transport's timebase master, else from --bpm\n"
    "  --bpm BPM          the same as --tempo\n"
    "  --client NAME      the JACK client's name (default morvo)\n"
    "  --connect-out PORT connect the MIDI output to PORT at start; may be repeated\n"
    "  --connect-in PORT  connect PORT to the MIDI input at start; may be repeated\n"
    "  --list-midi        list the system's MIDI out devices with their numbers (Windows)\n"
    "  --midi-out DEVICE  with --live, send each message to this MIDI out device, by number\n"
    "                     or name (Windows)\n";

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

bool writeEventList(const std::string& path, const std::vector<ReceivedEvent>& toPlugin,
                    const std::vector<ReceivedEvent>& fromPlugin, std::string& error) {
    struct Line {
        ReceivedEvent event;
        bool in;
    };
    std::vector<Line> lines;
    for (const ReceivedEvent& e : toPlugin)
        lines.push_back({e, true});
    for (const ReceivedEvent& e : fromPlugin)
        lines.push_back({e, false});
    // What reached the plug-in at a sample comes before what it sent there.
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        return a.event.sample < b.event.sample || (a.event.sample == b.event.sample && a.in > b.in);
    });
    std::string text;
    for (const Line& line : lines) {
        char row[64];
        std::snprintf(row, sizeof row, "%llu %s %02X %02X %02X\n",
                      static_cast<unsigned long long>(line.event.sample), line.in ? "in" : "out",
                      line.event.data[0], line.event.data[1], line.event.data[2]);
        text += row;
    }
    return writeWholeFile(path, text.data(), text.size(), error);
}
