// Which of the pattern's steps each of the sequencer's 16-channel messages stands for. The
// plug-in sends a step's value, never its number, so morvo-host derives the number from the
// sequencer's rules (sequencer/uPluginEngine.cpp, uPluginMidi.cpp, uParameters.h) and from what
// it knows itself: the parameters as the plug-in had them when play began (they do not change
// during a run), the blocks it played and the notes it sent.
//
// External timing: the step is the one at the song position this host gave the block that
// carries the message, floor(position x steps per beat) modulo the step count, as the engine
// computes it.
//
// Internal timing: the steps are sent in turn, 1 to the step count (the end step kept within
// 1 to 16), then 1 again. Start and stop notes (12, 13) pause and resume that order without
// changing it. A reset note (14) makes the next step sent step 1. Messages carry only the
// start of their block, so when a reset note acts inside a block that also sends steps, the
// steps of that block sent after the reset are told apart by the step length: the engine's
// boundaries fall one step length after the reset apart (another note acting in that same
// block after the reset is not taken into account).
#pragma once

#include <cstdint>
#include <vector>

#include "run/HostSession.h"

struct PatternRules {
    bool external = false;
    float syncValue = 0.01f; // steps per beat = value x 100
    float endStep = 0.16f;   // step count = value x 100, rounded, kept within 1 to 16
};

class PatternSteps {
  public:
    // total: the samples played (past it, no block ends early).
    PatternSteps(const SessionSettings& settings, const PatternRules& rules,
                 const std::vector<SentNote>& notes, std::uint64_t total);

    // The step (1 to 16) of the next message, in the order they were sent: the block start it
    // carries, and how many messages of that block, this one included, are still to come.
    int next(std::uint64_t blockStart, int leftInBlock);

  private:
    struct Reset {
        std::uint64_t acts; // the sample at which the note acts
        bool done;
    };
    int afterReset(const Reset& reset, std::uint64_t blockStart) const;

    SessionSettings settings;
    PatternRules rules;
    std::int64_t count;
    std::int64_t stepLength;
    std::uint64_t total;
    std::vector<Reset> resets;
    std::int64_t nextStep = 0;
};

// Where the rules' parameters are, by index (-1 for one the plug-in lacks).
struct RuleParameters {
    std::int32_t syncValue = -1, endStep = -1, timingMode = -1;
    // The rules the values give, the defaults where a parameter is missing.
    PatternRules rules(const std::vector<float>& values) const;
};
