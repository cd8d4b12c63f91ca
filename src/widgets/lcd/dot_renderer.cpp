#include "widgets/lcd/dot_renderer.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vesmera {

namespace {

struct Axis {
    long long Size; // W or H of the sources
    long long Dots; // FNbXPixels or FNbYPixels
};

// Steps of `period` that bring `position` back to `limit` or beyond it: at least one, and
// as many as a reference that drifted while nothing was rendered (a hidden screen keeps
// ticking) needs, so the text never stays away for more than one rendering.
long long StepsBack(long long distance, long long period) {
    return period <= 0 ? 1 : (distance + period - 1) / period;
}

void WrapAround(std::int32_t& reference, const Axis& axis, const int* offsets, int count) {
    if (count == 0)
        return;
    const long long period = axis.Size + axis.Dots;
    const long long lowest = *std::min_element(offsets, offsets + count);
    const long long highest = *std::max_element(offsets, offsets + count);
    if (lowest + reference < -axis.Size)
        reference =
            AddWrapping(reference, StepsBack(-axis.Size - (lowest + reference), period) * period);
    if (highest + reference > axis.Dots)
        reference =
            AddWrapping(reference, -StepsBack(highest + reference - axis.Dots, period) * period);
}

void Place(MonoImage& frame, const DotSource& s, const ScrollReferences& r,
           MonoImage::CopyMode mode) {
    const bool dynamic = s.Mode == amDynamic;
    frame.Draw(*s.Image, static_cast<long long>(s.X) + (dynamic ? r.H : 0),
               static_cast<long long>(s.Y) + (dynamic ? r.V : 0), mode);
}

} // namespace

MonoImage BuildDotFrame(int nbX, int nbY, TDisplayMode mode, TBitmapCopyMode copyMode,
                        const DotSource& lines, const DotSource& bitmap,
                        ScrollReferences& references) {
    MonoImage frame(nbX, nbY);
    const bool useLines = mode != dmBitmap;
    const bool useBitmap = mode != dmText;
    int xs[2], ys[2], n = 0;
    long long w = 0, h = 0;
    for (const DotSource* s : {&lines, &bitmap}) {
        if ((s == &lines && !useLines) || (s == &bitmap && !useBitmap))
            continue;
        xs[n] = s->X;
        ys[n] = s->Y;
        ++n;
        w = std::max<long long>(w, s->Image->Width());
        h = std::max<long long>(h, s->Image->Height());
    }
    WrapAround(references.H, {w, nbX}, xs, n);
    WrapAround(references.V, {h, nbY}, ys, n);
    if (useLines)
        Place(frame, lines, references, MonoImage::CopyMode::Replace);
    if (useBitmap)
        Place(frame, bitmap, references,
              copyMode == cmTransparent && useLines ? MonoImage::CopyMode::Combine
                                                    : MonoImage::CopyMode::Replace);
    return frame;
}

RgbImage MakeLitCell(const CellStyle& s) {
    return MakeLitCell(s, s.PixelWidth, s.PixelHeight);
}

RgbImage MakeLitCell(const CellStyle& s, int width, int height) {
    RgbImage cell(width, height, s.Off);
    if (s.Shape == psSquare || (s.PixelWidth == 1 && s.PixelHeight == 1)) {
        cell.FillRect(0, 0, width, height, s.On);
        return cell;
    }
    // The quarter-pixel inset is one of the pixels drawn, so at any size the disc keeps the
    // look of the display's dots.
    const double rx = width / 2.0 - 0.25, ry = height / 2.0 - 0.25;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = (x + 0.5 - width / 2.0) / rx;
            const double dy = (y + 0.5 - height / 2.0) / ry;
            if (dx * dx + dy * dy <= 1.0)
                cell.Row(y)[x] = s.On;
        }
    return cell;
}

namespace {

// The dots at `scale` device pixels to a logical one: each cell's edges are its logical edges
// scaled and rounded, so cells tile the target as they do at scale 1 and each is drawn at the
// device's own pixels.
void RenderScaledDots(const MonoImage& frame, const CellStyle& s, RgbImage& target, double scale) {
    const long long pitchX = static_cast<long long>(s.PixelWidth) + s.PixelSpacing;
    const long long pitchY = static_cast<long long>(s.PixelHeight) + s.PixelSpacing;
    const auto edge = [scale](long long logical) { return std::llround(logical * scale); };
    std::vector<RgbImage> litCells; // by device size; a fractional scale gives two or so
    const auto litCell = [&](long long w, long long h) -> const RgbImage& {
        for (const RgbImage& c : litCells)
            if (c.Width() == w && c.Height() == h)
                return c;
        return litCells.emplace_back(MakeLitCell(s, static_cast<int>(w), static_cast<int>(h)));
    };
    for (int j = 0; j < frame.Height(); ++j) {
        const long long y0 = edge(j * pitchY), y1 = edge(j * pitchY + s.PixelHeight);
        if (y0 >= target.Height())
            break;
        const std::uint8_t* row = frame.Row(j);
        // Unlit cells go on across the whole target, as the strip of unlit cells does.
        for (long long i = 0;; ++i) {
            const long long x0 = edge(i * pitchX), x1 = edge(i * pitchX + s.PixelWidth);
            if (x0 >= target.Width() || x1 <= x0)
                break;
            const bool dark = i < frame.Width() && (row[i / 8] & (0x80 >> (i % 8)));
            if (dark)
                target.CopyFrom(litCell(x1 - x0, y1 - y0), 0, 0, x1 - x0, y1 - y0, x0, y0);
            else
                target.FillRect(x0, y0, x1 - x0, y1 - y0, s.Off);
        }
    }
}

} // namespace

void RenderDots(const MonoImage& frame, const CellStyle& s, RgbImage& target, double scale) {
    if (frame.Empty() || target.Empty() || s.PixelWidth <= 0 || s.PixelHeight <= 0)
        return;
    if (scale != 1.0) {
        RenderScaledDots(frame, s, target, scale);
        return;
    }
    const RgbImage lit = MakeLitCell(s);
    const long long pitchX = static_cast<long long>(s.PixelWidth) + s.PixelSpacing;
    const long long pitchY = static_cast<long long>(s.PixelHeight) + s.PixelSpacing;

    RgbImage strip(target.Width(), s.PixelHeight, s.Background);
    strip.FillRect(0, 0, s.PixelWidth, s.PixelHeight, s.Off);
    for (long long filled = pitchX; filled > 0 && filled < strip.Width(); filled *= 2)
        strip.CopyFrom(strip, 0, 0, filled, s.PixelHeight, filled, 0);

    for (int j = 0; j < frame.Height(); ++j) {
        const long long y = j * pitchY;
        if (y >= target.Height())
            break;
        target.CopyFrom(strip, 0, 0, strip.Width(), s.PixelHeight, 0, y);
        const std::uint8_t* row = frame.Row(j);
        for (int b = 0; b < frame.Stride(); ++b) {
            if (row[b] == 0)
                continue;
            for (int bit = 0; bit < 8; ++bit)
                if (row[b] & (0x80 >> bit))
                    target.CopyFrom(lit, 0, 0, s.PixelWidth, s.PixelHeight,
                                    (b * 8LL + bit) * pitchX, y);
        }
    }
}

} // namespace vesmera
