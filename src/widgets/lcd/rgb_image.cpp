#include "widgets/lcd/rgb_image.h"

#include <algorithm>
#include <cstring>

namespace vesmera {

RgbImage::RgbImage(int width, int height, Pixel fill)
    : FWidth(std::max(width, 0)), FHeight(std::max(height, 0)),
      FPixels(static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FHeight), fill) {}

RgbImage::Pixel RgbImage::FromColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return 0xFF000000u | (static_cast<Pixel>(GetRValue(rgb)) << 16) |
           (static_cast<Pixel>(GetGValue(rgb)) << 8) | static_cast<Pixel>(GetBValue(rgb));
}

void RgbImage::FillRect(long long x, long long y, long long width, long long height, Pixel pixel) {
    const long long x0 = std::max(0LL, x), y0 = std::max(0LL, y);
    const long long x1 = std::min<long long>(FWidth, x + width);
    const long long y1 = std::min<long long>(FHeight, y + height);
    for (long long ty = y0; ty < y1; ++ty) {
        Pixel* row = Row(static_cast<int>(ty));
        std::fill(row + x0, row + x1, pixel);
    }
}

void RgbImage::CopyFrom(const RgbImage& source, long long sx, long long sy, long long width,
                        long long height, long long x, long long y) {
    // Cut the rectangle to the source first, then to this picture.
    if (sx < 0) {
        width += sx;
        x -= sx;
        sx = 0;
    }
    if (sy < 0) {
        height += sy;
        y -= sy;
        sy = 0;
    }
    width = std::min<long long>(width, source.FWidth - sx);
    height = std::min<long long>(height, source.FHeight - sy);
    if (x < 0) {
        width += x;
        sx -= x;
        x = 0;
    }
    if (y < 0) {
        height += y;
        sy -= y;
        y = 0;
    }
    width = std::min<long long>(width, FWidth - x);
    height = std::min<long long>(height, FHeight - y);
    if (width <= 0 || height <= 0)
        return;
    for (long long r = 0; r < height; ++r)
        std::memcpy(Row(static_cast<int>(y + r)) + x, source.Row(static_cast<int>(sy + r)) + sx,
                    static_cast<std::size_t>(width) * sizeof(Pixel));
}

} // namespace vesmera
