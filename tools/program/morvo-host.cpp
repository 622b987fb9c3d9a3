// morvo-host: a small command-line VST 2 host. It loads a plug-in library as a host does,
// plays it for a number of beats of silence at a tempo, or live in real time with its editor,
// and shows the MIDI it sends: a table for people, a Standard MIDI File for DAWs, an SVG step
// plot for the eye.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "StudioOptions.h"
#include "drivers/JackPlay.h"
#include "drivers/LivePlay.h"
#include "drivers/MidiOut.h"
#include "drivers/OfflinePlay.h"
#include "formats/guest/Facts.h"
#include "reports/PatternSteps.h"
#include "reports/Reports.h"
#include "run/HostSession.h"

namespace {

const char* const kUsage =
    "usage: morvo-host LIBRARY [options]\n"
    "\n"
    "Loads a VST 2 plug-in library, plays it for a number of beats of silence and shows\n"
    "the MIDI it sends: one line per step, then a summary.\n"
    "\n"
    "A steady song:\n"
    "  --set NAME=VALUE   set a parameter, by name (ccOut, \"CC Out\") or index, to a\n"
    "                     value from 0 to 1; may be repeated\n"
    "  --timing MODE      internal (the plug-in counts samples against the tempo) or\n"
    "                     external (it follows the song position)\n"
    "  --beats N          how long to play, 0 to 100000 beats (default 8; live: until\n"
    "                     interrupted)\n"
    "  --note N@BEAT      send a note-on of note N (0 to 127) at BEAT (12 starts, 13 stops,\n"
    "                     14 resets); may be repeated\n"
    "  --tempo BPM        host tempo, 1 to 999 beats per minute (default 120)\n"
    "  --rate HZ          sample rate, 8000 to 384000 (default 44100)\n"
    "  --block N          samples per processing block, 1 to 65536 (default 512)\n"
    "  --program N        select program N (0 to the plug-in's last) before playing\n"
    "  --mid FILE         write what the plug-in sent as a Standard MIDI File\n"
    "  --svg FILE         draw the controller values over time as an SVG step plot\n"
    "  --info             print what the plug-in says about itself instead of playing\n"
    "\n"
    "Other ways to play:\n"
    "  --live             play in real time, showing the plug-in's editor in a window when\n"
    "                     there is a display, and print each step as it comes, until\n"
    "                     Ctrl-C (or for --beats beats when given)\n"
    "  --song FILE        play a scripted song instead: tempo changes, stops, relocations,\n"
    "                     notes and parameter changes at beats (tools/run/Song.h gives the\n"
    "                     script's lines); prints one line per step with its block\n"
    "  --dump FILE        write every message the plug-in sent, one line each: block,\n"
    "                     offset in it, and the bytes in hexadecimal\n";

// The capabilities --info asks the plug-in about.
const char* const kPluginCapabilities[] = {
    "sendVstEvents",      "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
    "receiveVstTimeInfo", "offline",          "midiProgramNames", "bypass"};

struct Options {
    std::string library;
    SessionSettings settings;
    std::int32_t program = -1;
    std::vector<std::pair<std::string, float>> parameters;
    std::string timing;
    std::vector<std::pair<int, double>> notes; // note, beat
    std::string midiFile, svgFile, songFile, dumpFile;
    bool tempoGiven = false;
    bool info = false;
    bool live = false;
    bool beatsGiven = false;
    StudioOptions studio;
};

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "morvo-host: %s\nTry 'morvo-host --help' for more information.\n",
                 message.c_str());
    std::exit(2);
}

