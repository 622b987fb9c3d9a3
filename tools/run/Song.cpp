#include "run/Song.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

constexpr double kPositionSteps = 2147483648.0; // 2^31 to the beat

bool numberFrom(const std::string& text, double low, double high, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end != text.c_str() && *end == '\0' && std::isfinite(value) &&
           value >= low && value <= high;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string normalised(const std::string& name) {
    std::string result;
    for (unsigned char c : name)
        if (std::isalnum(c)) result += static_cast<char>(std::tolower(c));
    return result;
}

// One item after "at BEAT"; an empty answer when it is fine.
std::string parseItem(std::istringstream& words, const std::string& rest, SongItem& item) {
    std::string kind, argument;
    words >> kind;
    const bool hasArgument = static_cast<bool>(words >> argument);
    std::string extra;
    const bool more = static_cast<bool>(words >> extra);
    if (kind == "stop" || kind == "play") {
        if (hasArgument) return kind + " takes nothing more";
        item.kind = kind == "stop" ? SongItem::stop : SongItem::play;
        return {};
    }
    if (kind == "set") {
        // The rest of the line: the name may hold blanks ("CC Out=0.3").
        const std::string setting = trimmed(rest.substr(rest.find("set") + 3));
        const auto equals = setting.find('=');
        if (equals == std::string::npos || equals == 0) return "set takes NAME=VALUE";
        item.kind = SongItem::set;
        item.parameter = trimmed(setting.substr(0, equals));
        if (!numberFrom(trimmed(setting.substr(equals + 1)), 0.0, 1.0, item.value))
            return "a parameter's value is from 0 to 1";
        return {};
    }
    if (kind != "tempo" && kind != "locate" && kind != "note") return "unknown item '" + kind + "'";
    if (!hasArgument || more) return kind + " takes one number";
    if (kind == "tempo") {
        item.kind = SongItem::tempo;
        return numberFrom(argument, 1.0, 999.0, item.value) ? "" : "a tempo is from 1 to 999";
    }
    if (kind == "locate") {
        item.kind = SongItem::locate;
        return numberFrom(argument, 0.0, 1e6, item.value) ? "" : "a position is from 0 to 1e6";
    }
    item.kind = SongItem::note;
    return numberFrom(argument, 0.0, 127.0, item.value) && item.value == std::floor(item.value)
               ? ""
               : "a note is a whole number from 0 to 127";
}

} // namespace

bool parseSong(const std::string& text, Song& song, std::string& error) {
    song = Song{};
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        std::istringstream words(line);
        std::string first, argument, extra;
        words >> first;
        std::string problem;
        if (first == "at") {
            SongItem item{};
            words >> argument;
            if (!numberFrom(argument, 0.0, 1e6, item.at))
                problem = "a beat is a number from 0 to 1e6";
            else
                problem =
                    parseItem(words, line.substr(line.find(argument) + argument.size()), item);
            if (problem.empty()) song.items.push_back(item);
        } else if (first == "tempo" || first == "length") {
            double value = 0.0;
            if (!(words >> argument) || (words >> extra) ||
                !numberFrom(argument, first == "tempo" ? 1.0 : 0.0, first == "tempo" ? 999.0 : 1e6,
                            value))
                problem = first + " takes one number in range";
            else
                (first == "tempo" ? song.tempo : song.length) = value;
        } else {
            problem = "unknown line";
        }
        if (!problem.empty()) {
            error = "line " + std::to_string(number) + ": " + problem + ": " + line;
            return false;
        }
    }
    std::stable_sort(song.items.begin(), song.items.end(),
                     [](const SongItem& a, const SongItem& b) { return a.at < b.at; });
    return true;
}

