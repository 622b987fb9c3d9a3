#include "formats/shared/ValueText.h"

#include <charconv>
#include <cmath>

namespace value_text {

std::optional<double> parse(const std::string& text) {
    std::string number = text;
    for (char& c : number)
        if (c == ',') c = '.';
    // from_chars: the host's locale does not move the separator.
    const char* last = number.data() + number.size();
    double parsed = 0.0;
    const auto [end, error] = std::from_chars(number.data(), last, parsed);
    const char* rest = end;
    while (rest != last && (*rest == ' ' || *rest == '%'))
        ++rest;
    if (error != std::errc{} || rest != last) return std::nullopt;
    if (!std::isfinite(parsed) || parsed < 0.0 || parsed > 1.0) return std::nullopt;
    return parsed;
}

} // namespace value_text
