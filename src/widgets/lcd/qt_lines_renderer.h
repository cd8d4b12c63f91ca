#pragma once

#include <QImage>

#include "widgets/lcd/lcd_host.h"

namespace vesmera {

// Grey levels below this count as dark when a picture is reduced to one bit. 192 makes the
// antialiased edge pixels that are at least a quarter covered by ink dark, which keeps the
// thin strokes of a small antialiased font whole on the dot matrix without fattening the
// glyphs the way "anything not white" would.
inline constexpr int kDarkGreyThreshold = 192;

// One bit per pixel of any picture: dark where the grey level is below the threshold.
MonoImage ToMonoImage(const QImage& picture);

// The lines picture drawn with Qt: each character on its own at its advance width (no
// kerning), black on white or white on black, one line picture per text line stacked
// downwards; a line without characters is |Font.Height| high and 0 wide.
class QtLinesRenderer final : public ILinesRenderer {
public:
    MonoImage Render(const Display& display, const TLCDFont& font, TSpecialEffects effects,
                     bool blinkingStatus) override;
};

} // namespace vesmera