double number(const std::string& option, const char* text, double low, double high) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < low || value > high)
        usageError("invalid value '" + std::string(text) + "' for " + option);
    return value;
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) usageError("option " + arg + " needs a value");
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kStudioUsage, stdout);
            std::fputs("  -h, --help         show this help\n", stdout);
            std::exit(0);
        } else if (parseStudioOption(arg, value, options.studio)) {
        } else if (arg == "--tempo" || arg == "--bpm") {
            options.settings.tempo = number(arg, value(), 1.0, 999.0);
            options.tempoGiven = true;
        } else if (arg == "--rate") {
            options.settings.sampleRate = number(arg, value(), 8000.0, 384000.0);
        } else if (arg == "--block") {
            const double block = number(arg, value(), 1.0, 65536.0);
            if (block != std::floor(block)) usageError("--block takes a whole number");
            options.settings.blockSize = static_cast<std::int32_t>(block);
        } else if (arg == "--beats") {
            options.settings.beats = number(arg, value(), 0.0, 100000.0);
            options.beatsGiven = true;
        } else if (arg == "--program") {
            const double program = number(arg, value(), 0.0, 1e6);
            if (program != std::floor(program)) usageError("--program takes a whole number");
            options.program = static_cast<std::int32_t>(program);
        } else if (arg == "--set") {
            const std::string setting = value();
            const auto equals = setting.find('=');
            if (equals == std::string::npos || equals == 0)
                usageError("--set takes NAME=VALUE, not '" + setting + "'");
            options.parameters.emplace_back(
                setting.substr(0, equals),
                static_cast<float>(number("--set", setting.c_str() + equals + 1, 0.0, 1.0)));
        } else if (arg == "--timing") {
            options.timing = value();
            if (options.timing != "internal" && options.timing != "external")
                usageError("--timing takes internal or external, not '" + options.timing + "'");
        } else if (arg == "--note") {
            const std::string note = value();
            const auto at = note.find('@');
            if (at == std::string::npos || at == 0)
                usageError("--note takes NOTE@BEAT, not '" + note + "'");
            const double number127 = number("--note", note.substr(0, at).c_str(), 0.0, 127.0);
            if (number127 != std::floor(number127)) usageError("a note is a whole number");
            options.notes.emplace_back(static_cast<int>(number127),
                                       number("--note", note.c_str() + at + 1, 0.0, 1e6));
        } else if (arg == "--song") {
            options.songFile = value();
        } else if (arg == "--dump") {
            options.dumpFile = value();
        } else if (arg == "--mid") {
            options.midiFile = value();
        } else if (arg == "--svg") {
            options.svgFile = value();
        } else if (arg == "--live") {
            options.live = true;
        } else if (arg == "--info") {
            options.info = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            usageError("unknown option '" + arg + "'");
        } else if (options.library.empty()) {
            options.library = arg;
        } else {
            usageError("more than one library given");
        }
    }
    if (options.library.empty() && !options.studio.listMidi) usageError("no plug-in library given");
    if (!options.studio.midiOut.empty() && !options.live)
        usageError("--midi-out plays with --live");
    if (!options.songFile.empty() &&
        (options.tempoGiven || options.beatsGiven || !options.notes.empty() || options.live ||
         options.studio.jack))
        usageError("--song gives the tempo, the length and the notes itself, and plays offline");
    return options;
}

