// A scripted song: what a host's transport, its notes and its automation do over time, played
// block by block the same way by every host we build (morvo-host on the VST 2 record, our CLAP
// and LV2 test hosts), so that what the plug-in sends through each door can be compared.
//
// The script, one item a line ('#' starts a comment):
//   tempo BPM            the tempo from the start (default 120)
//   length BEATS         how long the song lasts (default 8)
//   at BEAT ITEM         ITEM at BEAT, counted in beats of the host's clock at the tempo of the
//                        moment, whether the transport rolls or not; ITEM is one of
//                          tempo BPM        a new tempo, from the block BEAT falls in
//                          stop, play       the transport stops or rolls, from that block
//                          locate BEAT2     the song position jumps to BEAT2, from that block
//                          note N           a note-on of N (velocity 100, channel 1) at BEAT's
//                                           own sample
//                          set NAME=VALUE   a parameter (by name or index) set before that block
// The transport rolls from the start. Song positions are whole multiples of 2^-31 beat, the
// finest any door carries (CLAP's fixed point), so every door hears the same position.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/guest/Guest.h"

struct SongItem {
    enum Kind { tempo, play, stop, locate, note, set } kind;
    double at = 0.0;    // beats of the host's clock
    double value = 0.0; // tempo, position, note or parameter value
    std::string parameter;
    std::int32_t index = -1; // the parameter, once resolved
};

struct Song {
    double tempo = 120.0;
    double length = 8.0;
    std::vector<SongItem> items; // in the order of their beats, as written for the same beat
};

// Reads a script; on failure false, with the line and what is wrong with it.
bool parseSong(const std::string& text, Song& song, std::string& error);
bool readSong(const std::string& path, Song& song, std::string& error);

// The index of a parameter named `name` among `names`: a whole number is an index; names are
// compared without case, blanks or punctuation ("ccOut" finds "CC Out"), and a unique prefix
// will do. -1 with the reason when none or several match.
std::int32_t findParameter(const std::vector<std::string>& names, const std::string& name,
                           std::string& error);
// Resolves every set item of the song; false with the reason when one names no parameter.
bool resolveParameters(Song& song, const std::vector<std::string>& names, std::string& error);

// Where a host's song is at `sample` when it plays at one tempo in 4/4 from `beat` (quarter
// notes): what every host of ours gives when no song or timebase says otherwise.
guest::Transport inFourFour(double sampleRate, std::int32_t blockSize, double sample, double tempo,
                            double beat, bool playing);

// One block of the song as a host hands it to a plug-in.
struct SongBlock {
    std::uint64_t index = 0;
    std::int32_t frames = 0;
    guest::Transport transport;
    std::vector<std::pair<std::int32_t, float>> parameters; // before the block, in order
    std::vector<std::pair<std::int32_t, int>> notes;        // frame offset and note
};

class SongPlayer {
  public:
    SongPlayer(const Song& song, double sampleRate, std::int32_t blockSize);
    // The next block; false once the song has ended.
    bool next(SongBlock& block);

  private:
    double beatAt(std::uint64_t sample) const; // the host's clock, in beats
    double positionAt(std::uint64_t sample) const;

    const Song& song;
    double rate;
    std::int32_t blockSize;
    std::uint64_t total = 0, start = 0, block = 0;
    std::size_t nextItem = 0;
    double tempo;
    // The clock and the position are counted from the last change of tempo or transport.
    std::uint64_t clockSample = 0, positionSample = 0;
    double clockBeat = 0.0, positionBeat = 0.0;
    bool playing = true;
};

// One line of a message the plug-in sent, as every door's host writes it: the block, the
// offset in it, and the bytes in hexadecimal.
std::string sentMessageLine(std::uint64_t block, std::uint32_t offset, const unsigned char data[3]);
void writeSentMessage(std::FILE* to, std::uint64_t block, std::uint32_t offset,
                      const unsigned char data[3]);
