#include "DVstUtils.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

template <typename Int> Int saturate(long double whole) {
    if (std::isnan(whole)) return 0;
    constexpr long double lowest = static_cast<long double>(std::numeric_limits<Int>::min());
    constexpr long double highest = static_cast<long double>(std::numeric_limits<Int>::max());
    if (whole <= lowest) return std::numeric_limits<Int>::min();
    if (whole >= highest) return std::numeric_limits<Int>::max();
    return static_cast<Int>(whole);
}

} // namespace

std::int32_t roundToInt32(long double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<long double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<long double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    auto whole = static_cast<std::int64_t>(std::floor(value));
    const long double fraction = value - static_cast<long double>(whole); // exact
    if (fraction > 0.5L || (fraction == 0.5L && (whole & 1) != 0)) ++whole;
    return static_cast<std::int32_t>(whole);
}

std::int32_t floorToInt32(long double value) {
    return saturate<std::int32_t>(std::floor(value));
}

std::int64_t floorToInt64(long double value) {
    return saturate<std::int64_t>(std::floor(value));
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
