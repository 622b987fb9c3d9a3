// A system MIDI out device (Windows) that --live sends each message to as it leaves the
// plug-in: a hardware port, a virtual cable or the system's synthesizer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "formats/guest/Guest.h"

class MidiOut final : public guest::Sink {
  public:
    // The device by number or by name (without case; a unique part of a name will do), opened;
    // null on failure with the reason, which names the device and lists the ones there are.
    static std::unique_ptr<MidiOut> open(const std::string& device, std::string& error);
    ~MidiOut();
    MidiOut(const MidiOut&) = delete;
    MidiOut& operator=(const MidiOut&) = delete;

    // A short message; its length follows from the status byte.
    void send(const unsigned char data[3]);
    // As the run hands it on: at once, whatever its frame.
    void take(std::uint32_t, const unsigned char data[3]) override { send(data); }

    // The devices with their numbers, as --list-midi prints them.
    static std::string list();

  private:
    MidiOut() = default;
    struct Device;
    Device* device = nullptr;
};
