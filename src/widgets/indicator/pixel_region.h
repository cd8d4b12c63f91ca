#pragma once

#include <cstdint>
#include <vector>

#include "widgets/indicator/indicator_types.h"

namespace vesmera {

// A run of pixels [x0, x1) of row y.
struct TSpan {
    int y;
    int x0;
    int x1;
    friend bool operator==(const TSpan&, const TSpan&) = default;
};

// The pixels of a width x height raster covered by a set of polygons under the even-odd
// rule: a pixel belongs to it when its centre is inside an odd number of polygon outlines.
// Only rows and columns of the raster are visited, so far-away vertices cost nothing.
std::vector<TSpan> RasterizeEvenOdd(const TPolyList& polygons, int width, int height);
std::vector<TSpan> RasterizeEvenOdd(const TPoint* points, int count, int width, int height);
// The same into a caller's buffer, so that its memory serves again. With a scale, the raster
// has that many pixels to one unit of the vertices (a screen's device pixel ratio): its pixels
// are tested at their own centres, so edges step by one raster pixel at any scale.
void RasterizeEvenOdd(const TPolyList& polygons, int width, int height, std::vector<TSpan>& out,
                      double scale = 1.0);
void RasterizeEvenOdd(const TPoint* points, int count, int width, int height,
                      std::vector<TSpan>& out, double scale = 1.0);

// A set of pixels of a raster, one byte per pixel; unions are cheap.
class TPixelMask {
public:
    TPixelMask(int width, int height);
    void Add(const std::vector<TSpan>& spans);
    bool Contains(int x, int y) const;
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The mask as row runs, row by row from the top.
    std::vector<TSpan> Spans() const;

private:
    int width_;
    int height_;
    std::vector<std::uint8_t> bits_;
};

} // namespace vesmera
