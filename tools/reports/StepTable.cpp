#include "reports/StepTable.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kChannels = 16;

// A run of the 16 channel messages of one step: the same Control Change on channels 1 to 16,
// in order, at one sample.
bool isSixteenChannelStep(const std::vector<ReceivedEvent>& events, std::size_t first) {
    if (first + kChannels > events.size()) return false;
    const ReceivedEvent& head = events[first];
    for (std::size_t c = 0; c < kChannels; ++c) {
        const ReceivedEvent& e = events[first + c];
        if (e.sample != head.sample || e.data[0] != 0xB0 + c || e.data[1] != head.data[1] ||
            e.data[2] != head.data[2])
            return false;
    }
    return true;
}

// How many steps, from the one at `first` on, the block that sent it sends.
int stepsLeftInBlock(const std::vector<ReceivedEvent>& events, std::size_t first) {
    int left = 0;
    for (std::size_t i = first; i < events.size() && events[i].sample == events[first].sample;)
        if (isSixteenChannelStep(events, i)) {
            ++left;
            i += kChannels;
        } else {
            ++i;
        }
    return left;
}

} // namespace

StepTable::StepTable(const SessionSettings& chosen, std::optional<PatternSteps> patternSteps,
                     std::vector<SentNote> sentNotes, bool flushEachLine)
    : settings(chosen), steps(std::move(patternSteps)), flush(flushEachLine),
      samplesPerBeat(settings.sampleRate * 60.0 / settings.tempo) {
    for (const SentNote& note : sentNotes)
        notes.push_back(note.message());
}

void StepTable::heading(const std::string& title, const std::string& length) const {
    std::printf("%s: %g bpm, %g Hz, blocks of %d samples, %s\n\n", title.c_str(), settings.tempo,
                settings.sampleRate, settings.blockSize, length.c_str());
    // step: the pattern's step (1 to 16); count: steps sent so far.
    std::printf("    beat   seconds  count   step  controller  value  channels\n");
    line();
}

void StepTable::line() const {
    if (flush) std::fflush(stdout);
}

void StepTable::when(std::uint64_t sample, std::optional<double> beat) const {
    // Under a transport of the host's, only what the plug-in sent carries a song position.
    if (beat || steps)
        std::printf("%8.3f", beat.value_or(static_cast<double>(sample) / samplesPerBeat));
    else
        std::printf("       -");
    std::printf("  %8.3f", static_cast<double>(sample) / settings.sampleRate);
}

void StepTable::showNotesUpTo(std::uint64_t sample) {
    for (; nextNote < notes.size() && notes[nextNote].sample <= sample; ++nextNote) {
        const ReceivedEvent& e = notes[nextNote];
        when(e.sample);
        if ((e.data[0] & 0xF0) == 0x90 && e.data[2] > 0)
            std::printf("   note %d sent to the plug-in\n", e.data[1]);
        else
            std::printf("   message %02X %02X %02X sent to the plug-in\n", e.data[0], e.data[1],
                        e.data[2]);
        line();
    }
}

void StepTable::add(const std::vector<ReceivedEvent>& events, std::optional<double> beat) {
    messages += events.size();
    for (std::size_t i = 0; i < events.size();) {
        const ReceivedEvent& e = events[i];
        showNotesUpTo(e.sample);
        const bool controlChange = (e.data[0] & 0xF0) == 0xB0;
        if (controlChange) {
            lowest = std::min(lowest, static_cast<int>(e.data[2]));
            highest = std::max(highest, static_cast<int>(e.data[2]));
            if (std::find(controllers.begin(), controllers.end(), e.data[1]) == controllers.end())
                controllers.push_back(e.data[1]);
        }
        when(e.sample, beat);
        if (isSixteenChannelStep(events, i)) {
            ++sentSteps;
            if (steps)
                std::printf("  %5d  %5d", sentSteps,
                            steps->next(e.sample, stepsLeftInBlock(events, i)));
            else
                std::printf("  %5d      -", sentSteps);
            std::printf("  %10d  %5d  ch 1-16\n", e.data[1], e.data[2]);
            i += kChannels;
        } else if (controlChange) {
            std::printf("      -      -  %10d  %5d  ch %d\n", e.data[1], e.data[2],
                        (e.data[0] & 15) + 1);
            ++i;
        } else {
            std::printf("      -      -  message %02X %02X %02X\n", e.data[0], e.data[1],
                        e.data[2]);
            ++i;
        }
        line();
    }
}

void StepTable::reach(std::uint64_t sample) {
    showNotesUpTo(sample);
}

void StepTable::finish() {
    showNotesUpTo(UINT64_MAX);
    std::printf("\n%d step%s, %zu message%s", sentSteps, sentSteps == 1 ? "" : "s", messages,
                messages == 1 ? "" : "s");
    if (!controllers.empty()) {
        std::printf("; controller");
        for (std::size_t i = 0; i < controllers.size(); ++i)
            std::printf("%s %d", i == 0 ? "" : ",", controllers[i]);
        std::printf(", values %d to %d", lowest, highest);
    }
    std::printf("\n");
    line();
}
