// A VST 2 host session for morvo-host: loads a plug-in library through its entry point, answers
// the plug-in's requests as a host does, plays blocks of silence and collects the MIDI events
// the plug-in sends, each stamped with the absolute sample it belongs to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "EventRing.h"
#include "host/DAEffectX.h"
#include "host/VstEventList.h"

struct SentNote {
    std::uint64_t sample;
    int note;
};

struct SessionSettings {
    double tempo = 120.0;
    double sampleRate = 44100.0;
    std::int32_t blockSize = 512;
    double beats = 8.0;
};

class HostSession {
  public:
    HostSession() = default;
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Loads the library and creates an instance; on failure returns false with the reason.
    bool load(const std::string& path, std::string& error);
    AEffect* effect() const { return plugin; }

    std::string text(std::int32_t opcode, std::int32_t index = 0);
    std::int32_t findParameter(const std::string& name, std::string& error);

    // Opens the plug-in, plays settings.beats beats in blocks and closes it; notes are sent at
    // their samples as note-ons of velocity 100 on channel 1.
    void play(const SessionSettings& settings, std::int32_t program,
              const std::vector<std::pair<std::int32_t, float>>& parameters,
              std::vector<SentNote> notes);

    // play in parts, for a caller that paces the blocks itself. start opens the plug-in, sets
    // it up and resumes it; processBlock (audio thread) plays the next block of the given
    // length, delivering the notes due in it, and allocates nothing; stop suspends and closes.
    // With a ring, what the plug-in sends goes there instead of into `received`.
    void start(const SessionSettings& settings, std::int32_t program,
               const std::vector<std::pair<std::int32_t, float>>& parameters,
               std::vector<SentNote> notes, EventRing* ring = nullptr);
    void processBlock(std::int32_t frames);
    void stop();
    std::uint64_t position() const { return blockStart; } // the next block's first sample

    // User-interface thread, between start and stop.
    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);

    std::vector<ReceivedEvent> received;
    std::vector<float> startValues; // the parameters as the plug-in had them when play began
    std::vector<SentNote> sent;     // the notes play sent, in the order of their samples
    std::vector<std::pair<std::int32_t, float>> automation; // what the plug-in reported

  private:
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                          VstIntPtr value, void* ptr, float opt);
    VstIntPtr answer(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                     float opt);
    void close();

    void* library = nullptr;
    AEffect* plugin = nullptr;
    SessionSettings settings;
    VstTimeInfo timeInfo{};
    std::uint64_t blockStart = 0;
    EventRing* ring = nullptr;
    double samplesPerBeat = 0.0;
    std::size_t nextNote = 0;
    std::vector<float> silence, left, right;
    float* inputs[2] = {};
    float* outputs[2] = {};
    std::vector<VstMidiEvent> noteEvents; // as many as there are notes: no block needs more
    VstEventList noteList;
};
