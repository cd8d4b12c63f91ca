#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "widgets/indicator/indicator_types.h"

namespace vesmera {

// One display cell: a UTF-16 code unit and whether the cell's point segment is lit.
struct TIndicatorCell {
    char16_t character = u' ';
    bool point = false;
    friend bool operator==(const TIndicatorCell&, const TIndicatorCell&) = default;
};

// The cells the text itself fills, at most `cells` of them, before the blank cells that
// right-align it: the segment kinds fold a point or comma into the digit before it, the dot
// matrix gives every character its own cell.
std::vector<TIndicatorCell> LayoutText(std::u16string_view text, TZyrelIndicatorKind kind,
                                       int cells);

// The segment pattern of a cell as "0"/"1" characters in segment order: 8 for seven
// segments, 10 for nine segments (the two colon dots before the point).
std::string SegmentPattern(const TIndicatorCell& cell, TZyrelIndicatorKind kind);

// The 5x7 glyph of a character: seven rows of five "0"/"1" characters, rows separated by one
// blank, top row first. Characters without a glyph give all zeros.
std::string_view MatrixPattern(char16_t character);

// Whether the dot in row r (1..7, top down) and column c (1..5) of a glyph is lit.
inline bool MatrixDotLit(std::string_view glyph, int row, int column) {
    return glyph[static_cast<std::size_t>((row - 1) * 6 + (column - 1))] == '1';
}

} // namespace vesmera
