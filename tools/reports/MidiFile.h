// Writes the MIDI events a plug-in sent as a Standard MIDI File (format 0) any DAW imports.
#pragma once

#include <string>
#include <vector>

#include "run/HostSession.h"

// When a beat is a whole number of samples (120 bpm at 44.1 kHz: 22050), the file's time base
// is chosen so that a tick is a whole number of samples and every event keeps its exact sample;
// otherwise events fall on the nearest of 960 ticks per beat.
bool writeMidiFile(const std::string& path, const std::vector<ReceivedEvent>& events, double tempo,
                   double sampleRate, const std::string& trackName, std::string& error);
