#pragma once

#include <string_view>

namespace vesmera {

// A request line that begins with these exact letters asks to zero the terminal named by the
// rest; it is never answered.
inline constexpr const char* kZeroRequestPrefix = "SetNull";

inline bool IsZeroRequest(std::string_view line) {
    return line.starts_with(kZeroRequestPrefix);
}

} // namespace vesmera
