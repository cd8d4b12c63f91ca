#pragma once

#include <cstdint>
#include <vector>

#include "common/color.h"

namespace vesmera {

// A 32-bit picture, one 0xFFRRGGBB word per pixel (the layout of Qt's RGB32 images), used for
// the off-screen composition of the screen.
class RgbImage {
public:
    using Pixel = std::uint32_t;

    RgbImage() = default;
    RgbImage(int width, int height, Pixel fill = 0xFF000000u);

    static Pixel FromColor(TColor color);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    bool Empty() const { return FWidth == 0 || FHeight == 0; }
    Pixel At(int x, int y) const { return FPixels[Index(x, y)]; }
    Pixel* Row(int y) { return FPixels.data() + Index(0, y); }
    const Pixel* Row(int y) const { return FPixels.data() + Index(0, y); }
    const Pixel* Data() const { return FPixels.data(); }

    // Fills the rectangle, cut to the picture.
    void FillRect(long long x, long long y, long long width, long long height, Pixel pixel);
    // Copies the source rectangle (sx, sy, width, height) to (x, y), both cut to their pictures.
    // The source may be this picture when the two rectangles do not overlap.
    void CopyFrom(const RgbImage& source, long long sx, long long sy, long long width,
                  long long height, long long x, long long y);

private:
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth) +
               static_cast<std::size_t>(x);
    }

    int FWidth = 0;
    int FHeight = 0;
    std::vector<Pixel> FPixels;
};

} // namespace vesmera
