// morvo-host run as a user runs it, against the built plug-in library: the table it prints, the
// MIDI file it writes (read back here), and its errors; its MIDI file writer and the ring of its
// live play also on their own.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "reports/MidiFile.h"
#include "run/EventRing.h"

namespace {

struct HostRun {
    int status;
    std::string output;
};

// environment: settings to run it with, such as "env -u DISPLAY".
HostRun run(const std::string& arguments, const std::string& environment = "") {
    const std::string command = environment + " " + MORVO_HOST + " " + arguments + " 2>&1";
    HostRun result{-1, ""};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

const std::string library = MORVO_LIBRARY;

struct Row {
    double beat, seconds;
    int count, step, controller, value;
    bool operator==(const Row&) const = default;
};

// The table's step lines.
std::vector<Row> rows(const std::string& output) {
    std::vector<Row> found;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        Row row{};
        char channels[16] = "";
        if (std::sscanf(line.c_str(), "%lf %lf %d %d %d %d %15[^\n]", &row.beat, &row.seconds,
                        &row.count, &row.step, &row.controller, &row.value, channels) == 7 &&
            std::string(channels) == "ch 1-16")
            found.push_back(row);
    }
    return found;
}

// Starts morvo-host, sends it `signal` after `seconds` and waits for it to end.
HostRun interrupted(const std::string& arguments, double seconds, int signal) {
    int output[2];
    if (pipe(output) != 0) return {-1, ""};
    const pid_t child = fork();
    if (child == 0) {
        dup2(output[1], 1);
        dup2(output[1], 2);
        close(output[0]);
        const std::string command = "exec " + std::string(MORVO_HOST) + " " + arguments;
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(output[1]);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    kill(child, signal);
    HostRun result{-1, ""};
    char buffer[4096];
    ssize_t n;
    while ((n = read(output[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<std::size_t>(n));
    close(output[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The summary's count of what was sent: 16 messages a step.
std::string summaryOf(std::size_t steps) {
    return "\n" + std::to_string(steps) + (steps == 1 ? " step, " : " steps, ") +
           std::to_string(16 * steps) + " messages;";
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

struct MidiEvent {
    std::uint64_t tick;
    unsigned char status, data1, data2;
};

struct MidiFile {
    int division = 0;
    std::uint32_t microsPerBeat = 0;
    std::vector<MidiEvent> events;
};

// A reader of our own for format-0 files: header, tempo meta event, channel messages (two data
// bytes, one for program change and channel pressure; no running status).
MidiFile readMidi(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    MidiFile file;
    auto big = [&](std::size_t at, int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = value << 8 | bytes.at(at + i);
        return value;
    };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "MThd");
    EXPECT_EQ(big(8, 2), 0u); // format 0
    EXPECT_EQ(big(10, 2), 1u);
    file.division = static_cast<int>(big(12, 2));
    EXPECT_EQ(std::string(bytes.begin() + 14, bytes.begin() + 18), "MTrk");
    const std::size_t end = 22 + big(18, 4);
    EXPECT_EQ(end, bytes.size());
    std::size_t at = 22;
    auto variableLength = [&] {
        std::uint32_t value = 0;
        unsigned char b;
        do {
            b = bytes.at(at++);
            value = value << 7 | (b & 0x7F);
        } while (b & 0x80);
        return value;
    };
    std::uint64_t tick = 0;
    while (at < end) {
        tick += variableLength();
        const unsigned char status = bytes.at(at++);
        if (status == 0xFF) {
            const unsigned char type = bytes.at(at++);
            const std::uint32_t length = variableLength();
            if (type == 0x51) file.microsPerBeat = big(at, 3);
            at += length;
            if (type == 0x2F) {
                EXPECT_EQ(at, end) << "bytes after the end of the track";
                break;
            }
        } else {
            EXPECT_NE(status & 0x80, 0) << "a data byte where a status belongs, at " << at - 1;
            const bool oneByte = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0;
            file.events.push_back(
                {tick, status, bytes.at(at), oneByte ? std::uint8_t{0} : bytes.at(at + 1)});
            at += oneByte ? 1 : 2;
        }
    }
    return file;
}

// The block a sample falls in starts here: messages carry the start of their block.
std::uint64_t blockOf(std::uint64_t sample, std::uint64_t block = 512) {
    return sample / block * block;
}

// Checks the table and the file against the samples and values the engine sends.
void expectStream(const HostRun& run, const std::string& midiPath,
                  const std::vector<std::pair<std::uint64_t, int>>& expected) {
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<Row> table = rows(run.output);
    ASSERT_EQ(table.size(), expected.size()) << run.output;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(table[i].count, static_cast<int>(i + 1));
        EXPECT_NEAR(table[i].beat, expected[i].first / 22050.0, 0.0005) << "step " << i + 1;
        EXPECT_NEAR(table[i].seconds, expected[i].first / 44100.0, 0.0005);
        EXPECT_EQ(table[i].controller, 14);
        EXPECT_EQ(table[i].value, expected[i].second) << "step " << i + 1;
    }
    // 120 bpm at 44.1 kHz: 22050 ticks a beat, one tick a sample.
    const MidiFile file = readMidi(midiPath);
    EXPECT_EQ(file.division, 22050);
    EXPECT_EQ(file.microsPerBeat, 500000u);
    ASSERT_EQ(file.events.size(), 16 * expected.size());
    for (std::size_t i = 0; i < file.events.size(); ++i) {
        const auto& [sample, value] = expected[i / 16];
        EXPECT_EQ(file.events[i].tick, sample) << "event " << i;
        EXPECT_EQ(file.events[i].status, 0xB0 + i % 16) << "event " << i;
        EXPECT_EQ(file.events[i].data1, 14);
        EXPECT_EQ(file.events[i].data2, value) << "event " << i;
    }
}

std::string temporary(const char* name) {
    return ::testing::TempDir() + "morvo-host-test-" + name;
}

int stepValue(int step) {
    return static_cast<int>(std::lround(step / 15.0 * 127.0));
}

std::string distinctSteps() {
    std::string arguments;
    for (int s = 0; s < 16; ++s) {
        char setting[40];
        std::snprintf(setting, sizeof setting, " --set step%d=%.9g", s + 1, s / 15.0);
        arguments += setting;
    }
    return arguments;
}

} // namespace

TEST(MorvoHost, DefaultsPlayStepOneValuesOncePerBeat) {
    const std::string mid = temporary("defaults.mid");
    const HostRun result = run(library + " --mid " + mid);
    std::vector<std::pair<std::uint64_t, int>> expected;
    for (std::uint64_t k = 0; k < 8; ++k)
        expected.emplace_back(blockOf(k * 22050), 64);
    expectStream(result, mid, expected);
    EXPECT_NE(result.output.find("Ostrel by Halvark: 120 bpm, 44100 Hz, blocks of 512 samples, "
                                 "8 beats"),
              std::string::npos);
    EXPECT_NE(result.output.find("8 steps, 128 messages; controller 14, values 64 to 64"),
              std::string::npos);
}

TEST(MorvoHost, FourStepsPerBeatOverFourSteps) {
    const std::string mid = temporary("four.mid");
    const HostRun result = run(library + distinctSteps() +
                               " --set syncValue=0.04 --set endStep=0.04 --beats 2 --mid " + mid);
    std::vector<std::pair<std::uint64_t, int>> expected;
    for (std::uint64_t k = 0; k * 5512 < 44100; ++k)
        expected.emplace_back(blockOf(k * 5512), stepValue(static_cast<int>(k % 4)));
    expectStream(result, mid, expected);
}

TEST(MorvoHost, ExternalTimingFollowsTheSongPosition) {
    const std::string mid = temporary("external.mid");
    const HostRun result = run(library + distinctSteps() + " --timing external --mid " + mid);
    // Step 1 with the first block, then step k + 1 with the first block of 512 whose position,
    // at 1 step a beat, reaches beat k (22050 samples a beat).
    const std::uint64_t blocks[] = {0, 22528, 44544, 66560, 88576, 110592, 132608, 154624};
    std::vector<std::pair<std::uint64_t, int>> expected;
    for (int step = 0; step < 8; ++step)
        expected.emplace_back(blocks[step], stepValue(step));
    ASSERT_EQ(expected.size(), 8u);
    expectStream(result, mid, expected);
}

TEST(MorvoHost, NotesStopAndStartTheSequencer) {
    const std::string mid = temporary("notes.mid");
    const HostRun result =
        run(library + distinctSteps() + " --note 13@2 --note 12@4.5 --mid " + mid);
    // Stop at beat 2 (acting one sample before its delay, at 44099: before the boundary at
    // 44100), start at beat 4.5 (99224): the step due then, the third, is sent at once.
    std::vector<std::pair<std::uint64_t, int>> expected{{0, stepValue(0)},
                                                        {blockOf(22050), stepValue(1)}};
    for (std::uint64_t k = 0; 99224 + k * 22050 < 8 * 22050; ++k)
        expected.emplace_back(blockOf(99224 + k * 22050), stepValue(static_cast<int>(2 + k)));
    expectStream(result, mid, expected);
    EXPECT_NE(result.output.find("   note 13 sent to the plug-in"), std::string::npos);
}

TEST(MorvoHost, StepColumnShowsThePatternStepAndCountColumnTheStepsSent) {
    const HostRun result = run(library + " --beats 20");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("    beat   seconds  count   step  controller  value  channels"),
              std::string::npos);
    const std::vector<Row> table = rows(result.output);
    ASSERT_EQ(table.size(), 20u) << result.output;
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].count, static_cast<int>(i + 1));
        EXPECT_EQ(table[i].step, static_cast<int>(i % 16 + 1)) << "row " << i + 1;
    }
}

TEST(MorvoHost, StepColumnFollowsTheEndStepAndTheResetNote) {
    // Five steps; the reset at beat 7.5 makes the step after it step 1 again.
    const HostRun result = run(library + " --set endStep=0.05 --beats 12 --note 14@7.5");
    ASSERT_EQ(result.status, 0) << result.output;
    const std::vector<int> expected{1, 2, 3, 4, 5, 1, 2, 3, 1, 2, 3, 4};
    std::vector<int> steps;
    for (const Row& row : rows(result.output))
        steps.push_back(row.step);
    EXPECT_EQ(steps, expected) << result.output;
}

// With 16 distinct step values, each message tells which step the plug-in sent: the column
// must agree, with resets, stops and starts inside blocks that send several steps, in both
// timings.
TEST(MorvoHost, StepColumnAgreesWithTheStepsTheValuesShow) {
    const char* const scenarios[] = {
        " --block 4096 --set syncValue=0.32 --beats 4 --note 14@1.3 --note 14@2.05 --note 13@2.5 "
        "--note 12@3",
        " --block 4096 --set syncValue=0.32 --set endStep=0.07 --beats 4 --note 14@1.3 "
        "--note 14@3.01",
        " --block 1000 --set syncValue=0.16 --set endStep=0.11 --tempo 173 --rate 48000 "
        "--note 14@1.3 --note 14@3.001 --note 14@5.5",
        " --timing external --block 300 --set syncValue=0.08 --set endStep=0.13 --note 14@1.3",
        " --timing external --block 4096 --set syncValue=0.32",
    };
    for (const char* scenario : scenarios) {
        const HostRun result = run(library + distinctSteps() + scenario);
        ASSERT_EQ(result.status, 0) << result.output;
        const std::vector<Row> table = rows(result.output);
        EXPECT_GT(table.size(), 30u) << scenario;
        for (const Row& row : table)
            ASSERT_EQ(stepValue(row.step - 1), row.value) << scenario << ", row " << row.count;
    }
}

// A reset acts one sample before its delay, and the engine's next boundary comes one step length
// after it. The first reset's boundary is the last sample of its block: that block sends step 4,
// then step 1. The second's is the first sample of the next block: its own block sends step 4
// alone, the next one starts with step 1.
TEST(MorvoHost, StepColumnAfterAResetWhoseBoundaryIsAtTheEdgeOfABlock) {
    constexpr std::uint64_t kBlock = 4096;
    constexpr std::uint64_t kStepLength = 2756; // 8 steps a beat of 22050 samples, rounded down
    std::string arguments =
        library + distinctSteps() + " --block 4096 --set syncValue=0.08 --beats 2";
    for (const std::uint64_t acts : {3 * kBlock - 1 - kStepLength, 6 * kBlock - kStepLength}) {
        char note[40];
        std::snprintf(note, sizeof note, " --note 14@%.12g",
                      static_cast<double>(acts + 1) / 22050.0);
        arguments += note;
    }
    const HostRun result = run(arguments);
    ASSERT_EQ(result.status, 0) << result.output;
    std::vector<int> steps;
    for (const Row& row : rows(result.output)) {
        EXPECT_EQ(stepValue(row.step - 1), row.value) << "row " << row.count << "\n"
                                                      << result.output;
        steps.push_back(row.step);
    }
    const std::vector<int> expected{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(steps, expected) << result.output;
}

TEST(MorvoHost, LivePlaysInRealTimeWhatOfflinePlayPrints) {
    const std::string arguments =
        library + " --beats 2 --set syncValue=0.04 --note 14@1.1 --note 13@1.6";
    const HostRun offline = run(arguments);
    const auto start = std::chrono::steady_clock::now();
    const HostRun live = run(arguments + " --live");
    const double elapsed = secondsSince(start);
    ASSERT_EQ(live.status, 0) << live.output;
    // Two beats at 120 bpm last one second; played as fast as it can go it takes milliseconds.
    EXPECT_GE(elapsed, 0.95);
    EXPECT_LT(elapsed, 10.0);
    EXPECT_FALSE(rows(offline.output).empty());
    EXPECT_EQ(rows(live.output), rows(offline.output)) << live.output;
    for (const char* line : {"   1.100     0.550   note 14 sent to the plug-in\n",
                             "\n7 steps, 112 messages; controller 14, values 64 to 64\n",
                             "played 2.000 beats, 1.000 seconds\n"})
        EXPECT_NE(live.output.find(line), std::string::npos) << line << live.output;
    EXPECT_NE(live.output.find("blocks of 512 samples, live for 2 beats\n"), std::string::npos);
}

TEST(MorvoHost, LiveStopsCleanlyWhenInterrupted) {
    const auto start = std::chrono::steady_clock::now();
    const HostRun result = interrupted(library + " --live --set syncValue=0.08", 1.5, SIGINT);
    const double elapsed = secondsSince(start);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("live until interrupted"), std::string::npos);
    // Eight steps a beat at 120 bpm: 16 a second, each printed as it is played.
    const std::vector<Row> table = rows(result.output);
    EXPECT_GE(table.size(), 8u) << result.output;
    EXPECT_LE(static_cast<double>(table.size()), 16.0 * elapsed + 2.0) << result.output;
    EXPECT_NE(result.output.find(summaryOf(table.size())), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("\nplayed "), std::string::npos);

    const HostRun terminated = interrupted(library + " --live", 0.5, SIGTERM);
    EXPECT_EQ(terminated.status, 0) << terminated.output;
    const std::size_t steps = rows(terminated.output).size();
    EXPECT_GE(steps, 1u);
    EXPECT_NE(terminated.output.find(summaryOf(steps)), std::string::npos) << terminated.output;
}

TEST(MorvoHost, LiveWithoutADisplayPlaysWithoutAWindow) {
    const HostRun result = run(std::string(EDITOR_OPENS) + " --live --beats 0.5", "env -u DISPLAY");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(countOf(result.output,
                      "morvo-host: no display to show the editor on: playing without a window\n"),
              1)
        << result.output;
    EXPECT_EQ(result.output.find("test editor: opened"), std::string::npos);
    EXPECT_NE(result.output.find("played 0.500 beats"), std::string::npos);

    const HostRun plain = run(std::string(EDITOR_NONE) + " --live --beats 0.5");
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.output.find("morvo-host: the plug-in has no editor: playing without a window"),
              std::string::npos)
        << plain.output;
}

TEST(MorvoHost, InfoDescribesThePlugin) {
    const HostRun result = run(library + " --info");
    ASSERT_EQ(result.status, 0) << result.output;
    for (const char* expected :
         {"name          Ostrel\n", "vendor        Halvark\n", "product       Ostrel\n",
          "unique id     KV01 (0x4B563031)\n", "23 parameters (value 0 to 1",
          "  17  CC Out                       0.1102  \"0.11\" unit \"%\"\n",
          "End Step -Do not automate    0.1600  \"0.16\" unit \"%\", not automatable\n",
          "16 programs:", "  15  Preset 15\n", "  receiveVstTimeInfo     yes\n",
          "  offline                no\n"})
        EXPECT_NE(result.output.find(expected), std::string::npos) << expected;
}

TEST(MorvoHost, WritesAStepPlot) {
    const std::string svg = temporary("plot.svg");
    const HostRun result = run(library + " --beats 2 --svg " + svg);
    ASSERT_EQ(result.status, 0) << result.output;
    std::ifstream in(svg);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text.rfind("<svg ", 0), 0u);
    EXPECT_NE(text.find("<polyline"), std::string::npos);
    EXPECT_NE(text.find("CC 14 (channel 1)"), std::string::npos);
    EXPECT_NE(text.find("</svg>"), std::string::npos);
}

