#include "DVstUtils.h"

#include <cmath>
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
    if (!std::isfinite(value)) return saturate<std::int32_t>(value);
    long double whole = std::floor(value);
    const long double fraction = value - whole; // exact: both share the binade's last bit
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(whole, 2.0L) != 0.0L)) whole += 1.0L;
    return saturate<std::int32_t>(whole);
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
