#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/lcd/lcd_types.h"

namespace vesmera {

// The character grid the lines are parsed into: row r is text line r, columns are used from 1,
// and a cell with character 0 ends its row.
class Display {
public:
    static constexpr int kRows = 256;
    static constexpr int kColumns = 256;

    struct Cell {
        char16_t Char = 0;
        std::uint8_t Attr = 0;
        bool operator==(const Cell&) const = default;
    };

    Display() : FCells(static_cast<std::size_t>(kRows) * kColumns) {}

    const Cell& At(int row, int column) const { return FCells[Index(row, column)]; }
    Cell& At(int row, int column) { return FCells[Index(row, column)]; }
    void Clear();
    // The rows that hold a line of the text, at most kRows.
    int LineCount() const { return FLineCount; }
    void SetLineCount(int count) { FLineCount = count; }

private:
    static std::size_t Index(int row, int column) {
        return static_cast<std::size_t>(row) * kColumns + static_cast<std::size_t>(column);
    }

    std::vector<Cell> FCells;
    int FLineCount = 0;
};

// UTF-8 to UTF-16 code units, one cell per character. A character beyond the 16-bit range and
// every byte of a malformed sequence become U+FFFD, so no input byte is ever lost silently.
std::u16string DecodeUtf8ToUtf16(std::string_view text);
std::string EncodeUtf16ToUtf8(std::u16string_view text);

// Fills the grid from the lines, handling the tags "<u>", "<s>", "<b>", "<i>", "<bl>", "<inv>"
// and their closing forms (case-sensitive). The switches carry over from one line to the next;
// a "<" that starts no tag is an ordinary character, and a character 0 ends its line. Lines
// past the 256th and characters past the 255th visible one of a line are cut.
void ParseLines(const std::vector<std::string>& lines, Display& display);

} // namespace vesmera

namespace vesmera {

// How one cell's character is drawn: the attribute bits that the special effects let through.
struct GlyphStyle {
    bool Underline = false;
    bool Strike = false;
    bool Bold = false;
    bool Italic = false;
    bool Inverse = false; // white on black
    bool operator==(const GlyphStyle&) const = default;
};

GlyphStyle GlyphStyleFor(std::uint8_t attr, TSpecialEffects effects, bool blinkingStatus);

} // namespace vesmera
