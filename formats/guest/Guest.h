// The guest: a host of one VST 2 plug-in record, shared by every door (CLAP, LV2, JACK) and by
// morvo-host. It creates the plug-in through its entry point, drives it through the record,
// runs each block in one cycle (the door's transport, its incoming MIDI, the block, the MIDI
// the plug-in sent handed to the door's sink), passes its automation on to the door and opens
// its editor in the door's window. It knows nothing of the plug-in behind the record.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/guest/GuestLibrary.h"
#include "host/DAEffectX.h"
#include "host/VstEventList.h"

namespace guest {

// Where the host's song is for the coming block. What is not marked valid is answered as a
// host that does not know it answers: no flag, and tempoAt 0 without a tempo.
struct Transport {
    double sampleRate = 44100.0;
    std::int32_t blockSize = 512;
    double samplePosition = 0.0; // the block's first sample
    bool playing = false;
    bool hasTempo = false;
    double tempo = 0.0; // beats per minute
    bool hasSongPosition = false;
    double songPosition = 0.0; // quarter notes at the block's first sample
    bool hasBars = false;
    double barStart = 0.0; // quarter notes at the start of the bar
    bool hasTimeSignature = false;
    std::int32_t numerator = 4, denominator = 4;
};

// One MIDI message the plug-in sent, at its offset in the block it was sent in.
struct Event {
    std::int32_t deltaFrames;
    unsigned char data[3];
};

// Where a door takes the MIDI the plug-in sent in a block, on the audio thread: in the order
// the plug-in sent it, each at its frame in the host's block (never decreasing within one).
class Sink {
  public:
    virtual void take(std::uint32_t frame, const unsigned char data[3]) = 0;

  protected:
    ~Sink() = default;
};

// One block as the plug-in plays it: a whole host block, or a piece of one (a door splitting
// a long block, or at a change of position), `offset` frames into a host block of `hostFrames`.
struct Block {
    float** inputs = nullptr;
    float** outputs = nullptr;
    std::int32_t frames = 0;
    std::uint32_t offset = 0;
    std::uint32_t hostFrames = 0; // 0: the piece is the whole host block
};

// What the plug-in tells its host beyond MIDI, on the thread the plug-in calls from: automation
// may come from the audio thread, so an implementation neither allocates nor locks there.
class Listener {
  public:
    virtual void automated(std::int32_t index, float value) = 0;
    virtual void beganEdit(std::int32_t) {}
    virtual void endedEdit(std::int32_t) {}
    // The editor asks for a new size; true when the door's window took it.
    virtual bool resizeEditor(std::int32_t, std::int32_t) { return false; }

  protected:
    ~Listener() = default;
};

struct Options {
    std::size_t eventCapacity = 1024; // messages the plug-in may send in one block
    std::size_t incomingCapacity = 0; // messages a door queues for one block
    const char* vendor = "Morvo";     // the host's vendor and product, as the plug-in asks
    const char* product = "morvo-host";
    // A door in the plug-in's own library names its format ("CLAP"): the plug-in's host is then
    // the plug-in's vendor, and its product followed by the format.
    const char* format = nullptr;
    std::int32_t vendorVersion = 1;
    Listener* listener = nullptr;
};

class Guest {
  public:
    explicit Guest(const Options& options = {});
    ~Guest();
    Guest(const Guest&) = delete;
    Guest& operator=(const Guest&) = delete;

    // Creation: from a library file, or from an entry function in this process (a door in the
    // plug-in's own library). A plug-in created before is closed first. On failure false with
    // the reason, and no plug-in.
    bool load(const std::string& path, std::string& error);
    bool create(EntryFunction entry, std::string& error);
    AEffect* effect() const { return plugin; }