// Program change and channel pressure carry one data byte: read back by the standard's rules,
// every channel message is there at its tick, with no stray byte between them.
TEST(MorvoHost, MidiFileKeepsMessagesOfOneDataByte) {
    // A plug-in may leave anything in the unused third byte.
    const std::vector<ReceivedEvent> sent{
        {0, {0xB0, 14, 64}},   {0, {0xC3, 5, 0x55}},  {100, {0xD9, 100, 0x7F}},
        {100, {0x91, 60, 90}}, {22050, {0xF8, 0, 0}}, {22050, {0xE0, 0, 64}},
        {30000, {0xCF, 0, 0}}, {30000, {0xDF, 0, 1}}, {30001, {0x81, 60, 0}}};
    const std::string path = temporary("one-byte.mid");
    std::string error;
    ASSERT_TRUE(writeMidiFile(path, sent, 120.0, 44100.0, "one data byte", error)) << error;
    const MidiFile file = readMidi(path);
    ASSERT_EQ(file.division, 22050); // a tick a sample
    std::vector<MidiEvent> expected;
    for (const ReceivedEvent& e : sent) {
        if (e.data[0] >= 0xF0) continue; // the clock is no channel message: not kept
        const bool oneByte = (e.data[0] & 0xF0) == 0xC0 || (e.data[0] & 0xF0) == 0xD0;
        expected.push_back({e.sample, e.data[0], e.data[1], oneByte ? std::uint8_t{0} : e.data[2]});
    }
    ASSERT_EQ(file.events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(file.events[i].tick, expected[i].tick) << "event " << i;
        EXPECT_EQ(file.events[i].status, expected[i].status) << "event " << i;
        EXPECT_EQ(file.events[i].data1, expected[i].data1) << "event " << i;
        EXPECT_EQ(file.events[i].data2, expected[i].data2) << "event " << i;
    }
}

