#include "Numbers.h"

#include <cctype>

namespace framework {

std::optional<std::int32_t> parseInteger(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ')
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    int base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    } else if (at + 1 < text.size() && text[at] == '0' &&
               (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at == text.size()) return std::nullopt;
    std::uint64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        int digit;
        if (std::isdigit(c))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > (base == 16 ? 0xFFFFFFFFull : 0x80000000ull)) return std::nullopt;
    }
    if (base == 16) {
        const auto wrapped = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(wrapped))
                        : wrapped;
    }
    if (!negative && magnitude > 0x7FFFFFFFull) return std::nullopt;
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                    : static_cast<std::int32_t>(magnitude);
}

std::string invalidIntegerMessage(const std::string& text) {
    return "'" + text + "' is not a valid integer value";
}

std::string formatInteger(std::int64_t value) {
    return std::to_string(value);
}

} // namespace framework
