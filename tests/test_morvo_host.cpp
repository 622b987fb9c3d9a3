// morvo-host run as a user runs it, against the built plug-in library: the table it prints, the
// MIDI file it writes (read back here), and its errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct HostRun {
    int status;
    std::string output;
};

HostRun run(const std::string& arguments) {
    const std::string command = std::string(MORVO_HOST) + " " + arguments + " 2>&1";
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
    int step, controller, value;
};

// The table's step lines.
std::vector<Row> rows(const std::string& output) {
    std::vector<Row> found;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        Row row{};
        char channels[16] = "";
        if (std::sscanf(line.c_str(), "%lf %lf %d %d %d %15[^\n]", &row.beat, &row.seconds,
                        &row.step, &row.controller, &row.value, channels) == 6 &&
            std::string(channels) == "ch 1-16")
            found.push_back(row);
    }
    return found;
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

// A reader of our own for format-0 files: header, tempo meta event, channel messages.
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
    std::uint64_t tick = 0;
    while (at < end) {
        std::uint32_t delta = 0;
        unsigned char b;
        do {
            b = bytes.at(at++);
            delta = delta << 7 | (b & 0x7F);
        } while (b & 0x80);
        tick += delta;
        const unsigned char status = bytes.at(at++);
        if (status == 0xFF) {
            const unsigned char type = bytes.at(at++);
            const unsigned char length = bytes.at(at++);
            if (type == 0x51) file.microsPerBeat = big(at, 3);
            at += length;
            if (type == 0x2F) break;
        } else {
            file.events.push_back({tick, status, bytes.at(at), bytes.at(at + 1)});
            at += 2;
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
        EXPECT_EQ(table[i].step, static_cast<int>(i + 1));
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
    // Step k comes with the first block whose position, times the stored 1 step per beat
    // (0.99999998), reaches k; the first step (index 0) is the one already sent: silence.
    std::vector<std::pair<std::uint64_t, int>> expected;
    const long double stepsPerBeat = static_cast<long double>(0.01f) * 100.0L;
    int last = 0;
    for (std::uint64_t block = 0; block < 8 * 22050; block += 512) {
        const auto step =
            static_cast<int>(std::floor(static_cast<long double>(block / 22050.0) * stepsPerBeat));
        if (step != last) expected.emplace_back(block, stepValue(step % 16));
        last = step;
    }
    ASSERT_EQ(expected.size(), 7u);
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

TEST(MorvoHost, InfoDescribesThePlugin) {
    const HostRun result = run(library + " --info");
    ASSERT_EQ(result.status, 0) << result.output;
    for (const char* expected :
         {"name          Ostrel\n", "vendor        Halvark\n", "product       Ostrel\n",
          "unique id     KV01 (0x4B563031)\n", "23 parameters:", "CC Out", "End Step",
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
    EXPECT_EQ(help.output.rfind("usage: morvo-host [options] LIBRARY\n", 0), 0u);
    struct Case {
        std::string arguments, message;
    };
    const Case cases[] = {
        {"", "no plug-in library given"},
        {"--bogus " + library, "unknown option '--bogus'"},
        {library + " --tempo", "option --tempo needs a value"},
        {library + " --tempo fast", "invalid value 'fast' for --tempo"},
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
        EXPECT_EQ(result.output.rfind("morvo-host: " + c.message + "\n", 0), 0u)
            << c.arguments << "\n"
            << result.output;
    }
}
