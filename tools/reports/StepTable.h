// The table morvo-host prints, offline, live and under JACK: a line per step (the 16 channel
// messages of one step), a line for any other message and for each message sent to the
// plug-in, then a summary. Fed in order, whole blocks at a time, so that the same lines come
// out of a finished run and of a live one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reports/PatternSteps.h"
#include "run/HostSession.h"

class StepTable {
  public:
    // notes: in the order of their samples. steps: none where this host cannot tell them, as
    // under a transport it does not own (JACK's), whose song positions the beat column then
    // shows. Live, each line is flushed as it is printed.
    StepTable(const SessionSettings& settings, std::optional<PatternSteps> steps,
              std::vector<SentNote> notes, bool flushEachLine);

    void heading(const std::string& title, const std::string& length) const;
    // Events of one or more whole blocks, in the order they were sent; at `beat` when the host
    // gave the blocks a song position of its own, else at the beat of their sample.
    void add(const std::vector<ReceivedEvent>& events, std::optional<double> beat = {});
    // A message that reached the plug-in as it played (JACK's input): shown at its sample.
    void sentToPlugin(const ReceivedEvent& event) { notes.push_back(event); }
    // Every block before this sample has been added: the notes sent before it are shown.
    void reach(std::uint64_t sample);
    // The notes left and the summary.
    void finish();

  private:
    void when(std::uint64_t sample, std::optional<double> beat = {}) const;
    void line() const;
    void showNotesUpTo(std::uint64_t sample);

    SessionSettings settings;
    std::optional<PatternSteps> steps;
    std::vector<ReceivedEvent> notes;
    bool flush;
    double samplesPerBeat;
    std::size_t nextNote = 0;
    int sentSteps = 0, lowest = 128, highest = -1;
    std::size_t messages = 0;
    std::vector<int> controllers;
};
