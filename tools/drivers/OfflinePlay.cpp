#include "drivers/OfflinePlay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "drivers/Interrupt.h"
#include "reports/StepTable.h"

bool playOffline(HostSession& session, const LiveSettings& settings, Reports& reports) {
    InterruptWatch watch;
    const SessionSettings& s = settings.session;
    const double samplesPerBeat = s.sampleRate * 60.0 / s.tempo;
    const auto total = static_cast<std::uint64_t>(std::llround(s.beats * samplesPerBeat));
    session.start(s, settings.program, settings.parameters, settings.notes);
    StepTable table(
        s, PatternSteps(s, settings.ruleParameters.rules(session.startValues), session.sent, total),
        session.sent, false);
    char length[48];
    std::snprintf(length, sizeof length, "%g beats", s.beats);
    table.heading(settings.title, length);
    for (const SentNote& note : session.sent)
        reports.toPlugin(note.message());
    auto report = [&] {
        table.add(session.received);
        reports.fromPlugin(session.received);
        session.received.clear();
    };
    report(); // what the plug-in sent as it resumed
    while (session.position() < total && !InterruptWatch::requested()) {
        session.processBlock(static_cast<std::int32_t>(std::min<std::uint64_t>(
            static_cast<std::uint64_t>(s.blockSize), total - session.position())));
        report();
    }
    session.stop();
    report();
    if (InterruptWatch::requested()) {
        std::fflush(stdout);
        std::fprintf(stderr, "morvo-host: interrupted: no file written\n");
        return false;
    }
    table.finish();
    if (session.lost() > 0)
        std::fprintf(stderr, "morvo-host: %llu messages were lost: more than a block holds\n",
                     static_cast<unsigned long long>(session.lost()));
    return true;
}
