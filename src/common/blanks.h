#pragma once

#include <string_view>

namespace vesmera {

// The blanks that may surround names, values and numbers in the settings texts: space and
// tab. Line ends and other controls are no blanks.
constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The text without its leading and trailing blanks.
constexpr std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace vesmera
