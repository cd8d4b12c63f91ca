#pragma once

#include <cstdint>

namespace vesmera {

// The stability codes that the serial polls keep and the weight server sends in its status
// line: one meaning on both roads.
inline constexpr std::int32_t kStatusStable = -5002;
inline constexpr std::int32_t kStatusUnstable = -5003;

} // namespace vesmera
