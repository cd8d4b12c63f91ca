#include "widgets/lcd/lcd_geometry.h"

#include <algorithm>

namespace vesmera {

namespace {

long long DotCount(int size, int dot, int spacing, int border) {
    const long long pitch = static_cast<long long>(dot) + spacing;
    if (pitch <= 0 || dot <= 0)
        return 0;
    const long long room = static_cast<long long>(size) - 2LL * border + spacing;
    return room <= 0 ? 0 : std::min(room / pitch, 65535LL);
}

int Snapped(long long count, int dot, int spacing, int border) {
    return static_cast<int>(count * dot + 2LL * border + (count - 1) * spacing);
}

} // namespace

DotGeometry ComputeGeometry(int width, int height, const DotLayout& l) {
    const long long nx = DotCount(width, l.PixelWidth, l.PixelSpacing, l.BorderSpace);
    const long long ny = DotCount(height, l.PixelHeight, l.PixelSpacing, l.BorderSpace);
    if (nx == 0 || ny == 0)
        return {0, 0, width, height};
    return {static_cast<int>(nx), static_cast<int>(ny),
            Snapped(nx, l.PixelWidth, l.PixelSpacing, l.BorderSpace),
            Snapped(ny, l.PixelHeight, l.PixelSpacing, l.BorderSpace)};
}

} // namespace vesmera
