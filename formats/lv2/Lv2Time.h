// The host's song as LV2 hosts tell it: a time:Position object when something changes (a start, a
// stop, a relocation, a new tempo), nothing in between. The door keeps the last one it heard and
// moves it on by each block's frames at the host's speed; a stopped transport stands still.
#pragma once

#include <cstdint>

#include <lv2/atom/atom.h>

#include "formats/guest/Guest.h"
#include "formats/lv2/Lv2Atoms.h"

namespace lv2_door {

class HostTime {
  public:
    // A time:Position object: every field that is a finite number within its range replaces
    // what was known; anything else in it is ignored, so a broken message keeps the song.
    void take(const LV2_Atom& position, const Uris& uris);
    // Moves the song on by `frames` at the host's speed.
    void advance(std::uint32_t frames, double sampleRate);
    // The transport the guest answers the plug-in from. Until a host sends a position, what a
    // VST 2 host without a tempo says: stopped, no tempo, no song position; its sample position
    // is then the frames played since activation.
    guest::Transport transport(double sampleRate, std::int32_t blockSize,
                               double framesPlayed) const;
    bool heard() const { return heardPosition; }

  private:
    bool heardPosition = false;
    double speed = 0.0;
    bool hasFrame = false;
    double frame = 0.0;
    bool hasTempo = false;
    double tempo = 0.0;
    bool hasBeat = false;
    double beat = 0.0; // in beat units since the song's start
    bool hasBar = false;
    double barStart = 0.0; // in beat units
    bool hasSignature = false;
    double beatsPerBar = 4.0, beatUnit = 4.0;
};

} // namespace lv2_door
