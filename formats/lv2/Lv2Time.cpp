#include "formats/lv2/Lv2Time.h"

#include <cmath>

namespace lv2_door {

namespace {

// Beyond these a value is a broken message, not a song: the beat and frame counts stay far
// inside what a double counts exactly, the tempo and signature inside what music uses.
constexpr double kLargestCount = 1.0e15;
constexpr double kLargestTempo = 100000.0;
constexpr double kLargestSignature = 1024.0;
constexpr double kQuarterUnit = 4.0; // the VST 2 song position counts quarter notes

bool within(double value, double low, double high) {
    return std::isfinite(value) && value >= low && value <= high;
}

} // namespace

void HostTime::take(const LV2_Atom& position, const Uris& uris) {
    bool gotBeat = false, gotBar = false, gotBarBeat = false;
    double newBeat = 0.0, bar = 0.0, barBeat = 0.0;
    forEachProperty(position, [&](LV2_URID key, const LV2_Atom& value) {
        double number = 0.0;
        if (!numberOf(value, uris, number)) return;
        if (key == uris.frame && within(number, 0.0, kLargestCount)) {
            hasFrame = true;
            frame = number;
        } else if (key == uris.speed && within(number, -kLargestSignature, kLargestSignature)) {
            speed = number;
        } else if (key == uris.beatsPerMinute && within(number, 0.0, kLargestTempo) &&
                   number > 0.0) {
            hasTempo = true;
            tempo = number;
        } else if (key == uris.beatsPerBar && within(number, 0.0, kLargestSignature) &&
                   number > 0.0) {
            hasSignature = true;
            beatsPerBar = number;
        } else if (key == uris.beatUnit && within(number, 1.0, kLargestSignature)) {
            beatUnit = number;
        } else if (key == uris.beat && within(number, -kLargestCount, kLargestCount)) {
            gotBeat = true;
            newBeat = number;
        } else if (key == uris.bar && within(number, -kLargestCount, kLargestCount)) {
            gotBar = true;
            bar = number;
        } else if (key == uris.barBeat && within(number, 0.0, kLargestCount)) {
            gotBarBeat = true;
            barBeat = number;
        }
    });
    // The song position: the running beat when the host gives it (with the bar's start from
    // the beat within the bar), otherwise the bar and the beat within it.
    if (gotBeat) {
        hasBeat = true;
        beat = newBeat;
        if (gotBarBeat) {
            hasBar = true;
            barStart = newBeat - barBeat;
        }
    } else if (gotBar) {
        hasBeat = hasBar = true;
        barStart = bar * beatsPerBar;
        beat = barStart + (gotBarBeat ? barBeat : 0.0);
    } else if (gotBarBeat && hasBar) {
        beat = barStart + barBeat;
    }
    heardPosition = true;
}

void HostTime::advance(std::uint32_t frames, double sampleRate) {
    if (!heardPosition || speed == 0.0 || !(sampleRate > 0.0)) return;
    const double moved = frames * speed;
    if (hasFrame && within(frame + moved, 0.0, kLargestCount)) frame += moved;
    if (!hasTempo || !hasBeat) return;
    const double beats = moved * tempo / (60.0 * sampleRate);
    if (!within(beat + beats, -kLargestCount, kLargestCount)) return;
    beat += beats;
    // The bar's start follows whole bars.
    if (hasBar && hasSignature) {
        const double bars = std::floor((beat - barStart) / beatsPerBar);
        if (std::isfinite(bars)) barStart += bars * beatsPerBar;
    }
}

guest::Transport HostTime::transport(double sampleRate, std::int32_t blockSize,
                                     double framesPlayed) const {
    guest::Transport now;
    now.sampleRate = sampleRate;
    now.blockSize = blockSize;
    now.samplePosition = hasFrame ? frame : framesPlayed;
    if (!heardPosition) return now;
    now.playing = speed > 0.0;
    now.hasTempo = hasTempo;
    now.tempo = tempo;
    const double quarters = kQuarterUnit / beatUnit;
    now.hasSongPosition = hasBeat;
    now.songPosition = beat * quarters;
    now.hasBars = hasBar;
    now.barStart = barStart * quarters;
    if (hasSignature && beatsPerBar == std::floor(beatsPerBar) &&
        beatUnit == std::floor(beatUnit)) {
        now.hasTimeSignature = true;
        now.numerator = static_cast<std::int32_t>(beatsPerBar);
        now.denominator = static_cast<std::int32_t>(beatUnit);
    }
    return now;
}

} // namespace lv2_door
