#pragma once

#include "common/color.h"
#include "widgets/indicator/indicator_types.h"

namespace vesmera {

// The five colours a colour scheme sets.
struct TSchemeColors {
    TColor backColor;
    TColor bevelColor;
    TColor numberBackColor;
    TColor numberForeColor;
    TColor numberForeColor1;
    friend bool operator==(const TSchemeColors&, const TSchemeColors&) = default;
};

TSchemeColors SchemeColors(TZyrelColorScheme scheme);

// The bevel shades: 32 more or less of each of red, green and blue, within 0..255, after a
// system colour has been resolved to its RGB value.
TColor LightenColor(TColor color);
TColor DarkenColor(TColor color);

} // namespace vesmera
