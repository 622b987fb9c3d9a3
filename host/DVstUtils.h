// Small helpers of the interface: four-character codes, the rounding rules every value sent to
// the host or shown as an integer follows, and bounded text copies.
#pragma once

#include <cstddef>
#include <cstdint>

// Packs four characters, each taken as an unsigned byte, first character in the most
// significant byte: "VstP" gives 0x56737450.
constexpr std::int32_t fourCharCode(char a, char b, char c, char d) {
    return static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
        (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
        (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
        static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

// Rounds to the nearest integer, ties to the even neighbour (63.5 gives 64, 62.5 gives 62).
// Not-a-number gives 0; values beyond the 32-bit range saturate.
std::int32_t roundToInt32(long double value);

// Rounds down (towards minus infinity). Not-a-number gives 0; out-of-range values saturate.
std::int32_t floorToInt32(long double value);
std::int64_t floorToInt64(long double value);

// A 64-bit host's value argument narrowed to the 32-bit number the interface means, saturated
// so that a huge value cannot wrap into a small one.
constexpr std::int32_t narrowToInt32(std::int64_t value) {
    if (value < INT32_MIN) return INT32_MIN;
    if (value > INT32_MAX) return INT32_MAX;
    return static_cast<std::int32_t>(value);
}

// Writes value in fixed-point notation with two digits after the separator ("0.50", "1,00"),
// rounded half to even, no thousands separator.
void formatFixed2(float value, char separator, char* text, std::size_t size);

// Copies a zero-terminated text into a buffer of destSize bytes, cutting it so that the
// terminating zero always fits. A null source copies as an empty text.
void copyText(char* dest, const char* source, std::size_t destSize);