std::string fourChars(std::int32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

void printInfo(HostSession& session) {
    guest::Guest& plugin = session.guest();
    plugin.open(); // as every host does before asking
    const guest::Facts facts = guest::describe(plugin);
    AEffect* e = session.effect();
    std::printf("name          %s\n", facts.name.c_str());
    std::printf("vendor        %s\n", facts.vendor.c_str());
    std::printf("product       %s\n", facts.product.c_str());
    std::printf("unique id     %s (0x%08X)\n", fourChars(e->uniqueID).c_str(),
                static_cast<unsigned>(e->uniqueID));
    std::string flags;
    const std::pair<std::int32_t, const char*> names[] = {
        {effFlagsHasEditor, "editor"},       {effFlagsCanMono, "mono"},
        {effFlagsCanReplacing, "replacing"}, {effFlagsProgramChunks, "chunks"},
        {effFlagsIsSynth, "synth"},          {effFlagsNoSoundInStop, "no tail"}};
    for (const auto& [bit, name] : names)
        if ((e->flags & bit) != 0) flags += std::string(flags.empty() ? "" : ", ") + name;
    std::printf("flags         0x%X (%s)\n", static_cast<unsigned>(e->flags), flags.c_str());
    std::printf("version       %d (vendor version %d)\n", e->version, facts.vendorVersion);
    std::printf("audio         %d in, %d out\n", facts.inputs, facts.outputs);
    if (facts.hasEditor && facts.editorWidth > 0)
        std::printf("editor        %d x %d pixels\n", facts.editorWidth, facts.editorHeight);
    else if (facts.hasEditor)
        std::printf("editor        its size is given once it is open\n");
    // The value is what a host holds (0 to 1); the text and unit are the plug-in's own.
    std::printf("\n%zu parameters (value 0 to 1, as the plug-in shows it):\n",
                facts.parameters.size());
    for (std::size_t i = 0; i < facts.parameters.size(); ++i) {
        const guest::ParameterFacts& p = facts.parameters[i];
        const std::string shown = "\"" + plugin.parameterText(static_cast<std::int32_t>(i)) + "\"" +
                                  (p.label.empty() ? "" : " unit \"" + p.label + "\"");
        std::printf("  %2zu  %-28s %6.4f  %s%s\n", i, p.name.c_str(), p.value, shown.c_str(),
                    p.automatable ? "" : ", not automatable");
    }
    std::printf("\n%zu programs:\n", facts.programs.size());
    for (std::size_t i = 0; i < facts.programs.size(); ++i)
        std::printf("  %2zu  %s%s\n", i, facts.programs[i].name.c_str(),
                    static_cast<std::int32_t>(i) == facts.program ? " (current)" : "");
    std::printf("\ncan do:\n");
    for (const char* capability : kPluginCapabilities) {
        char text[64];
        std::snprintf(text, sizeof text, "%s", capability);
        const VstIntPtr answer = e->dispatcher(e, effCanDo, 0, 0, text, 0.0f);
        std::printf("  %-22s %s\n", capability,
                    answer > 0 ? "yes" : (answer < 0 ? "no" : "don't know"));
    }
}

// A played song: one line per step (the messages of one sample).
void showSong(const HostSession& session, const Options& options, const Song& song,
              const std::string& title) {
    const auto block = static_cast<std::uint64_t>(options.settings.blockSize);
    const std::vector<ReceivedEvent>& sent = session.received;
    std::printf("%s, song %s (%g beats)\n\n%8s %6s %10s %5s %8s\n", title.c_str(),
                options.songFile.c_str(), song.length, "block", "offset", "controller", "value",
                "messages");
    for (std::size_t i = 0, j = 0; i < sent.size(); i = j) {
        for (j = i; j < sent.size() && sent[j].sample == sent[i].sample; ++j) {
        }
        std::printf("%8llu %6llu %10d %5d %8zu\n",
                    static_cast<unsigned long long>(sent[i].sample / block),
                    static_cast<unsigned long long>(sent[i].sample % block), sent[i].data[1],
                    sent[i].data[2], j - i);
    }
    std::printf("\n%zu messages\n", sent.size());
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    if (options.studio.listMidi) {
        std::fputs(MidiOut::list().c_str(), stdout);
        return 0;
    }
    HostSession session;
    std::string error;
    if (!session.load(options.library, error)) {
        std::fprintf(stderr, "morvo-host: %s: %s\n", options.library.c_str(), error.c_str());
        return 1;
    }
    if (options.info) {
        printInfo(session);
        return 0;
    }
    // The files, made before anything plays: one that cannot be written fails now.
    Reports reports;
    if (!reports.open(
            {options.midiFile, options.svgFile, options.studio.eventsFile, options.dumpFile},
            options.library, error)) {
        std::fprintf(stderr, "morvo-host: %s\n", error.c_str());
        return 1;
    }
    auto finish = [&](double beats) {
        if (reports.finish(beats, error)) return 0;
        std::fprintf(stderr, "morvo-host: %s\n", error.c_str());
        return 1;
    };

    std::vector<std::pair<std::int32_t, float>> parameters;
    auto setParameter = [&](const std::string& name, float value) {
        const std::int32_t index = session.findParameter(name, error);
        if (index < 0) usageError(error);
        parameters.emplace_back(index, value);
    };
    if (!options.timing.empty())
        setParameter("Timing Mode", options.timing == "external" ? 1.0f : 0.0f);
    for (const auto& [name, value] : options.parameters)
        setParameter(name, value);
    if (options.program >= session.effect()->numPrograms)
        usageError("the plug-in has no program " + std::to_string(options.program));

    const std::string title =
        session.text(effGetEffectName) + " by " + session.text(effGetVendorString);
    if (!options.songFile.empty()) {
        Song song;
        if (!readSong(options.songFile, song, error) ||
            !resolveParameters(song, session.parameterNames(), error)) {
            std::fprintf(stderr, "morvo-host: %s\n", error.c_str());
            return 1;
        }
        session.playSong(options.settings, options.program, parameters, song);
        showSong(session, options, song, title);
        reports.start(song.tempo, options.settings.sampleRate, options.settings.blockSize, title);
        reports.fromPlugin(session.received);
        return finish(song.length);
    }

    const double samplesPerBeat = options.settings.sampleRate * 60.0 / options.settings.tempo;
    std::vector<SentNote> notes;
    for (const auto& [note, beat] : options.notes)
        notes.push_back({static_cast<std::uint64_t>(std::llround(beat * samplesPerBeat)), note});
    RuleParameters rules;
    std::string missing;
    rules.syncValue = session.findParameter("Sync Value", missing);
    rules.endStep = session.findParameter("End Step", missing);
    rules.timingMode = session.findParameter("Timing Mode", missing);

    const LiveSettings run{
        options.settings, options.beatsGiven, options.program, parameters, notes, rules, title};
    if (options.studio.jack) {
        const JackPorts ports{options.studio.client, options.studio.connectOut,
                              options.studio.connectIn};
        return playJack(session, run, ports, reports);
    }
    std::unique_ptr<MidiOut> device;
    if (!options.studio.midiOut.empty()) {
        device = MidiOut::open(options.studio.midiOut, error);
        if (!device) {
            std::fprintf(stderr, "morvo-host: %s\n", error.c_str());
            return 1;
        }
        session.sendTo(device.get());
    }
    reports.start(options.settings.tempo, options.settings.sampleRate, options.settings.blockSize,
                  title);
    if (!options.live)
        return playOffline(session, run, reports) ? finish(options.settings.beats) : 130;
    std::uint64_t played = 0;
    playLive(session, run, reports, played);
    return finish(static_cast<double>(played) / samplesPerBeat);
}
