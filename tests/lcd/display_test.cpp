#include <gtest/gtest.h>

#include "widgets/lcd/lcd_display.h"
#include "widgets/lcd/lcd_lines.h"

namespace vesmera {
namespace {

// The characters and attributes of one row, up to its first empty cell.
struct RowCell {
    char16_t Char;
    std::uint8_t Attr;
    bool operator==(const RowCell&) const = default;
};

std::vector<RowCell> Row(const Display& d, int r) {
    std::vector<RowCell> cells;
    for (int c = 1; c < Display::kColumns && d.At(r, c).Char; ++c)
        cells.push_back({d.At(r, c).Char, d.At(r, c).Attr});
    return cells;
}

struct TagCase {
    const char* name;
    std::string line;
    std::vector<RowCell> cells;
};

class TagParsing : public ::testing::TestWithParam<TagCase> {};

TEST_P(TagParsing, GivesCharactersAndAttributes) {
    Display d;
    ParseLines({GetParam().line}, d);
    EXPECT_EQ(Row(d, 0), GetParam().cells);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TagParsing,
    ::testing::Values(
        TagCase{"BoldPair", "<b>AB</b>C", {{'A', kAttrBold}, {'B', kAttrBold}, {'C', 0}}},
        TagCase{"NoTag", "a<x>b", {{'a', 0}, {'<', 0}, {'x', 0}, {'>', 0}, {'b', 0}}},
        TagCase{"CapitalIsNoTag", "<B>x", {{'<', 0}, {'B', 0}, {'>', 0}, {'x', 0}}},
        TagCase{"AllSix",
                "<u><s><b><i><bl><inv>z",
                {{'z', kAttrUnderline | kAttrStrike | kAttrBold | kAttrItalic | kAttrBlink |
                           kAttrInverse}}},
        TagCase{"ClosingOnlyTheOne",
                "<i><b>x</i>y",
                {{'x', kAttrItalic | kAttrBold}, {'y', kAttrBold}}},
        TagCase{"UnterminatedTag", "<bl", {{'<', 0}, {'b', 0}, {'l', 0}}},
        TagCase{"LoneAngle", "<", {{'<', 0}}},
        TagCase{"BlinkIsNotBold", "<bl>q", {{'q', kAttrBlink}}},
        TagCase{"NulEndsLine", std::string("ab\0cd", 5), {{'a', 0}, {'b', 0}}},
        TagCase{"Cyrillic", "Св", {{u'С', 0}, {u'в', 0}}}),
    [](const auto& info) { return info.param.name; });

TEST(TagParsing, SwitchesCarryIntoNextLine) {
    Display d;
    ParseLines({"<u>a", "b</u>c", "d"}, d);
    EXPECT_EQ(Row(d, 0), (std::vector<RowCell>{{'a', kAttrUnderline}}));
    EXPECT_EQ(Row(d, 1), (std::vector<RowCell>{{'b', kAttrUnderline}, {'c', 0}}));
    EXPECT_EQ(Row(d, 2), (std::vector<RowCell>{{'d', 0}}));
    EXPECT_EQ(d.LineCount(), 3);
}

TEST(TagParsing, ParsingAgainClearsOldCellsAndSwitches) {
    Display d;
    ParseLines({"<b>longer text", "second"}, d);
    ParseLines({"ab"}, d);
    EXPECT_EQ(Row(d, 0), (std::vector<RowCell>{{'a', 0}, {'b', 0}}));
    EXPECT_TRUE(Row(d, 1).empty());
    ParseLines({}, d);
    EXPECT_EQ(d.LineCount(), 0);
    EXPECT_TRUE(Row(d, 0).empty());
}

TEST(TagParsing, CutsAtTheGridLimitsButKeepsTagState) {
    Display d;
    std::vector<std::string> lines(300, "x");
    lines[0] = std::string(300, 'a') + "<b>";
    lines[1] = "b";
    ParseLines(lines, d);
    EXPECT_EQ(d.LineCount(), 256);
    EXPECT_EQ(Row(d, 0).size(), 255u);
    // The tag after the last column still switched bold on for the next line.
    EXPECT_EQ(Row(d, 1), (std::vector<RowCell>{{'b', kAttrBold}}));
}

TEST(Utf8Decoding, MalformedBytesBecomeReplacementCharacters) {
    EXPECT_EQ(DecodeUtf8ToUtf16("a\xC3\xA9"), u"a\u00E9");
    EXPECT_EQ(DecodeUtf8ToUtf16("\xFF\x80"), u"\uFFFD\uFFFD");
    EXPECT_EQ(DecodeUtf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");           // cut short
    EXPECT_EQ(DecodeUtf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");           // overlong
    EXPECT_EQ(DecodeUtf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // surrogate
    EXPECT_EQ(DecodeUtf8ToUtf16("\xF0\x9F\x98\x80"), u"\uFFFD");         // beyond 16 bits
    EXPECT_EQ(EncodeUtf16ToUtf8(u"С терминалом"), "С терминалом");
}

TEST(Utf8Decoding, EveryByteValueParsesWithoutLoss) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    Display d;
    ParseLines({all}, d);
    // 127 ASCII characters, then one replacement for each of the 128 high bytes; the row is
    // cut at 255 cells.
    const auto cells = Row(d, 0);
    ASSERT_EQ(cells.size(), 255u);
    EXPECT_EQ(cells[126].Char, 127);
    EXPECT_EQ(cells[127].Char, 0xFFFD);
}

struct StyleCase {
    const char* name;
    std::uint8_t attr;
    TSpecialEffects effects;
    bool blinking;
    GlyphStyle style;
};

class GlyphStyles : public ::testing::TestWithParam<StyleCase> {};

TEST_P(GlyphStyles, FollowTheEffects) {
    const auto& p = GetParam();
    EXPECT_EQ(GlyphStyleFor(p.attr, p.effects, p.blinking), p.style);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, GlyphStyles,
    ::testing::Values(
        StyleCase{"BoldWithout", kAttrBold, {}, false, {}},
        StyleCase{"BoldWith", kAttrBold, {spBold}, false, {false, false, true, false, false}},
        StyleCase{"UnderlineNeedsItsEffect", kAttrUnderline, {spStrike, spBold}, false, {}},
        StyleCase{"Strike", kAttrStrike, {spStrike}, false, {false, true, false, false, false}},
        StyleCase{"Italic", kAttrItalic, {spItalic}, false, {false, false, false, true, false}},
        StyleCase{"BlinkOff", kAttrBlink, {spBlink}, false, {}},
        StyleCase{"BlinkOn", kAttrBlink, {spBlink}, true, {false, false, false, false, true}},
        StyleCase{"BlinkWithoutEffect", kAttrBlink, {spInverse}, true, {}},
        StyleCase{"Inverse", kAttrInverse, {spInverse}, false, {false, false, false, false, true}},
        StyleCase{"EffectWithoutBit", 0, {spBold, spInverse, spBlink}, true, {}}),
    [](const auto& info) { return info.param.name; });

struct SplitCase {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
};

class LinesText : public ::testing::TestWithParam<SplitCase> {};

TEST_P(LinesText, SplitsAtLineBreaks) {
    TLCDLines lines;
    int changes = 0;
    lines.SetOnChange([&] { ++changes; });
    lines.SetText(GetParam().text);
    EXPECT_EQ(lines.Items(), GetParam().lines);
    EXPECT_EQ(changes, 1);
}

INSTANTIATE_TEST_SUITE_P(Texts, LinesText,
                         ::testing::Values(SplitCase{"Empty", "", {}},
                                           SplitCase{"Blank", " ", {" "}},
                                           SplitCase{"Crlf", "a\r\nb", {"a", "b"}},
                                           SplitCase{"MixedBreaks", "a\rb\nc", {"a", "b", "c"}},
                                           SplitCase{"TrailingBreak", "a\n", {"a"}},
                                           SplitCase{"EmptyMiddle", "a\n\nb", {"a", "", "b"}}),
                         [](const auto& info) { return info.param.name; });

TEST(LinesText, ReadsBackJoinedByLineFeeds) {
    TLCDLines lines;
    lines.SetText("С терминалом нет связи");
    EXPECT_EQ(lines.Text(), "С терминалом нет связи");
    lines.Assign({"a", "b"});
    EXPECT_EQ(lines.Text(), "a\nb");
}

} // namespace
} // namespace vesmera
