// morvo-host's song: a plug-in library hosted by the guest, played for a number of beats of
// silence at a fixed tempo with the notes asked for, and what it sends stamped with the absolute
// sample it belongs to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/guest/Guest.h"
#include "host/DAEffectX.h"
#include "run/EventRing.h"
#include "run/Song.h"

struct SentNote {
    std::uint64_t sample;
    int note;
    // As it reaches the plug-in: a note-on of velocity 100 on channel 1.
    ReceivedEvent message() const {
        return {sample, {0x90, static_cast<unsigned char>(note), 100}};
    }
};

struct SessionSettings {
    double tempo = 120.0;
    double sampleRate = 44100.0;
    std::int32_t blockSize = 512;
    double beats = 8.0;
};

class HostSession : private guest::Listener, private guest::Sink {
  public:
    HostSession();
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Loads the library and creates an instance; on failure returns false with the reason.
    bool load(const std::string& path, std::string& error) { return hosted.load(path, error); }
    AEffect* effect() const { return hosted.effect(); }
    guest::Guest& guest() { return hosted; }

    std::string text(std::int32_t opcode, std::int32_t index = 0) {
        return hosted.text(opcode, index);
    }
    std::int32_t findParameter(const std::string& name, std::string& error);
    std::vector<std::string> parameterNames();

    // Opens the plug-in and plays a scripted song (its parameters resolved) in blocks of the
    // settings' size; the song's tempo and length replace the settings'.
    void playSong(const SessionSettings& settings, std::int32_t program,
                  const std::vector<std::pair<std::int32_t, float>>& parameters, const Song& song);

    // A run in parts, for a driver that paces the blocks. start opens the plug-in, sets it up
    // and resumes it; notes are sent at their samples as note-ons of velocity 100 on channel 1;
    // processBlock (audio thread) plays the next block of the given length, delivering the notes
    // due in it, and allocates nothing; stop suspends and closes. With a ring, what the plug-in
    // sends goes there instead of into `received`.
    void start(const SessionSettings& settings, std::int32_t program,
               const std::vector<std::pair<std::int32_t, float>>& parameters,
               std::vector<SentNote> notes, EventRing* ring = nullptr);
    void processBlock(std::int32_t frames);
    void stop();
    std::uint64_t position() const { return blockStart; } // the next block's first sample

    // User-interface thread, between start and stop.
    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return hosted.dispatch(opcode, index, value, ptr, opt);
    }

    std::vector<ReceivedEvent> received;
    std::vector<float> startValues; // the parameters as the plug-in had them when play began
    std::vector<SentNote> sent;     // the notes play sent, in the order of their samples
    std::vector<std::pair<std::int32_t, float>> automation; // what the plug-in reported

    // A device that gets each message as it leaves the plug-in, besides the ring or list.
    void sendTo(guest::Sink* device) { out = device; }

    // What found no room in the guest's buffer (none while a block of n samples sends at most
    // a message per channel and sample).
    std::uint64_t lost() const { return hosted.eventsLost(); }

  private:
    void automated(std::int32_t index, float value) override;
    // What the plug-in sent, at its frame in the current block.
    void take(std::uint32_t frame, const unsigned char data[3]) override;
    void runBlock(const guest::Transport& now, std::int32_t frames);

    guest::Guest hosted;
    SessionSettings settings;
    std::uint64_t blockStart = 0;
    EventRing* ring = nullptr;
    guest::Sink* out = nullptr;
    double samplesPerBeat = 0.0;
    std::size_t nextNote = 0;
    std::vector<float> silence, left, right;
    float* inputs[2] = {};
    float* outputs[2] = {};
};
