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

// The x87 control word the plug-in computes with, from any other: the six exception masks
// set, rounding to nearest, 64-bit precision; the remaining bits as they were.
constexpr unsigned short extendedPrecisionWord(unsigned short word) {
    return static_cast<unsigned short>((word & ~0x0C00u) | 0x0300u | 0x003Fu);
}

#if defined(__i386__) || defined(__x86_64__)
// The calling thread's x87 control word. The "memory" clobbers keep the compiler from moving
// loads and stores of the values computed with it across a change.
inline unsigned short x87ControlWord() {
    unsigned short word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}
inline void setX87ControlWord(unsigned short word) {
    __asm__ volatile("fldcw %0" : : "m"(word) : "memory");
}
#endif

// Extended precision for the length of a block. The library sets it on the thread that loads
// it, but a host's audio thread may run with its own word (Windows starts threads at 53-bit
// precision, and some hosts unmask exceptions); the host gets its word back afterwards. The
// host's callbacks during the block run with the plug-in's word.
class ExtendedPrecisionScope {
  public:
    ExtendedPrecisionScope() {
#if defined(__i386__) || defined(__x86_64__)
        hosts = x87ControlWord();
        const unsigned short ours = extendedPrecisionWord(hosts);
        changed = ours != hosts;
        if (changed) setX87ControlWord(ours);
#endif
    }
    ~ExtendedPrecisionScope() {
#if defined(__i386__) || defined(__x86_64__)
        if (changed) setX87ControlWord(hosts);
#endif
    }
    ExtendedPrecisionScope(const ExtendedPrecisionScope&) = delete;
    ExtendedPrecisionScope& operator=(const ExtendedPrecisionScope&) = delete;

  private:
    unsigned short hosts = 0;
    bool changed = false;
};

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
