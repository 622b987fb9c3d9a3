// The table morvo-host prints: a line per step (the 16 channel messages of one step), a line
// for any other message and for each note sent to the plug-in, then a summary. Fed in order,
// whole blocks at a time, so that the same lines come out of a finished run and of a live one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reports/PatternSteps.h"
#include "run/HostSession.h"

class StepTable {
  public:
    // notes: in the order of their samples. Live, each line is flushed as it is printed.
    StepTable(const SessionSettings& settings, const PatternSteps& steps,
              std::vector<SentNote> notes, bool flushEachLine);

    void heading(const std::string& title, const std::string& length) const;
    // Events of one or more whole blocks, in the order they were sent.
    void add(const std::vector<ReceivedEvent>& events);
    // Every block before this sample has been added: the notes sent before it are shown.
    void reach(std::uint64_t sample);
    // The notes left and the summary.
    void finish();

  private:
    void when(std::uint64_t sample) const;
    void line() const;
    void showNotesUpTo(std::uint64_t sample);

    SessionSettings settings;
    PatternSteps steps;
    std::vector<SentNote> notes;
    bool flush;
    double samplesPerBeat;
    std::size_t nextNote = 0;
    int sentSteps = 0, lowest = 128, highest = -1;
    std::size_t messages = 0;
    std::vector<int> controllers;
};