// The ring --live passes what the plug-in sends through, around the ring many times, with a
// reader late by 1 to 12 blocks: sometimes within the ring's room, sometimes past it. Every
// message is handed over in order or counted as lost; a block's messages come followed by its
// end, never run into the next block's; a ring that overflows was used to its last place.
TEST(MorvoHost, LiveRingKeepsBlockEndsAndCountsWhatItDrops) {
    constexpr std::uint64_t kCapacity = EventRing::kCapacity;
    EventRing ring;
    std::mt19937 random(14);
    std::uint64_t pushedEvents = 0, handedOver = 0, lastId = 0, block = 0;
    int overflows = 0, keptUp = 0;
    for (int round = 0; round < 60; ++round) {
        // The audio thread: blocks of messages, each followed by its end and published.
        const std::uint64_t droppedBefore = ring.dropped();
        std::uint64_t pending = 0;
        const int blocks = std::uniform_int_distribution<int>(1, 12)(random);
        for (int b = 0; b < blocks; ++b, ++block) {
            const int events = std::uniform_int_distribution<int>(1, 2500)(random);
            // The message's id in its sample, its block in its data bytes.
            for (int e = 0; e < events; ++e)
                ring.push({{++pushedEvents,
                            {0xB0, static_cast<unsigned char>(block & 0x7F),
                             static_cast<unsigned char>(block >> 7)}},
                           false});
            ring.push({{block, {}}, true});
            ring.publish();
            pending += static_cast<std::uint64_t>(events) + 1;
        }
        // The printing thread, late by all those blocks.
        std::uint64_t taken = 0, outOfOrder = 0, runTogether = 0;
        std::uint64_t blockOfGroup = UINT64_MAX; // the block of the messages since the last end
        ring.drain([&](const RingEntry& entry) {
            ++taken;
            if (entry.blockEnd) {
                if (blockOfGroup != UINT64_MAX && entry.event.sample != blockOfGroup) ++runTogether;
                blockOfGroup = UINT64_MAX;
                return;
            }
            if (entry.event.sample <= lastId) ++outOfOrder;
            lastId = entry.event.sample;
            ++handedOver;
            const std::uint64_t eventBlock = entry.event.data[1] | entry.event.data[2] << 7;
            if (blockOfGroup == UINT64_MAX) blockOfGroup = eventBlock;
            if (eventBlock != blockOfGroup) ++runTogether;
        });
        ASSERT_EQ(outOfOrder, 0u) << "round " << round;
        ASSERT_EQ(runTogether, 0u) << "round " << round << ": blocks with no end between them";
        ASSERT_EQ(blockOfGroup, UINT64_MAX) << "round " << round << ": the last block's end lost";
        if (pending <= kCapacity) {
            ASSERT_EQ(taken, pending) << "round " << round << ": lost though the ring had room";
            ASSERT_EQ(ring.dropped(), droppedBefore) << "round " << round;
            ++keptUp;
        } else {
            ASSERT_EQ(taken, kCapacity) << "round " << round << ": overflowed before it was full";
            ASSERT_GT(ring.dropped(), droppedBefore) << "round " << round;
            ++overflows;
        }
    }
    EXPECT_EQ(handedOver + ring.dropped(), pushedEvents);
    EXPECT_GT(pushedEvents, 3 * kCapacity);
    EXPECT_GT(overflows, 0);
    EXPECT_GT(keptUp, 0);
}

