#include "widgets/lcd/mono_image.h"

#include <algorithm>

namespace vesmera {

MonoImage::MonoImage(int width, int height)
    : FWidth(std::max(width, 0)), FHeight(std::max(height, 0)), FStride((FWidth + 7) / 8),
      FBits(static_cast<std::size_t>(FStride) * FHeight, 0) {}

void MonoImage::SetDark(int x, int y, bool dark) {
    auto& byte = FBits[Index(y) + static_cast<std::size_t>(x >> 3)];
    const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
    byte = static_cast<std::uint8_t>(dark ? (byte | mask) : (byte & ~mask));
}

void MonoImage::GrowTo(int width, int height) {
    width = std::max(width, FWidth);
    height = std::max(height, FHeight);
    if (width == FWidth && height == FHeight)
        return;
    MonoImage grown(width, height);
    for (int y = 0; y < FHeight; ++y)
        std::copy_n(Row(y), FStride, grown.FBits.data() + grown.Index(y));
    *this = std::move(grown);
}

void MonoImage::Draw(const MonoImage& source, long long x, long long y, CopyMode mode) {
    // Clip in 64 bits: scroll references and offsets may lie far outside the picture.
    const long long x0 = std::max(0LL, x), y0 = std::max(0LL, y);
    const long long x1 = std::min<long long>(FWidth, x + source.FWidth);
    const long long y1 = std::min<long long>(FHeight, y + source.FHeight);
    for (long long ty = y0; ty < y1; ++ty) {
        const int sy = static_cast<int>(ty - y);
        for (long long tx = x0; tx < x1; ++tx) {
            const int sx = static_cast<int>(tx - x);
            const bool dark = source.Dark(sx, sy);
            if (mode == CopyMode::Replace || dark)
                SetDark(static_cast<int>(tx), static_cast<int>(ty), dark);
        }
    }
}

} // namespace vesmera
