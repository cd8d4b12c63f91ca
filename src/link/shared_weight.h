#pragma once

#include <cstdint>

#include "common/weight_codes.h"

namespace vesmera {

// The last reading of the serial polls, owned by the main window's module. Only the polls and
// the supervision tick write it; the automation objects read it.
struct SharedWeightState {
    long double weight = 0;        // last decoded weight, or a code value
    std::int32_t status = 0;       // kStatusStable, kStatusUnstable, 0 before the first poll
    std::int32_t errorCounter = 0; // consecutive failed polls, 0 to 11
};

} // namespace vesmera