TEST(MorvoHost, ReportsFilesThatAreNoPlugins) {
    struct Case {
        std::string path, message;
    };
    const Case cases[] = {
        {"/no/such/Morvo.so", "no such file"},
        {std::string(MORVO_SOURCE_DIR) + "/README.md", "not a library this host can load"},
        {BROKEN_NO_ENTRY, "exports neither VSTPluginMain nor main"},
        {BROKEN_NULL_RECORD, "its entry point gave no effect record"},
        {BROKEN_MAGIC, "its entry point gave a record without the VST magic (0x4E6F7065)"},
    };
    for (const Case& c : cases) {
        const HostRun result = run(c.path);
        EXPECT_EQ(result.status, 1) << c.path;
        EXPECT_EQ(result.output, "morvo-host: " + c.path + ": " + c.message + "\n");
    }
}

TEST(MorvoHost, UsageErrorsAndHelp) {
    const HostRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("usage: morvo-host LIBRARY [options]\n", 0), 0u);
    // In the README's order, each range given.
    const char* const order[] = {
        "  --set NAME=VALUE", "  --beats N          how long to play, 0 to 100000",
        "  --info",           "  --live",
        "  --song",           "  --jack",
        "  --events"};
    std::size_t at = 0;
    for (const char* option : order) {
        EXPECT_GT(help.output.find(option, at), at) << option;
        at = help.output.find(option, at);
    }
    struct Case {
        std::string arguments, message;
    };
    const Case cases[] = {
        {"", "no plug-in library given"},
        {"--bogus " + library, "unknown option '--bogus'"},
        {library + " --tempo", "option --tempo needs a value"},
        {library + " --tempo fast", "invalid value 'fast' for --tempo"},
        {library + " --block 1.5", "--block takes a whole number"},
        {library + " --set 23=0.5", "parameter index 23 is out of range (the plug-in has 23)"},
        {library + " --set ccOut", "--set takes NAME=VALUE, not 'ccOut'"},
        {library + " --set ccOut=2", "invalid value '2' for --set"},
        {library + " --set nothing=0.5", "the plug-in has no parameter named 'nothing'"},
        {library + " --set step=0.5", "'step' names more than one parameter"},
        {library + " --timing sideways", "--timing takes internal or external, not 'sideways'"},
        {library + " --note 12", "--note takes NOTE@BEAT, not '12'"},
        {library + " --program 16", "the plug-in has no program 16"},
    };
    for (const Case& c : cases) {
        const HostRun result = run(c.arguments);
        EXPECT_EQ(result.status, 2) << c.arguments;
        EXPECT_EQ(result.output,
                  "morvo-host: " + c.message + "\nTry 'morvo-host --help' for more information.\n")
            << c.arguments;
    }
}

