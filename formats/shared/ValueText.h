// What a door reads back from the text a host shows for a parameter's value.
#pragma once

#include <optional>
#include <string>

namespace value_text {

// The value a text shows: the plug-in shows values as decimals from 0 to 1 with the user's
// decimal separator, so either separator is read, whatever the host's locale; a percent sign or
// blanks after the number are allowed. None for anything else.
std::optional<double> parse(const std::string& text);

} // namespace value_text
