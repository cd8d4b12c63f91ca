#include "widgets/indicator/color_scheme.h"

#include <algorithm>
#include <array>

namespace vesmera {

namespace {

constexpr std::array<TSchemeColors, 7> kSchemes{{
    {0xDDDDDD, 0xDDDDDD, 0xD3D3D3, 0x363636, 0x0000FF}, // csSilver
    {0x000000, 0xDDDDDD, 0x363636, 0xDDDDDD, 0x0000FF}, // csInvSilver
    {0xFFFFFF, 0xDDDDDD, 0xFFFFFF, 0x000000, 0x0000FF}, // csWhite
    {0x000000, 0x808080, 0x000000, 0xFFFFFF, 0x0080FF}, // csBlack
    {0x000080, 0x000080, 0x400080, 0x48BFFF, 0x80FFFF}, // csPlasma
    {0x48BFFF, 0x48BFFF, 0x57A3F7, 0x000080, 0x2747FC}, // csInvPlasma
    {0xA00000, 0xA00000, 0x804000, 0xDAF376, 0x00FFFF}, // csKelvo
}};

TColor Shift(TColor color, int delta) {
    const TColor c = ColorToRGB(color);
    const auto ch = [delta](int v) { return std::clamp(v + delta, 0, 255); };
    return RGB(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c)));
}

} // namespace

TSchemeColors SchemeColors(TZyrelColorScheme scheme) {
    const auto i = static_cast<std::size_t>(scheme);
    return i < kSchemes.size() ? kSchemes[i] : kSchemes[0];
}

TColor LightenColor(TColor color) {
    return Shift(color, 32);
}
TColor DarkenColor(TColor color) {
    return Shift(color, -32);
}

} // namespace vesmera