    // User-interface thread.
    void open() { dispatch(effOpen); }
    void setSampleRate(double rate);
    void setBlockSize(std::int32_t frames);
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void suspend() { dispatch(effMainsChanged, 0, 0); }
    void setProgram(std::int32_t program) { dispatch(effSetProgram, 0, program); }
    std::int32_t program() { return static_cast<std::int32_t>(dispatch(effGetProgram)); }
    std::string programName(std::int32_t program) {
        return text(effGetProgramNameIndexed, program);
    }
    std::int32_t parameterCount() const { return plugin->numParams; }
    std::string parameterName(std::int32_t index) { return text(effGetParamName, index); }
    std::string parameterText(std::int32_t index) { return text(effGetParamDisplay, index); }
    std::string parameterLabel(std::int32_t index) { return text(effGetParamLabel, index); }
    // Closes the editor if open and the plug-in; the record is gone afterwards.
    void close();

    // Any thread the plug-in allows: automation may come from the audio thread.
    void setParameter(std::int32_t index, float value) {
        plugin->setParameter(plugin, index, value);
    }
    float parameter(std::int32_t index) { return plugin->getParameter(plugin, index); }

    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return plugin->dispatcher(plugin, opcode, index, value, ptr, opt);
    }
    // A text the plug-in writes into the host's buffer, in a buffer far larger than any limit
    // of the interface: plug-ins write past the nominal 8 or 24 characters.
    std::string text(std::int32_t opcode, std::int32_t index = 0);

    // Audio thread, for each block, in this order: the transport (it becomes the time record
    // the plug-in reads, filled whole whatever its filter asks), the incoming MIDI queued for
    // the block in one processEvents call, the block, and what the plug-in sent to the sink,
    // each message at the piece's offset plus its own, clamped into the piece and the host's
    // block and kept in order. Nothing here allocates or locks.
    void run(const Transport& now, const Block& block, Sink& sink);
    // The door's incoming MIDI for the coming block, in records allocated with the guest: queued
    // one by one at their offsets in the piece (false when the list is full).
    bool queueEvent(std::int32_t deltaFrames, const unsigned char data[3]);
    const Transport& transport() const { return current; }
    // The transport the plug-in reads between blocks (before the first, while stopped).
    void setTransport(const Transport& now);
    // What the plug-in sent outside a block (while resumed or suspended) to the sink, at frame
    // 0; and what a door drops when it resets.
    void handOver(Sink& sink);
    void dropSent() { count = 0; }

    // What found no room in the block's buffer, over the guest's life.
    std::uint64_t eventsLost() const { return lost.load(std::memory_order_relaxed); }
    // Not while processing: they allocate.
    void setEventCapacity(std::size_t capacity);
    void setIncomingCapacity(std::size_t capacity);

    // The editor, on the user-interface thread. editorSize is false, leaving width and height,
    // when the plug-in gives no rectangle (some give theirs only once open); openEditor takes
    // the door's native parent (an HWND, or an X11 window id as a pointer); idleEditor is for
    // the door's timer.
    bool hasEditor() const { return (plugin->flags & effFlagsHasEditor) != 0; }
    bool editorSize(int& width, int& height);
    bool openEditor(void* parent);
    void idleEditor();
    void closeEditor();
    bool editorOpen() const { return editorIsOpen; }

  private:
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                          VstIntPtr value, void* ptr, float opt);
    static VstIntPtr request(AEffect* effect, std::int32_t opcode, std::int32_t index,
                             VstIntPtr value, void* ptr, float opt);
    VstIntPtr answer(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                     float opt);
    void collect(const VstEvents* list);
    void sendQueuedEvents();
    void handOver(Sink& sink, std::uint32_t offset, std::uint32_t frames, std::uint32_t last);

    Options options;
    Library library;
    AEffect* plugin = nullptr;
    Transport current;
    VstTimeInfo timeInfo{};
    // tempoAt's answer (asked at every sample), worked out once a block: 0 for a tempo of none.
    VstIntPtr tempoAnswer = 0;
    std::vector<Event> collected;
    std::size_t count = 0;
    std::uint32_t lastFrame = 0; // the latest frame handed to the sink in this host block
    std::string hostVendor, hostProduct;
    std::atomic<std::uint64_t> lost{0};
    std::vector<VstMidiEvent> incoming;
    VstEventList incomingList;
    std::size_t queued = 0;
    bool editorIsOpen = false;
};

} // namespace guest
