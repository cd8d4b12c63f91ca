// The LCD screen's lines from any bytes, split as the screen's Lines split a text: the parsed
// Display holds exactly the lines' characters outside the six tags, with the tag switches
// carried from line to line, at most 256 rows and 255 characters a row from column 1, no
// attribute bit that no tag sets, and nothing left of an earlier parse.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "widgets/lcd/lcd_display.h"
#include "widgets/lcd/lcd_lines.h"
#include "widgets/lcd/lcd_types.h"

namespace {

using namespace vesmera;

constexpr std::uint8_t kAllAttributes =
    kAttrUnderline | kAttrStrike | kAttrBold | kAttrItalic | kAttrBlink | kAttrInverse;

struct Switch {
    std::string_view on;
    std::string_view off;
    std::uint8_t bit;
};

constexpr std::array<Switch, 6> kSwitches{{{"<u>", "</u>", kAttrUnderline},
                                           {"<s>", "</s>", kAttrStrike},
                                           {"<b>", "</b>", kAttrBold},
                                           {"<i>", "</i>", kAttrItalic},
                                           {"<bl>", "</bl>", kAttrBlink},
                                           {"<inv>", "</inv>", kAttrInverse}}};

// True when a switch's tag starts the text; the switch is then set or cleared and `length` is
// the tag's length in bytes.
bool MatchTag(std::string_view text, std::uint8_t& attr, std::size_t& length) {
    for (const Switch& s : kSwitches) {
        if (text.starts_with(s.on)) {
            attr |= s.bit;
            length = s.on.size();
            return true;
        }
        if (text.starts_with(s.off)) {
            attr &= static_cast<std::uint8_t>(~s.bit);
            length = s.off.size();
            return true;
        }
    }
    return false;
}

// The rows the lines must give, worked out on the UTF-8 bytes (the tags are ASCII) with the
// project's general UTF-8 walker: one cell per code point, U+FFFD for what 16 bits cannot hold.
std::vector<std::vector<Display::Cell>> Expected(const std::vector<std::string>& lines) {
    std::vector<std::vector<Display::Cell>> rows;
    std::uint8_t attr = 0;
    for (std::size_t r = 0; r < lines.size() && r < Display::kRows; ++r) {
        const std::string_view line = lines[r];
        std::vector<Display::Cell>& row = rows.emplace_back();
        for (std::size_t pos = 0; pos < line.size() && line[pos] != '\0';) {
            std::size_t tag = 0;
            if (MatchTag(line.substr(pos), attr, tag)) {
                pos += tag;
                continue;
            }
            const char32_t cp = NextCodePoint(line, pos);
            if (row.size() < Display::kColumns - 1)
                row.push_back({cp > 0xFFFF ? char16_t{0xFFFD} : static_cast<char16_t>(cp), attr});
        }
    }
    return rows;
}

FUZZ_NO_COVERAGE bool SameCells(const Display& a, const Display& b) {
    if (a.LineCount() != b.LineCount())
        return false;
    for (int r = 0; r < Display::kRows; ++r)
        for (int c = 0; c < Display::kColumns; ++c)
            if (!(a.At(r, c) == b.At(r, c)))
                return false;
    return true;
}

FUZZ_NO_COVERAGE void CheckGrid(const Display& display,
                                const std::vector<std::vector<Display::Cell>>& expected) {
    for (int r = 0; r < Display::kRows; ++r) {
        const bool held = r < display.LineCount();
        const std::size_t length = held ? expected[static_cast<std::size_t>(r)].size() : 0;
        FUZZ_CHECK(display.At(r, 0) == Display::Cell{}, "column 0 is never used");
        for (int c = 1; c < Display::kColumns; ++c) {
            const Display::Cell& cell = display.At(r, c);
            FUZZ_CHECK((cell.Attr & ~kAllAttributes) == 0, "only the six tags set attribute bits");
            if (static_cast<std::size_t>(c) > length) {
                FUZZ_CHECK(cell == Display::Cell{}, "a row ends at its last character");
                continue;
            }
            FUZZ_CHECK(cell.Char != 0, "a character cell is never empty");
            FUZZ_CHECK(cell == expected[static_cast<std::size_t>(r)][c - 1],
                       "a row holds the line's characters and switches");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TLCDLines text;
    text.SetText(std::string(fuzz::AsText(data, size)));
    const std::vector<std::string>& lines = text.Items();
    for (const std::string& line : lines)
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos,
                   "a line of Lines holds no line break");

    Display display;
    ParseLines(lines, display);
    const auto expected = Expected(lines);
    FUZZ_CHECK(display.LineCount() == static_cast<int>(expected.size()),
               "one row per line, at most 256");

    CheckGrid(display, expected);

    // Parsing again, even over a grid that held other lines, gives the same grid.
    Display again;
    ParseLines({"<b><u><inv>" + std::string(300, 'x'), "<i>y", std::string(40, 'z')}, again);
    ParseLines(lines, again);
    FUZZ_CHECK(SameCells(display, again), "parsing is deterministic and clears what was there");
    return 0;
}
