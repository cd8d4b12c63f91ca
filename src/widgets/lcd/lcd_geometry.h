#pragma once

#include <cstdint>

namespace vesmera {

struct DotGeometry {
    int NbXPixels = 0; // FNbXPixels
    int NbYPixels = 0; // FNbYPixels
    int Width = 0;     // FWidth, the control width snapped to whole dots
    int Height = 0;    // FHeight
    bool HasDots() const { return NbXPixels > 0 && NbYPixels > 0; }
    bool operator==(const DotGeometry&) const = default;
};

struct DotLayout {
    int PixelWidth;
    int PixelHeight;
    int PixelSpacing;
    int BorderSpace;
};

// Dots that fit across and down: (size - 2 * border + spacing) / (dot + spacing), and the size
// that holds exactly those. When no dot fits in either direction (or dot plus spacing is not
// positive) there are no dots and the size is kept as it was, so the screen shows background
// and border only. Counts are capped at the 16-bit range of the dot counters.
DotGeometry ComputeGeometry(int width, int height, const DotLayout& layout);

} // namespace vesmera
