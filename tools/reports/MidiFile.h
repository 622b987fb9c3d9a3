// Writes the MIDI events a plug-in sent as a Standard MIDI File (format 0) any DAW imports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reports/OutputFile.h"
#include "run/EventRing.h"

// Written as the song plays: the header first, then each block's events, and the track's
// length at the end.
class MidiFileWriter {
  public:
    MidiFileWriter(OutputFile& file, double tempo, double sampleRate, const std::string& trackName);
    // Events in the order of their samples.
    void add(const std::vector<ReceivedEvent>& events);
    void finish();

  private:
    void put(const std::vector<unsigned char>& bytes);

    OutputFile& file;
    double samplesPerTick;
    std::uint64_t lastTick = 0, trackLength = 0;
};

// A whole file at once.
// When a beat is a whole number of samples (120 bpm at 44.1 kHz: 22050), the file's time base
// is chosen so that a tick is a whole number of samples and every event keeps its exact sample;
// otherwise events fall on the nearest of 960 ticks per beat.
bool writeMidiFile(const std::string& path, const std::vector<ReceivedEvent>& events, double tempo,
                   double sampleRate, const std::string& trackName, std::string& error);
