#pragma once

#include <cstdint>
#include <vector>

namespace vesmera {

// A one-bit picture: rows packed eight pixels to a byte, most significant bit first, a set bit
// is a dark pixel (a lit dot). Every pixel starts light.
class MonoImage {
public:
    enum class CopyMode { Replace, Combine };

    MonoImage() = default;
    MonoImage(int width, int height);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    bool Empty() const { return FWidth == 0 || FHeight == 0; }
    int Stride() const { return FStride; }

    bool Dark(int x, int y) const {
        return (FBits[Index(y) + static_cast<std::size_t>(x >> 3)] & (0x80 >> (x & 7))) != 0;
    }
    void SetDark(int x, int y, bool dark);
    const std::uint8_t* Row(int y) const { return FBits.data() + Index(y); }

    // Grows to the larger of each size; the new area is light and the old pixels stay.
    void GrowTo(int width, int height);

    // Copies the whole of source with its top-left pixel at (x, y), cutting what falls outside.
    // Replace takes the source's pixels over the rectangle; Combine keeps a pixel dark when it
    // is dark in either picture.
    void Draw(const MonoImage& source, long long x, long long y, CopyMode mode);

    bool operator==(const MonoImage&) const = default;

private:
    std::size_t Index(int y) const { return static_cast<std::size_t>(y) * FStride; }

    int FWidth = 0;
    int FHeight = 0;
    int FStride = 0;
    std::vector<std::uint8_t> FBits;
};

} // namespace vesmera
