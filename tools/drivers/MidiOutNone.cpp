// Systems whose MIDI devices morvo-host does not open itself: on Linux it plays into JACK.
#include "drivers/MidiOut.h"

struct MidiOut::Device {};

std::unique_ptr<MidiOut> MidiOut::open(const std::string&, std::string& error) {
    error = "--midi-out opens Windows MIDI devices; here, play into JACK with --jack";
    return nullptr;
}

MidiOut::~MidiOut() = default;

void MidiOut::send(const unsigned char*) {}

std::string MidiOut::list() {
    return "morvo-host lists MIDI out devices on Windows; here, see JACK's ports (jack_lsp)\n";
}
