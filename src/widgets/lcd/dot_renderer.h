#pragma once

#include <cstdint>

#include "widgets/lcd/lcd_geometry.h"
#include "widgets/lcd/lcd_types.h"
#include "widgets/lcd/mono_image.h"
#include "widgets/lcd/rgb_image.h"

namespace vesmera {

// One picture placed into the dot frame: its offsets in dots and whether it follows the
// scroll references.
struct DotSource {
    const MonoImage* Image;
    int X;
    int Y;
    TAnimMode Mode;
};

// The scroll references are 32-bit counters that scripts may push forever; they wrap around
// instead of overflowing.
inline std::int32_t AddWrapping(std::int32_t value, long long delta) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) +
                                     static_cast<std::uint32_t>(delta));
}

struct ScrollReferences {
    std::int32_t H = 0; // PixHRef
    std::int32_t V = 0; // PixVRef
};

// Builds the one-bit dot frame of nbX x nbY from the lines picture and/or the bitmap as the
// display mode says. First the wrap-around rule: a source scrolled fully past one edge moves
// the references by whole periods (size plus dots) so that it comes back from the opposite
// edge, however far it had gone; with both sources the larger width and height count, and
// either source's offsets can trigger it. The lines are copied
// first, then the bitmap, replacing its rectangle or combined with what lies under it.
MonoImage BuildDotFrame(int nbX, int nbY, TDisplayMode mode, TBitmapCopyMode copyMode,
                        const DotSource& lines, const DotSource& bitmap,
                        ScrollReferences& references);

struct CellStyle {
    int PixelWidth;
    int PixelHeight;
    int PixelSpacing;
    TPixelShape Shape;
    RgbImage::Pixel On;
    RgbImage::Pixel Off;
    RgbImage::Pixel Background;
};

// The lit cell: Off with the dot in On over it, the whole cell for psSquare, for psRound the
// pixels whose centres lie inside the inscribed ellipse inset by a quarter pixel (a plus for
// 3 x 3, as the small round dots of the display look); a 1 x 1 cell is one On pixel.
RgbImage MakeLitCell(const CellStyle& style);
// The lit cell drawn at width x height pixels (a scaled screen's pixels), the inset a quarter
// of one of those pixels.
RgbImage MakeLitCell(const CellStyle& style, int width, int height);

// Draws the frame into target: each dot row is one copy of a prepared strip of unlit cells
// (built by doubling copies) plus one copy of the lit cell per dark frame pixel; the frame is
// read a byte at a time so eight unlit dots cost one test. Gaps keep the background.
// With a scale (a screen's device pixel ratio) the target has that many pixels to a logical
// one, and each cell is drawn at them, a round dot as a finer disc.
void RenderDots(const MonoImage& frame, const CellStyle& style, RgbImage& target,
                double scale = 1.0);

} // namespace vesmera
