#include "DVstUtils.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

static_assert(std::numeric_limits<long double>::digits == 64,
              "the conversions below rely on the x87 80-bit format");

// value stored as an integer in the FPU's current rounding mode, for |value| < 2^63. A plain
// conversion truncates, which on x87 means loading a new control word and restoring it; that
// costs more than all the rest of a step's arithmetic, so we store in the current mode and
// correct afterwards.
std::int64_t storeInCurrentMode(long double value) {
    std::int64_t whole;
    __asm__("fistpll %0" : "=m"(whole) : "t"(value) : "st");
    return whole;
}

// floor(value) for |value| < 2^63, whatever the rounding mode: the stored integer is the floor
// or the ceiling, and the comparison is exact.
std::int64_t floorInRange(long double value) {
    std::int64_t whole = storeInCurrentMode(value);
    if (static_cast<long double>(whole) > value) --whole;
    return whole;
}

template <typename Int> Int floorSaturated(long double value) {
    if (std::isnan(value)) return 0;
    constexpr long double lowest = static_cast<long double>(std::numeric_limits<Int>::min());
    constexpr long double highest = static_cast<long double>(std::numeric_limits<Int>::max());
    if (value < lowest + 1.0L) return std::numeric_limits<Int>::min();
    if (value >= highest) return std::numeric_limits<Int>::max();
    return static_cast<Int>(floorInRange(value));
}

} // namespace

std::int32_t roundToInt32(long double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<long double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<long double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    std::int64_t whole = floorInRange(value);
    const long double fraction = value - static_cast<long double>(whole); // exact
    if (fraction > 0.5L || (fraction == 0.5L && (whole & 1) != 0)) ++whole;
    return static_cast<std::int32_t>(whole);
}

std::int32_t floorToInt32(long double value) {
    return floorSaturated<std::int32_t>(value);
}

std::int64_t floorToInt64(long double value) {
    return floorSaturated<std::int64_t>(value);
}

void copyText(char* dest, const char* source, std::size_t destSize) {
    if (dest == nullptr || destSize == 0) return;
    std::size_t length = 0;
    if (source != nullptr) {
        while (length + 1 < destSize && source[length] != '\0')
            ++length;
        std::memcpy(dest, source, length);
    }
    dest[length] = '\0';
}

void formatFixed2(float value, char separator, char* text, std::size_t size) {
    if (text == nullptr || size == 0) return;
    const std::int32_t hundredths = roundToInt32(static_cast<long double>(value) * 100.0L);
    const std::uint32_t magnitude = hundredths < 0 ? 0u - static_cast<std::uint32_t>(hundredths)
                                                   : static_cast<std::uint32_t>(hundredths);
    std::snprintf(text, size, "%s%u%c%02u", hundredths < 0 ? "-" : "",
                  static_cast<unsigned>(magnitude / 100), separator,
                  static_cast<unsigned>(magnitude % 100));
}
