#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "common/color.h"

namespace vesmera {

// The ordinal n of pix1x1 ... pix16x16 is the dot size n x n; pixCustom takes PixelWidth and
// PixelHeight as they are.
enum TPixelSize : std::uint8_t {
    pixCustom,
    pix1x1,
    pix2x2,
    pix3x3,
    pix4x4,
    pix5x5,
    pix6x6,
    pix7x7,
    pix8x8,
    pix9x9,
    pix10x10,
    pix11x11,
    pix12x12,
    pix13x13,
    pix14x14,
    pix15x15,
    pix16x16
};
enum TPixelShape : std::uint8_t { psSquare, psRound };
enum TLCDBorder : std::uint8_t { bsLowered, bsNone, bsRaised };
enum TSpecialEffect : std::uint8_t { spBlink, spBold, spInverse, spItalic, spUnderline, spStrike };
enum TAnimMode : std::uint8_t { amDynamic, amStatic };
enum TDisplayMode : std::uint8_t { dmText, dmBitmap, dmBoth };
enum TBitmapCopyMode : std::uint8_t { cmNotTransparent, cmTransparent };
enum TResetMode : std::uint8_t { rmDisplay, rmCode, rmDisplayAndCode };

// A set of TSpecialEffect, one bit per member.
class TSpecialEffects {
public:
    constexpr TSpecialEffects() = default;
    constexpr TSpecialEffects(std::initializer_list<TSpecialEffect> effects) {
        for (auto e : effects)
            FBits = static_cast<std::uint8_t>(FBits | Bit(e));
    }
    constexpr bool Has(TSpecialEffect e) const { return (FBits & Bit(e)) != 0; }
    constexpr bool operator==(const TSpecialEffects&) const = default;

private:
    static constexpr std::uint8_t Bit(TSpecialEffect e) {
        return static_cast<std::uint8_t>(1 << e);
    }
    std::uint8_t FBits = 0;
};

enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };
enum TFontQuality : std::uint8_t { fqDefault, fqNonAntialiased, fqAntialiased };

// The screen's font as the lines renderer needs it. Height follows the Windows rule: negative
// is the character height in pixels, positive the cell height; Size is in points at the
// forms' 96 pixels per inch.
struct TLCDFont {
    static constexpr int kPixelsPerInch = 96;

    std::string Name = "Tahoma";
    int Height = -11;
    TColor Color = clWindowText;
    TFontPitch Pitch = fpDefault;
    TFontQuality Quality = fqDefault;

    int Size() const;
    void SetSize(int points);
    bool operator==(const TLCDFont&) const = default;
};

inline int TLCDFont::Size() const {
    // Windows rounds both ways (MulDiv), so a size set is the size read back.
    const int h = Height < 0 ? -Height : Height;
    return (h * 72 + kPixelsPerInch / 2) / kPixelsPerInch;
}

inline void TLCDFont::SetSize(int points) {
    const long long px = (static_cast<long long>(points) * kPixelsPerInch + 36) / 72;
    Height = -static_cast<int>(px);
}

// The font of the main window's message screen: "Tahoma" 32 pixels high, fixed pitch,
// antialiased, in the given colour.
inline TLCDFont MessageScreenFont(TColor color) {
    return {.Name = "Tahoma",
            .Height = -32,
            .Color = color,
            .Pitch = fpFixed,
            .Quality = fqAntialiased};
}

// Attribute bits of a Display cell.
inline constexpr std::uint8_t kAttrUnderline = 1;
inline constexpr std::uint8_t kAttrStrike = 2;
inline constexpr std::uint8_t kAttrBold = 4;
inline constexpr std::uint8_t kAttrItalic = 8;
inline constexpr std::uint8_t kAttrBlink = 16;
inline constexpr std::uint8_t kAttrInverse = 32;

} // namespace vesmera
