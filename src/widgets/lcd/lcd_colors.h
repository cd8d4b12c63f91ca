#pragma once

#include <cstdint>

#include "common/color.h"

namespace vesmera {

struct DotColors {
    TColor On;  // FTrueOnColor, RGB
    TColor Off; // FTrueOffColor, RGB
    bool operator==(const DotColors&) const = default;
};

// Lit and unlit dot colours. Per channel v = k * (off - font) / 255 rounded, k = 255 -
// |intensity|, keeping the low byte of v as two's complement; a negative intensity swaps the
// roles of the derived colour and pixelOff. System colours are resolved first.
DotColors DeriveDotColors(TColor pixelOff, TColor fontColor, std::int8_t intensity);

} // namespace vesmera
