#include "formats/lv2/Lv2Time.h"

#include <algorithm>
#include <cmath>

namespace lv2_door {

namespace {

// Beyond these a value is a broken message, not a song: the beat and frame counts stay far
// inside what a double counts exactly, the tempo and signature inside what music uses.
constexpr double kLargestCount = 1.0e15;
constexpr double kLargestTempo = 100000.0;
constexpr double kLargestSignature = 1024.0;
constexpr double kQuarterUnit = 4.0; // the VST 2 song position counts quarter notes
// A running time:beat and the bar's start plus time:barBeat agree this closely: hosts send
// barBeat as a float.
constexpr double kSameBeat = 1.0e-3;

bool within(double value, double low, double high) {
    return std::isfinite(value) && value >= low && value <= high;
}

bool whole(double value) {
    return value == std::floor(value);
}

} // namespace

double HostTime::barStartAt(double at) const {
    // The bar's start follows whole bars.
    if (!hasSignature) return barStart;
    const double bars = std::floor((at - barStart) / beatsPerBar);
    return std::isfinite(bars) ? barStart + bars * beatsPerBar : barStart;
}

void HostTime::take(const LV2_Atom& position, const Uris& uris) {
    bool gotFrame = false, gotTempo = false, gotBeat = false, gotBar = false, gotBarBeat = false;
    double newFrame = 0.0, newTempo = 0.0, newBeat = 0.0, bar = 0.0, barBeat = 0.0;
    forEachProperty(position, [&](LV2_URID key, const LV2_Atom& value) {
        double number = 0.0;
        if (!numberOf(value, uris, number)) return;
        if (key == uris.frame && within(number, 0.0, kLargestCount)) {
            gotFrame = true;
            newFrame = number;
        } else if (key == uris.speed && within(number, -kLargestSignature, kLargestSignature)) {
            speed = number;
        } else if (key == uris.beatsPerMinute && within(number, 0.0, kLargestTempo) &&
                   number > 0.0) {
            gotTempo = true;
            newTempo = number;
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
    heardPosition = true;
    const double nowBeat = beatNow();
    // A new anchor where the host's frame jumped (a relocation) or the tempo changed; the song
    // is then where the door's count, carried on at the tempo it played at, puts the new frame.
    bool anchor = gotTempo && (!hasTempo || newTempo != tempo);
    double anchorFrame = frameNow(), expected = nowBeat;
    if (gotFrame) {
        if (!hasFrame || newFrame != anchorFrame) {
            const double carried = beatAfter(newFrame - frame);
            if (hasFrame && hasTempo && within(carried, -kLargestCount, kLargestCount))
                expected = carried;
            anchorFrame = newFrame;
            anchor = true;
        }
        hasFrame = true;
    }

    // The song position, read as each host fills the fields (its positions are kept in the
    // door's tests): the running beat in time:beat, as the time vocabulary has it (our own
    // hosts), or time:bar with time:barBeat, the beat within it (Ardour, jalv; Carla adds a
    // time:beat that is the whole beat within the bar, from 0). Qtractor names only the whole
    // beat the song is in: time:beat within the bar counted from 1, time:barBeat the running
    // beat at the bar's start.
    bool exact = false, wholeBeat = false;
    double named = nowBeat;
    if (gotBar && gotBarBeat) {
        const double inBar = bar * beatsPerBar + barBeat;
        const bool running = gotBeat && std::abs(newBeat - inBar) <= kSameBeat;
        // barBeat is a float that may round up to the next whole beat.
        const bool wholeInBar = gotBeat && whole(newBeat) && newBeat >= 0.0 &&
                                newBeat < beatsPerBar && barBeat >= newBeat &&
                                barBeat <= newBeat + 1.0;
        const bool fromOne = gotBeat && !running && whole(newBeat) && newBeat >= 1.0 &&
                             newBeat <= beatsPerBar && whole(barBeat);
        const double inBeat = barBeat + newBeat - 1.0;
        // Where Carla's barBeat rounds up to the next whole beat its fields read like
        // Qtractor's: the reading nearer the door's song wins.
        wholeBeat = fromOne && (!wholeInBar || !hasBeat ||
                                std::abs(inBeat - expected) < std::abs(inBar - expected));
        exact = !wholeBeat;
        named = wholeBeat ? inBeat : inBar;
        hasBar = true;
        barStart = wholeBeat ? barBeat : bar * beatsPerBar;
    } else if (gotBeat) {
        exact = true;
        named = newBeat;
        if (gotBarBeat) {
            hasBar = true;
            barStart = newBeat - barBeat;
        }
    } else if (gotBar) {
        exact = hasBar = true;
        named = barStart = bar * beatsPerBar;
    } else if (gotBarBeat && hasBar) {
        exact = true;
        barStart = barStartAt(nowBeat);
        named = barStart + barBeat;
    }

    double song = expected;
    if (exact) {
        song = named;
    } else if (wholeBeat) {
        // The host sends its beat in the first block after it begins (Qtractor): while the
        // door's song lies in that beat it stands, neither pulled back nor made to stutter.
        if (!hasBeat || expected < named || expected >= named + 1.0) song = named;
    }
    if (exact || wholeBeat) hasBeat = true;
    if (anchor || song != nowBeat) {
        beat = song;
        frame = anchorFrame;
        moved = 0.0;
    }
    if (gotTempo) {
        hasTempo = true;
        tempo = newTempo;
    }
}

void HostTime::advance(std::uint32_t frames) {
    if (!heardPosition || speed == 0.0) return;
    const double next = moved + frames * speed;
    // Beyond the counts' range a broken message is playing: the song stays where it is.
    if (!within(frame + next, -kLargestCount, kLargestCount)) return;
    if (hasTempo && !within(beatAfter(next), -kLargestCount, kLargestCount)) return;
    moved = next;
}

guest::Transport HostTime::transport(double framesPlayed) const {
    guest::Transport now;
    now.sampleRate = sampleRate;
    now.blockSize = blockSize;
    now.samplePosition = hasFrame ? std::max(0.0, frameNow()) : framesPlayed;
    if (!heardPosition) return now;
    now.playing = speed > 0.0;
    now.hasTempo = hasTempo;
    now.tempo = tempo;
    const double quarters = kQuarterUnit / beatUnit;
    const double song = beatNow();
    now.hasSongPosition = hasBeat;
    now.songPosition = song * quarters;
    now.hasBars = hasBar;
    now.barStart = (hasBar ? barStartAt(song) : barStart) * quarters;
    if (hasSignature && beatsPerBar == std::floor(beatsPerBar) &&
        beatUnit == std::floor(beatUnit)) {
        now.hasTimeSignature = true;
        now.numerator = static_cast<std::int32_t>(beatsPerBar);
        now.denominator = static_cast<std::int32_t>(beatUnit);
    }
    return now;
}

} // namespace lv2_door
