#include "common/color.h"

#include <array>
#include <string>

#include "common/letter_case.h"
#include "common/number_text.h"

namespace vesmera {

namespace {

struct NamedColor {
    std::string_view name;
    TColor color;
};

constexpr std::array<NamedColor, 42> kNames{{
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clScrollBar", clScrollBar},
    {"clBackground", clBackground},
    {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clSystemColor | 3},
    {"clMenu", clSystemColor | 4},
    {"clWindow", clWindow},
    {"clWindowFrame", clSystemColor | 6},
    {"clMenuText", clSystemColor | 7},
    {"clWindowText", clWindowText},
    {"clCaptionText", clSystemColor | 9},
    {"clActiveBorder", clSystemColor | 10},
    {"clInactiveBorder", clSystemColor | 11},
    {"clAppWorkSpace", clSystemColor | 12},
    {"clHighlight", clSystemColor | 13},
    {"clHighlightText", clSystemColor | 14},
    {"clBtnFace", clBtnFace},
    {"clBtnShadow", clBtnShadow},
    {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},
    {"clInactiveCaptionText", clSystemColor | 19},
    {"clBtnHighlight", clBtnHighlight},
    {"clInfoBk", clSystemColor | 24},
}};

// The classic Windows defaults of the system colour table, by index.
constexpr std::array<TColor, 31> kSystemColors{{
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219),
    RGB(240, 240, 240), RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(180, 180, 180), RGB(244, 247, 252),
    RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255), RGB(240, 240, 240),
    RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234),
    RGB(215, 228, 242), RGB(0, 120, 215),   RGB(240, 240, 240),
}};

} // namespace

TColor ColorToRGB(TColor color) {
    if (color < 0) {
        const auto index = static_cast<std::size_t>(color & 0xFF);
        return index < kSystemColors.size() ? kSystemColors[index] : clBlack;
    }
    return color & 0xFFFFFF;
}

std::optional<TColor> TryTextToColor(std::string_view text) {
    for (const auto& n : kNames)
        if (EqualNoCase(n.name, text))
            return n.color;
    return ParseInt32(text);
}

TColor TextToColor(std::string_view text) {
    if (auto c = TryTextToColor(text))
        return *c;
    throw Exception("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace vesmera
