#include "drivers/LivePlay.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "drivers/Interrupt.h"
#include "reports/StepTable.h"
#include "run/EventRing.h"
#include "windows/EditorWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

// The audio thread's longest sleep: a stop is seen soon even between long blocks.
constexpr auto kLongestSleep = std::chrono::milliseconds(20);

Clock::duration timeOf(std::uint64_t sample, double sampleRate) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(sample) / sampleRate));
}

// Sleeps until `due`; false when told to stop first.
bool sleepUntil(Clock::time_point due, const std::atomic<bool>& stop) {
    while (!stop.load(std::memory_order_relaxed)) {
        const auto now = Clock::now();
        if (now >= due) return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kLongestSleep));
    }
    return false;
}

} // namespace

void playLive(HostSession& session, const LiveSettings& settings, Reports& reports,
              std::uint64_t& played) {
    InterruptWatch watch;

    const SessionSettings& s = settings.session;
    const double samplesPerBeat = s.sampleRate * 60.0 / s.tempo;
    const std::uint64_t total =
        settings.bounded ? static_cast<std::uint64_t>(std::llround(s.beats * samplesPerBeat))
                         : UINT64_MAX;
    EventRing ring;
    session.start(s, settings.program, settings.parameters, settings.notes, &ring);
    StepTable table(
        s, PatternSteps(s, settings.ruleParameters.rules(session.startValues), session.sent, total),
        session.sent, true);
    char length[64] = "live until interrupted";
    if (settings.bounded) std::snprintf(length, sizeof length, "live for %g beats", s.beats);
    table.heading(settings.title, length);
    for (const SentNote& note : session.sent)
        reports.toPlugin(note.message());

    EditorWindow window;
    std::string why = "the plug-in has no editor";
    if (session.guest().hasEditor())
        window.open(session.guest(), session.text(effGetEffectName), why);
    if (!window.isOpen())
        std::fprintf(stderr, "morvo-host: %s: playing without a window\n", why.c_str());

    // The audio thread: each block when the clock reaches its first sample, as a sound card
    // would ask for it; what the plug-in sends goes into the ring, a block at a time.
    std::atomic<bool> stopAudio{false}, finished{false};
    std::thread audio([&] {
        const Clock::time_point origin = Clock::now();
        while (session.position() < total &&
               sleepUntil(origin + timeOf(session.position(), s.sampleRate), stopAudio)) {
            session.processBlock(static_cast<std::int32_t>(std::min<std::uint64_t>(
                static_cast<std::uint64_t>(s.blockSize), total - session.position())));
            ring.push({{session.position(), {}}, true});
            ring.publish();
        }
        // A bounded run ends when its last block has been heard.
        if (session.position() >= total)
            sleepUntil(origin + timeOf(total, s.sampleRate), stopAudio);
        finished.store(true, std::memory_order_release);
    });

    // The main thread: the window, the editor's idle calls and the printing.
    std::vector<ReceivedEvent> block;
    auto print = [&] {
        ring.drain([&](const RingEntry& entry) {
            if (!entry.blockEnd) {
                block.push_back(entry.event);
                return;
            }
            table.add(block);
            reports.fromPlugin(block);
            block.clear();
            table.reach(entry.event.sample);
        });
    };
    Clock::time_point tick = Clock::now();
    while (!finished.load(std::memory_order_acquire) && !InterruptWatch::requested()) {
        print();
        window.idle();
        tick = std::max(tick + kTick, Clock::now()); // late: no catching up
        std::this_thread::sleep_until(tick);
    }
    stopAudio.store(true, std::memory_order_relaxed);
    audio.join();
    print();

    window.close();
    played = session.position();
    session.stop();
    table.finish();
    std::printf("played %.3f beats, %.3f seconds\n", static_cast<double>(played) / samplesPerBeat,
                static_cast<double>(played) / s.sampleRate);
    std::fflush(stdout);
    if (session.lost() > 0)
        std::fprintf(stderr, "morvo-host: %llu messages were lost: more than a block holds\n",
                     static_cast<unsigned long long>(session.lost()));
    if (ring.dropped() > 0)
        std::fprintf(stderr, "morvo-host: %llu messages were lost: the printing fell behind\n",
                     static_cast<unsigned long long>(ring.dropped()));
}
