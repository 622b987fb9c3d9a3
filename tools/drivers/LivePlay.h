// morvo-host --live: the plug-in played in real time, as a host plays it. An audio thread
// calls processReplacing for each block when the clock reaches the block's time; the main
// thread owns the editor's window, lets the editor idle and prints each step as it comes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reports/PatternSteps.h"
#include "reports/Reports.h"
#include "run/HostSession.h"

struct LiveSettings {
    SessionSettings session;
    bool bounded = false; // play session.beats beats; otherwise until interrupted
    std::int32_t program = -1;
    std::vector<std::pair<std::int32_t, float>> parameters;
    std::vector<SentNote> notes;
    RuleParameters ruleParameters;
    std::string title;
};

// Plays until the bound or SIGINT/SIGTERM, prints the table and feeds the files as it goes, the
// table's summary at the end, and gives back the samples played.
void playLive(HostSession& session, const LiveSettings& settings, Reports& reports,
              std::uint64_t& played);