std::string readAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A song that only names a tempo, a length, notes and starting values is the classic play:
// the same messages at the same samples, whatever the block size (its last block short). And a
// script with a fault names its line and plays nothing.
TEST(MorvoHost, ASongOfOneTempoPlaysAsTheOptionsDoAndItsFaultsAreNamed) {
    const std::string dir = ::testing::TempDir();
    const std::string song = dir + "morvo-song.txt", a = dir + "song.dump", b = dir + "opts.dump";
    for (const char* block : {"512", "100", "4096"}) {
        std::ofstream(song) << "# classic\ntempo 97.5\nlength 9.3\nat 2.5 note 13\n"
                               "at 0 set Sync Value=0.04\nat 0 set 21=1\nat 3.71 note 14\n";
        const HostRun played =
            run(library + " --block " + block + " --song " + song + " --dump " + a);
        ASSERT_EQ(played.status, 0) << played.output;
        const HostRun classic = run(library + " --block " + block +
                                    " --tempo 97.5 --beats 9.3 --note 13@2.5 --note 14@3.71 "
                                    "--set syncValue=0.04 --timing external --dump " +
                                    b);
        ASSERT_EQ(classic.status, 0) << classic.output;
        EXPECT_GT(readAll(a).size(), 16u * 20u);
        EXPECT_EQ(readAll(a), readAll(b)) << block;
    }

    struct Case {
        std::string script, message;
    };
    const Case cases[] = {
        {"tempo 0\n", "line 1: tempo takes one number in range: tempo 0"},
        {"\n# fine\nat 1 dance\n", "line 3: unknown item 'dance': at 1 dance"},
        {"at x note 12\n", "line 1: a beat is a number from 0 to 1e6: at x note 12"},
        {"at 1 note 12.5\n", "line 1: a note is a whole number from 0 to 127: at 1 note 12.5"},
        {"at 1 set CC Out\n", "line 1: set takes NAME=VALUE: at 1 set CC Out"},
        {"at 1 stop now\n", "line 1: stop takes nothing more: at 1 stop now"},
        {"length 4 8\n", "line 1: length takes one number in range: length 4 8"},
        {"at 1 set nothing=0.5\n", "the plug-in has no parameter named 'nothing'"},
    };
    for (const Case& c : cases) {
        std::ofstream(song) << c.script;
        std::remove(a.c_str());
        const HostRun result = run(library + " --song " + song + " --dump " + a);
        EXPECT_EQ(result.status, 1) << c.script;
        const bool parse = c.message.rfind("line", 0) == 0;
        EXPECT_EQ(result.output, "morvo-host: " + (parse ? song + ": " : "") + c.message + "\n");
        EXPECT_FALSE(std::ifstream(a).good()) << "played: " << c.script;
    }
    EXPECT_EQ(run(library + " --song " + song + " --tempo 90").status, 2);
}

