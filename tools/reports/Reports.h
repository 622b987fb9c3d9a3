// The files a run writes (--mid, --svg, --events, --dump), written as the song plays so that
// memory does not grow with its length, each kept whole (OutputFile). They are opened before
// anything plays, so that an output that cannot be written fails at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reports/EventList.h"
#include "reports/MidiFile.h"
#include "reports/OutputFile.h"
#include "reports/StepPlot.h"
#include "run/EventRing.h"

struct ReportFiles {
    std::string midi, svg, events, dump; // empty: not written
};

class Reports {
  public:
    // False, with the reason, when a file cannot be made; `library` is the plug-in's file,
    // which no output may replace.
    bool open(const ReportFiles& files, const std::string& library, std::string& error);
    // The run's timing, once known (JACK gives its own rate and block size), before it plays.
    void start(double tempo, double sampleRate, std::int32_t blockSize, const std::string& title);
    // Each side in the order of its samples.
    void toPlugin(const ReceivedEvent& event);
    void fromPlugin(const std::vector<ReceivedEvent>& events);
    // Completes the files of a run of `beats` beats; false with the first reason. Files not
    // finished (an interrupted run) are removed when the reports go.
    bool finish(double beats, std::string& error);

  private:
    std::string title;
    std::int32_t blockSize = 512;
    OutputFile midiFile, svgFile, eventsFile, dumpFile;
    std::optional<MidiFileWriter> midi;
    std::optional<StepPlot> plot;
    std::optional<EventList> list;
};
