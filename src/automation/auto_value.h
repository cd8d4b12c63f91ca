#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace vesmera {

// The automation variant as the members fill it: VT_EMPTY, VT_I4, VT_R8 or VT_BSTR.
using AutoValue = std::variant<std::monostate, std::int32_t, double, std::string>;

inline bool IsEmpty(const AutoValue& value) {
    return std::holds_alternative<std::monostate>(value);
}

} // namespace vesmera