// The editor in a window of its own on a virtual display: opened with the window, idling on
// that thread while the audio runs on another, closed before the plug-in.
TEST(MorvoHost, LiveShowsTheEditorInAWindow) {
    if (!HOST_HAS_X11) GTEST_SKIP() << "morvo-host was built without X11";
    if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "no Xvfb";
    int number = 60 + getpid() % 200;
    while (access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0)
        ++number;
    const std::string display = ":" + std::to_string(number);
    const pid_t server = fork();
    if (server == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl("/usr/bin/Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    for (int i = 0; i < 100 && access(socket.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const HostRun opens =
        run(std::string(EDITOR_OPENS) + " --live --beats 2", "DISPLAY=" + display);
    const HostRun refuses =
        run(std::string(EDITOR_REFUSES) + " --live --beats 0.5", "DISPLAY=" + display);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);

    ASSERT_EQ(opens.status, 0) << opens.output;
    unsigned long long window = 0;
    const auto opened = opens.output.find("test editor: opened in window ");
    ASSERT_NE(opened, std::string::npos) << opens.output;
    std::sscanf(opens.output.c_str() + opened, "test editor: opened in window %llx", &window);
    EXPECT_NE(window, 0u);
    // The size the editor gave once open, though it gave none before.
    EXPECT_NE(opens.output.find("test editor: window is 200x120\n"), std::string::npos)
        << opens.output;
    int idles = -1, elsewhere = -1;
    const auto closed = opens.output.find("test editor: closed after ");
    ASSERT_NE(closed, std::string::npos) << opens.output;
    std::sscanf(opens.output.c_str() + closed, "test editor: closed after %d idle calls, %d",
                &idles, &elsewhere);
    // About 40 a second for a second.
    EXPECT_GE(idles, 15) << opens.output;
    EXPECT_LE(idles, 200) << opens.output;
    EXPECT_EQ(elsewhere, 0);
    EXPECT_LT(closed, opens.output.find("test editor: plug-in closed; audio on the editor's "
                                        "thread: no\n"))
        << opens.output;
    EXPECT_EQ(opens.output.find("playing without a window"), std::string::npos);

    EXPECT_EQ(refuses.status, 0) << refuses.output;
    EXPECT_EQ(countOf(refuses.output,
                      "morvo-host: the plug-in did not open its editor (effEditOpen answered 0): "
                      "playing without a window\n"),
              1)
        << refuses.output;
}
