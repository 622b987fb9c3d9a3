// The host's song as LV2 hosts tell it: a time:Position object when something changes (a start, a
// stop, a relocation, a new tempo), or every block, or once a beat, each host filling the fields
// its own way. The door keeps where the last position put the song and moves it on by the frames
// played since, at the host's speed and tempo; a stopped transport stands still.
#pragma once

#include <cstdint>

#include <lv2/atom/atom.h>

#include "formats/guest/Guest.h"
#include "formats/lv2/Lv2Atoms.h"

namespace lv2_door {

class HostTime {
  public:
    // At the rate (above 0) and the longest block the door was made with.
    HostTime(double sampleRate, std::int32_t blockSize)
        : sampleRate(sampleRate), blockSize(blockSize) {}
    // A time:Position object: every field that is a finite number within its range replaces
    // what was known; anything else in it is ignored, so a broken message keeps the song.
    void take(const LV2_Atom& position, const Uris& uris);
    // Moves the song on by `frames` at the host's speed.
    void advance(std::uint32_t frames);
    // The transport the guest answers the plug-in from. Until a host sends a position, what a
    // VST 2 host without a tempo says: stopped, no tempo, no song position; its sample position
    // is then the frames played since activation.
    guest::Transport transport(double framesPlayed) const;

  private:
    // The song now: the last anchor moved on by the frames played since, worked out from the
    // anchor each time, so that a song on a step's start lands on it exactly.
    double frameNow() const { return frame + moved; }
    double beatNow() const { return hasTempo ? beatAfter(moved) : beat; }
    // The anchor's beat moved on by `frames` at the tempo.
    double beatAfter(double frames) const { return beat + frames * tempo / (60.0 * sampleRate); }
    double barStartAt(double at) const;

    double sampleRate;
    std::int32_t blockSize;
    bool heardPosition = false;
    double speed = 0.0;
    double moved = 0.0; // frames the song moved since the anchor, at the host's speed
    bool hasFrame = false;
    double frame = 0.0; // the anchor: the host's frame...
    bool hasBeat = false;
    double beat = 0.0; // ...and the song's beat there, in beat units since the song's start
    bool hasTempo = false;
    double tempo = 0.0;
    bool hasBar = false;
    double barStart = 0.0; // in beat units, a whole number of bars before the song
    bool hasSignature = false;
    double beatsPerBar = 4.0, beatUnit = 4.0;
};

} // namespace lv2_door
