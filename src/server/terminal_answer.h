#pragma once

#include <cstdint>
#include <string>

namespace vesmera {

// The two reply lines of a poll: the weight (or a code value) as text, and the status.
struct TerminalAnswer {
    std::string weight;
    std::int32_t status = 0;

    bool operator==(const TerminalAnswer&) const = default;
};

} // namespace vesmera
