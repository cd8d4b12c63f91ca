#pragma once

#include <array>
#include <cstdint>

#include "widgets/indicator/indicator_types.h"

namespace vesmera {

// Truncation toward zero, saturated to the int range (NaN gives 0).
int TruncToInt(double v);
// Nearest integer with halves to even, saturated to the int range (NaN gives 0).
int RoundToInt(long double v);

// The turning angle of the indicator: tenths of a degree to radians.
double AngleRadians(int indicatorAngle);

struct TSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const TSize&, const TSize&) = default;
};

// The outer size the indicator of w x h needs when turned by the angle.
TSize BoundingSize(int indicatorWidth, int indicatorHeight, int indicatorAngle);

// Margin and cell size of a row of cells inside the indicator rectangle.
struct TCellMetrics {
    std::int64_t margin = 0;
    int cellWidth = 0;
    int cellHeight = 0;
};

TCellMetrics ComputeCellMetrics(int indicatorWidth, int indicatorHeight, int cells, int gap,
                                TZyrelBevelKind outerBevel, int outerBevelWidth,
                                TZyrelBevelKind innerBevel, int innerBevelWidth);

// Segment thickness for a cell of w x h.
double SegmentThickness(int w, int h, TZyrelIndicatorStyle style, bool hoverWidth);

using THexagon = std::array<TPoint, 6>;
using TQuad = std::array<TPoint, 4>;

// Segment `index` of a seven- or nine-segment cell of w x h with thickness t, relative to the
// cell's top-left corner. Indices as in the patterns: 1..7 the bars, then the point (8) for
// seven segments, or the colon dots (8, 9) and the point (10) for nine segments.
THexagon SegmentPolygon(int index, TZyrelIndicatorKind kind, int w, int h, double t);

// Dot of row 1..7 and column 1..5 in a dot-matrix cell of w x h, relative to the cell.
TQuad DotPolygon(int row, int column, int w, int h, TZyrelIndicatorStyle style, bool hoverWidth);

// Turns the points about (a, c) by the angle, counter-clockwise on screen, with the rounding
// of each step as the indicator has always done it.
void TurnPoints(TPoint* points, std::size_t count, int a, int c, int indicatorAngle);

// Moves points, saturating at the int range.
void MovePoints(TPoint* points, std::size_t count, std::int64_t dx, std::int64_t dy);

// The turned indicator rectangle in control coordinates.
TQuad WindowPolygon(int indicatorWidth, int indicatorHeight, int indicatorAngle, int controlWidth,
                    int controlHeight);

// The sides of a bevel in unturned coordinates, inset by a and b wide.
enum class TBevelSideKind { Top, Left, Bottom, Right };
TQuad BevelSide(TBevelSideKind side, int indicatorWidth, int indicatorHeight, int a, int b);

// The drawing order of the four bevel sides for the angle; the first two take the first shade.
std::array<TBevelSideKind, 4> BevelSideOrder(int indicatorAngle);

} // namespace vesmera
