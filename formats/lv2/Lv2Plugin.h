// The LV2 door: one LV2 plug-in instance in front of a guest that hosts the VST 2 record of the
// same library. It turns the host's ports, MIDI and time:Position messages into the guest's
// calls and transport, and the plug-in's MIDI back into atom events; its UI (Lv2Ui.cpp) reaches
// the same guest through instance access. It knows nothing of the plug-in itself.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include "formats/guest/Guest.h"
#include "formats/lv2/Lv2Atoms.h"
#include "formats/lv2/Lv2Ports.h"
#include "formats/lv2/Lv2Time.h"

namespace lv2_door {

class Lv2Plugin final : private guest::Listener, private guest::Sink {
  public:
    // Null when the host gives no urid:map or the plug-in cannot be made.
    static Lv2Plugin* create(double sampleRate, const LV2_Feature* const* features);
    ~Lv2Plugin();

    // The host's thread for instantiation (connect may also come from the audio thread).
    void connect(std::uint32_t port, void* data);
    void activate();
    void deactivate();
    // Audio thread: nothing in it allocates, locks or waits.
    void run(std::uint32_t frames);

    // The UI, on the user-interface thread, through instance access.
    guest::Guest& hosted() { return plugin; }
    std::int32_t parameterCount() const { return parameters; }
    // An edit the plug-in made (from its editor or from the audio thread) that the host's port
    // has not heard of yet: the latest value of one parameter, taken once.
    bool takeEdit(std::int32_t index, float& value);

    // Messages the host's output buffer had no room for, sent at the start of the next blocks;
    // what even that has no room for is lost and counted on the `lost` port.
    static constexpr std::size_t kHeldCapacity = 4096;
    static constexpr std::int32_t kMaxParameters = 64;
    // The longest block a host may promise through its options (maxBlockLength); hosts without
    // a promise, or with a longer one, get the default, and longer blocks run in pieces of it.
    static constexpr std::uint32_t kDefaultMaxBlock = 4096;
    static constexpr std::int32_t kLargestMaxBlock = 1 << 16;
    // MIDI messages the door hands the plug-in for one piece; later ones in it are dropped.
    static constexpr std::size_t kIncomingCapacity = 1024;
    // What the door keeps of one run's input: a piece's MIDI for each piece of a run of up to
    // eight pieces, and as many positions as a piece takes MIDI messages (hosts send one a block,
    // or a few); later ones beyond that are dropped.
    static constexpr std::size_t kRunMidiCapacity = 8 * kIncomingCapacity;
    static constexpr std::size_t kRunPositionCapacity = kIncomingCapacity;

  private:
    Lv2Plugin(double sampleRate, const LV2_URID_Map& map, std::uint32_t maxBlock);
    bool start(std::string& error);
    void takeControls();
    void readInput(std::uint32_t frames);
    void runPiece(std::uint32_t offset, std::uint32_t frames);
    void writeOutput(std::uint32_t frames);

    // guest::Listener: from the editor's thread or from the audio thread.
    void automated(std::int32_t index, float value) override;
    // guest::Sink: what the plug-in sent in a piece, held for the output port.
    void take(std::uint32_t frame, const unsigned char data[3]) override;

    Uris uris;
    guest::Guest plugin;
    double sampleRate;
    std::uint32_t maxBlock; // the longest piece the guest processes at once
    std::int32_t parameters = 0;
    HostTime time;
    double framesPlayed = 0.0;
    std::uint32_t runFrames = 0; // the host's block being run

    // Ports, as the host connected them (null when it did not).
    const float* audioIn[2] = {nullptr, nullptr};
    float* audioOut[2] = {nullptr, nullptr};
    const LV2_Atom_Sequence* controlIn = nullptr;
    LV2_Atom_Sequence* notifyOut = nullptr;
    float* lostOut = nullptr;
    // Each control port's value when last read, and where the host keeps it: a port left
    // unconnected reads its own last value, so that every block reads all of them alike.
    float seen[kMaxParameters] = {};
    const float* controls[kMaxParameters] = {};

    // Four channels of maxBlock: silence for inputs and room for outputs left unconnected.
    std::vector<float> scratch;

    struct Message {
        std::uint32_t frame; // in the current run
        unsigned char data[3];
    };
    // The run's input, read once before its pieces play: MIDI and time:Position objects (in the
    // host's buffer) at their frames, in the host's order.
    struct Position {
        std::uint32_t frame;
        const LV2_Atom* atom;
    };
    Message midiIn[kRunMidiCapacity];
    std::size_t midiInCount = 0;
    Position positions[kRunPositionCapacity];
    std::size_t positionCount = 0;

    Message held[kHeldCapacity];
    std::size_t heldCount = 0;
    std::uint64_t lostCount = 0;

    std::atomic<float> edits[kMaxParameters];
    std::atomic<bool> edited[kMaxParameters];
};

} // namespace lv2_door
