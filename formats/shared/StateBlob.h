// The plug-in's state as the doors save it for their hosts (CLAP's state extension, the VST 3
// component's state): every program's name and values and the current program, in one blob of
// our own layout, little-endian, versioned and checked:
//   "OSTR", version, program count, parameter count, current program (each 32 bits), then per
//   program its name (kNameBytes, zero-terminated) and its values (32-bit float bits), then an
//   FNV-1a checksum of everything before it.
// One layout for every door, so a song saved through one door opens through another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace state_blob {

// The layout's version; a blob of a later one is refused.
constexpr std::uint32_t kVersion = 1;
// Far beyond any blob this plug-in writes: a host's stream longer than this is not ours.
constexpr std::size_t kLargestBlob = 1 << 16;

struct Program {
    std::string name;
    std::vector<float> values;
};

struct State {
    std::uint32_t current = 0;
    std::vector<Program> programs; // each with the same number of values
};

std::vector<unsigned char> encode(const State& state);

// The state a blob holds for a plug-in of `programs` programs of `parameters` values each; false,
// leaving `state` as it was, for a blob that is short, corrupt, of a later version, of another
// plug-in's shape, or holding a value outside 0..1 or a name without its end.
bool decode(const std::vector<unsigned char>& blob, std::size_t programs, std::size_t parameters,
            State& state);

} // namespace state_blob
