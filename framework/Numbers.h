// Whole numbers in text, by the classic rules of the visual component libraries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace framework {

// Leading blanks are skipped, a sign may follow, then decimal digits, or hexadecimal digits
// after "$" or "0x". Anything else fails, trailing blanks and an empty text included, and so
// does a decimal number outside the 32-bit range (hexadecimal wraps, as "$FFFFFFFF" is -1).
std::optional<std::int32_t> parseInteger(const std::string& text);

// The message a failed conversion reports: "'abc' is not a valid integer value".
std::string invalidIntegerMessage(const std::string& text);

std::string formatInteger(std::int64_t value);

} // namespace framework
