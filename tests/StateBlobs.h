// The doors' state blob as their tests take it apart: where things lie in it, its checksum made
// to hold again after a change by hand, and the broken blobs a door must refuse, changing
// nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace state_blobs {

// "OSTR" and four words (version, programs, parameters, current program), then each program's
// 32-byte name and values, then the checksum.
constexpr std::size_t kHeader = 20, kCurrentAt = 16, kParameters = 23, kPrograms = 16;
constexpr std::size_t kProgram = 32 + 4 * kParameters;
constexpr std::size_t valueAt(std::size_t program, std::size_t parameter) {
    return kHeader + program * kProgram + 32 + 4 * parameter;
}

// A blob changed by hand, with its FNV-1a checksum made to hold again.
inline void reseal(std::vector<std::uint8_t>& blob) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i + 4 < blob.size(); ++i)
        hash = (hash ^ blob[i]) * 16777619u;
    std::memcpy(blob.data() + blob.size() - 4, &hash, 4);
}

// What a host may hand back instead of a blob the door saved: short, cut, empty, corrupt, of a
// later version, with a current program past the last or a value above 1, and long.
inline std::vector<std::vector<std::uint8_t>> brokenFrom(const std::vector<std::uint8_t>& saved) {
    std::vector<std::vector<std::uint8_t>> broken;
    broken.emplace_back(saved.begin(), saved.end() - 1);
    broken.emplace_back(saved.begin(), saved.begin() + 10);
    broken.emplace_back();
    broken.push_back(saved);
    broken.back()[100] ^= 0x40;
    broken.push_back(saved);
    broken.back()[4] += 1; // with a checksum that holds
    reseal(broken.back());
    broken.push_back(saved);
    broken.back()[kCurrentAt] = kPrograms;
    reseal(broken.back());
    broken.push_back(saved);
    const float tooHigh = 1.5f; // in the second program
    std::memcpy(broken.back().data() + valueAt(1, 5), &tooHigh, 4);
    reseal(broken.back());
    broken.push_back(saved);
    broken.back().push_back(0);
    return broken;
}

} // namespace state_blobs