bool readSong(const std::string& path, Song& song, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (!parseSong(text.str(), song, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::int32_t findParameter(const std::vector<std::string>& names, const std::string& name,
                           std::string& error) {
    const auto count = static_cast<std::int32_t>(names.size());
    if (!name.empty() && std::all_of(name.begin(), name.end(),
                                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        const long index = std::strtol(name.c_str(), nullptr, 10);
        if (index < count) return static_cast<std::int32_t>(index);
        error = "parameter index " + name + " is out of range (the plug-in has " +
                std::to_string(count) + ")";
        return -1;
    }
    const std::string wanted = normalised(name);
    std::vector<std::int32_t> prefixed;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string candidate = normalised(names[static_cast<std::size_t>(i)]);
        if (candidate == wanted) return i;
        if (!wanted.empty() && candidate.compare(0, wanted.size(), wanted) == 0)
            prefixed.push_back(i);
    }
    if (prefixed.size() == 1) return prefixed[0];
    error = prefixed.empty() ? "the plug-in has no parameter named '" + name + "'"
                             : "'" + name + "' names more than one parameter";
    return -1;
}

bool resolveParameters(Song& song, const std::vector<std::string>& names, std::string& error) {
    for (SongItem& item : song.items)
        if (item.kind == SongItem::set &&
            (item.index = findParameter(names, item.parameter, error)) < 0)
            return false;
    return true;
}

SongPlayer::SongPlayer(const Song& played, double sampleRate, std::int32_t frames)
    : song(played), rate(sampleRate), blockSize(frames), tempo(played.tempo) {}

double SongPlayer::beatAt(std::uint64_t sample) const {
    return clockBeat + static_cast<double>(sample - clockSample) * tempo / (60.0 * rate);
}

double SongPlayer::positionAt(std::uint64_t sample) const {
    const double position =
        positionBeat +
        (playing ? static_cast<double>(sample - positionSample) * tempo / (60.0 * rate) : 0.0);
    return std::round(position * kPositionSteps) / kPositionSteps;
}

guest::Transport inFourFour(double sampleRate, std::int32_t blockSize, double sample, double tempo,
                            double beat, bool playing) {
    guest::Transport t;
    t.sampleRate = sampleRate;
    t.blockSize = blockSize;
    t.samplePosition = sample;
    t.playing = playing;
    t.hasTempo = true;
    t.tempo = tempo;
    t.hasSongPosition = true;
    t.songPosition = beat;
    t.hasBars = true;
    t.barStart = std::floor(beat / 4.0) * 4.0;
    t.hasTimeSignature = true;
    return t;
}

bool SongPlayer::next(SongBlock& out) {
    // The sample of a beat of the clock, at the tempo now.
    auto sampleOf = [&](double beat) {
        const long long offset = std::llround((beat - clockBeat) * 60.0 * rate / tempo);
        return offset <= 0 ? clockSample : clockSample + static_cast<std::uint64_t>(offset);
    };
    if (start >= sampleOf(song.length)) return false;
    out.index = block;
    out.parameters.clear();
    out.notes.clear();
    std::uint64_t end = start + static_cast<std::uint64_t>(blockSize);
    for (; nextItem < song.items.size(); ++nextItem) {
        const SongItem& item = song.items[nextItem];
        const std::uint64_t at = sampleOf(item.at);
        if (at >= end) break;
        if (item.kind == SongItem::note) {
            out.notes.emplace_back(static_cast<std::int32_t>(at > start ? at - start : 0),
                                   static_cast<int>(item.value));
            continue;
        }
        if (item.kind == SongItem::set) {
            out.parameters.emplace_back(item.index, static_cast<float>(item.value));
            continue;
        }
        // A change of the transport holds from the block's start: count afresh from there.
        const double beat = beatAt(start), position = positionAt(start);
        clockSample = positionSample = start;
        clockBeat = beat;
        positionBeat = position;
        if (item.kind == SongItem::tempo) tempo = item.value;
        if (item.kind == SongItem::stop || item.kind == SongItem::play)
            playing = item.kind == SongItem::play;
        if (item.kind == SongItem::locate) positionBeat = item.value;
    }
    end = std::min(end, sampleOf(song.length));
    out.frames = static_cast<std::int32_t>(end - start);

    out.transport =
        inFourFour(rate, blockSize, static_cast<double>(start), tempo, positionAt(start), playing);
    start = end;
    ++block;
    return true;
}

std::string sentMessageLine(std::uint64_t block, std::uint32_t offset,
                            const unsigned char data[3]) {
    char line[64];
    std::snprintf(line, sizeof line, "%llu %u %02X %02X %02X\n",
                  static_cast<unsigned long long>(block), offset, data[0], data[1], data[2]);
    return line;
}

void writeSentMessage(std::FILE* to, std::uint64_t block, std::uint32_t offset,
                      const unsigned char data[3]) {
    std::fputs(sentMessageLine(block, offset, data).c_str(), to);
}
