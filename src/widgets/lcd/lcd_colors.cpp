#include "widgets/lcd/lcd_colors.h"

namespace vesmera {

namespace {

int DerivedChannel(int k, int off, int font) {
    // Rounded to nearest; k * d / 255 is never exactly halfway, since 255 is odd and k * d is
    // whole. Floor division keeps the rounding symmetric for negative differences.
    const int twice = 2 * k * (off - font) + 255;
    const int v = twice >= 0 ? twice / 510 : -((-twice + 509) / 510);
    return v & 0xFF;
}

} // namespace

DotColors DeriveDotColors(TColor pixelOff, TColor fontColor, std::int8_t intensity) {
    const TColor off = ColorToRGB(pixelOff);
    const TColor font = ColorToRGB(fontColor);
    const int k = 255 - (intensity < 0 ? -intensity : intensity);
    const TColor derived = RGB(DerivedChannel(k, GetRValue(off), GetRValue(font)),
                               DerivedChannel(k, GetGValue(off), GetGValue(font)),
                               DerivedChannel(k, GetBValue(off), GetBValue(font)));
    if (intensity >= 0)
        return {derived, off};
    return {off, derived};
}

} // namespace vesmera
