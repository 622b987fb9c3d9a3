// The system's MIDI out devices through the multimedia API (winmm).
#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "drivers/MidiOut.h"

struct MidiOut::Device {
    HMIDIOUT handle = nullptr;
};

namespace {

std::vector<std::string> deviceNames() {
    std::vector<std::string> names;
    const UINT count = midiOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIOUTCAPSA caps{};
        names.push_back(midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR
                            ? std::string(caps.szPname)
                            : std::string("(no name)"));
    }
    return names;
}

std::string lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The device a number or name picks: an exact name first, then the one name that holds it.
int pick(const std::vector<std::string>& names, const std::string& wanted) {
    if (!wanted.empty() && std::all_of(wanted.begin(), wanted.end(),
                                       [](unsigned char c) { return std::isdigit(c) != 0; })) {
        const unsigned long number = std::strtoul(wanted.c_str(), nullptr, 10);
        return number < names.size() ? static_cast<int>(number) : -1;
    }
    const std::string key = lowered(wanted);
    int found = -1, holding = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string name = lowered(names[i]);
        if (name == key) return static_cast<int>(i);
        if (!key.empty() && name.find(key) != std::string::npos) {
            found = static_cast<int>(i);
            ++holding;
        }
    }
    return holding == 1 ? found : -1;
}

} // namespace

std::string MidiOut::list() {
    const std::vector<std::string> names = deviceNames();
    if (names.empty()) return "no MIDI out devices\n";
    std::string text = "MIDI out devices:\n";
    for (std::size_t i = 0; i < names.size(); ++i)
        text += "  " + std::to_string(i) + "  " + names[i] + "\n";
    return text;
}

std::unique_ptr<MidiOut> MidiOut::open(const std::string& wanted, std::string& error) {
    const std::vector<std::string> names = deviceNames();
    const int index = pick(names, wanted);
    if (index < 0) {
        error = "no MIDI out device '" + wanted + "'\n" + list();
        error.pop_back();
        return nullptr;
    }
    HMIDIOUT handle = nullptr;
    const MMRESULT result = midiOutOpen(&handle, static_cast<UINT>(index), 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
        char why[MAXERRORLENGTH] = "";
        midiOutGetErrorTextA(result, why, sizeof why);
        error = "MIDI out device " + std::to_string(index) + " '" +
                names[static_cast<std::size_t>(index)] +
                "' cannot be opened (busy or unavailable: " + why + ")\n" + list();
        error.pop_back();
        return nullptr;
    }
    std::unique_ptr<MidiOut> out(new MidiOut);
    out->device = new Device{handle};
    return out;
}

MidiOut::~MidiOut() {
    if (device == nullptr) return;
    midiOutReset(device->handle); // no note left sounding
    midiOutClose(device->handle);
    delete device;
}

void MidiOut::send(const unsigned char data[3]) {
    midiOutShortMsg(device->handle, static_cast<DWORD>(data[0]) |
                                        (static_cast<DWORD>(data[1]) << 8) |
                                        (static_cast<DWORD>(data[2]) << 16));
}
