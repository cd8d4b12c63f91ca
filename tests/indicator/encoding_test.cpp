#include <gtest/gtest.h>

#include "widgets/indicator/indicator_encoding.h"
#include "widgets/indicator/indicator_model.h"

namespace vesmera {
namespace {

// Cells written as in the layout table: "_" a blank cell, "P" a point-only cell, a trailing
// "." a lit point.
std::string Describe(const std::vector<TIndicatorCell>& cells) {
    std::string out;
    for (const auto& c : cells) {
        if (!out.empty())
            out += ' ';
        if (c.character == u'.' || c.character == u',')
            out += 'P';
        else if (c.character == u' ')
            out += '_';
        else
            out += static_cast<char>(c.character);
        if (c.point && c.character != u'.' && c.character != u',')
            out += '.';
    }
    return out;
}

struct LayoutRow {
    const char16_t* text;
    const char* cells;
};

class SegmentLayout : public testing::TestWithParam<LayoutRow> {};

TEST_P(SegmentLayout, FoldsPointsAndAlignsRight) {
    for (auto kind : {ik7segment, ik9segment})
        EXPECT_EQ(Describe(LayoutCells(GetParam().text, kind, 7)), GetParam().cells);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SegmentLayout,
    testing::Values(LayoutRow{u"12,5", "_ _ _ _ 1 2. 5"}, LayoutRow{u"-0,35", "_ _ _ - 0. 3 5"},
                    LayoutRow{u"1234567", "1 2 3 4 5 6 7"}, LayoutRow{u"-------", "- - - - - - -"},
                    LayoutRow{u"", "_ _ _ _ _ _ _"}, LayoutRow{u",5", "_ _ _ _ _ P 5"},
                    LayoutRow{u".5", "_ _ _ _ _ P 5"}, LayoutRow{u"1..2", "_ _ _ _ 1. P 2"},
                    LayoutRow{u"12,", "_ _ _ _ _ 1 2."}, LayoutRow{u"12345678", "1 2 3 4 5 6 7"},
                    LayoutRow{u"1234,5678", "1 2 3 4. 5 6 7"},
                    LayoutRow{u"........", "P P P P P P P"},
                    // A point right after the last shown cell still belongs to it.
                    LayoutRow{u"1234567,8", "1 2 3 4 5 6 7."},
                    LayoutRow{u" ,1", "_ _ _ _ _ _. 1"}));

TEST(MatrixLayout, EveryCharacterIsACell) {
    const auto cells = LayoutCells(u"1,5", ik5x7matrix, 7);
    EXPECT_EQ(Describe(cells), "_ _ _ _ 1 P 5");
    for (const auto& c : cells)
        EXPECT_FALSE(c.point);
    EXPECT_EQ(Describe(LayoutCells(u"ABCDEFGHI", ik5x7matrix, 7)), "A B C D E F G");
    EXPECT_EQ(LayoutCells(u"", ik5x7matrix, 3).size(), 3u);
}

TEST(SegmentPattern, SevenAndNineSegmentTable) {
    struct Row {
        char16_t c;
        const char* seven;
        const char* nine;
    };
    const Row rows[] = {
        {u'-', "00000010", "0000001000"}, {u'_', "00000100", "0000010000"},
        {u'0', "11111100", "1111110000"}, {u'1', "00011000", "0001100000"},
        {u'2', "10110110", "1011011000"}, {u'3', "00111110", "0011111000"},
        {u'4', "01011010", "0101101000"}, {u'5', "01101110", "0110111000"},
        {u'6', "11101110", "1110111000"}, {u'7', "00111000", "0011100000"},
        {u'8', "11111110", "1111111000"}, {u'9', "01111110", "0111111000"},
        {u'A', "11111010", "1111101000"}, {u'C', "11100100", "1110010000"},
        {u'E', "11100110", "1110011000"}, {u'F', "11100010", "1110001000"},
        {u'G', "11101100", "1110110000"}, {u'H', "11011010", "1101101000"},
        {u'J', "10011100", "1001110000"}, {u'L', "11000100", "1100010000"},
        {u'O', "11111100", "1111110000"}, {u'P', "11110010", "1111001000"},
        {u'U', "11011100", "1101110000"}, {u'Y', "01011110", "0101111000"},
        {u'b', "11001110", "1100111000"}, {u'c', "10000110", "1000011000"},
        {u'd', "10011110", "1001111000"}, {u'h', "11001010", "1100101000"},
        {u'i', "10000000", "1000000000"}, {u'j', "00001100", "0000110000"},
        {u'l', "11000000", "1100000000"}, {u'n', "10001010", "1000101000"},
        {u'o', "10001110", "1000111000"}, {u'r', "10000010", "1000001000"},
        {u't', "11000110", "1100011000"}, {u'u', "10001100", "1000110000"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(SegmentPattern({r.c, false}, ik7segment), r.seven) << char(r.c);
        EXPECT_EQ(SegmentPattern({r.c, false}, ik9segment), r.nine) << char(r.c);
    }
    // The point flag adds the last segment.
    EXPECT_EQ(SegmentPattern({u'2', true}, ik7segment), "10110111");
    EXPECT_EQ(SegmentPattern({u'2', true}, ik9segment), "1011011001");
}

TEST(SegmentPattern, ColonUnknownAndPoints) {
    EXPECT_EQ(SegmentPattern({u':', false}, ik9segment), "0000000110");
    EXPECT_EQ(SegmentPattern({u':', false}, ik7segment), "00000000");
    for (char16_t c : {u'B', u'a', u' ', u'\x01', u'\xFFFD', u'\xD800'}) {
        EXPECT_EQ(SegmentPattern({c, false}, ik7segment), "00000000");
        EXPECT_EQ(SegmentPattern({c, false}, ik9segment), "0000000000");
    }
    // A point-only cell lights its point whatever the flag says.
    for (char16_t c : {u'.', u','}) {
        for (bool flag : {false, true}) {
            EXPECT_EQ(SegmentPattern({c, flag}, ik7segment), "00000001");
            EXPECT_EQ(SegmentPattern({c, flag}, ik9segment), "0000000001");
        }
    }
}

// The lit dots of a dot-matrix cell as the rebuild collects them: one 5x7 cell filling the
// indicator, read back as rows of "0"/"1" from the lit and unlit lists.
std::string LitDots(char16_t c) {
    TIndicatorProperties p;
    p.indicatorKind = ik5x7matrix;
    p.signNumber = 1;
    p.indicatorWidth = 64;
    p.indicatorHeight = 112;
    p.indicatorGap = 0;
    p.innerBevel = p.outerBevel = bkNone;
    p.indicatorString = std::u16string(1, c);
    TPolyList lit, unlit;
    CollectPolygons(p, false, 64, 112, lit, unlit);
    EXPECT_EQ(lit.n + unlit.n, 35);
    std::string rows(41, ' ');
    const auto mark = [&](const TPolyList& list, char bit) {
        for (int i = 0; i < list.n; ++i) {
            const TPoint tl = list.vertices[static_cast<std::size_t>(i) * 4];
            // Column pitch (64 - 2*5)/5 = 10.8, row pitch 16, inset 5.
            const int col = static_cast<int>((tl.x - 5) / 10.8 + 0.5);
            const int row = tl.y / 16;
            rows[static_cast<std::size_t>(row * 6 + col)] = bit;
        }
    };
    mark(lit, '1');
    mark(unlit, '0');
    return rows;
}

TEST(MatrixPattern, CellsLightTheTableGlyphs) {
    EXPECT_EQ(LitDots(u'!'), "00110 00110 00110 00110 00000 00110 00110");
    EXPECT_EQ(LitDots(u'0'), "01110 10001 10001 10001 10001 10001 01110");
    EXPECT_EQ(LitDots(u','), "00000 00000 00000 00000 00110 00110 00010");
    EXPECT_EQ(LitDots(u'A'), "01110 10001 10001 11111 10001 10001 10001");
    EXPECT_EQ(LitDots(u'N'), "10001 11001 11001 10101 10111 10011 10001");
    EXPECT_EQ(LitDots(u'\\'), "00000 10000 01000 00100 00010 00001 00000");
    EXPECT_EQ(LitDots(u'g'), "00000 00000 01110 10001 01111 00001 00110");
    EXPECT_EQ(LitDots(u'|'), "00100 00100 00100 00100 00100 00100 00100");
    EXPECT_EQ(LitDots(u'~'), "01010 10100 00000 00000 00000 00000 00000");
    for (char16_t blank : {u' ', u'`', u'\x7F', u'\x1F', u'\x00E9', u'\xDC00'})
        EXPECT_EQ(LitDots(blank), "00000 00000 00000 00000 00000 00000 00000");
}

TEST(MatrixPattern, CommaCellDrawsItsOwnGlyph) {
    // 1,5 in three cells: the comma's cell lights rows 5 to 7 only.
    TIndicatorProperties p;
    p.indicatorKind = ik5x7matrix;
    p.signNumber = 3;
    p.indicatorString = u"1,5";
    TPolyList lit, unlit;
    CollectPolygons(p, false, p.indicatorWidth, p.indicatorHeight, lit, unlit);
    EXPECT_EQ(lit.n, 10 + 5 + 17); // "1", ",", "5"
    EXPECT_EQ(unlit.n, 3 * 35 - lit.n);
}

} // namespace
} // namespace vesmera

namespace vesmera {
namespace {

struct OddTextRow {
    TZyrelIndicatorKind kind;
    std::u16string text;
    int shownCells; // cells the text fills before the blanks on the left
};

class OddTextCells : public testing::TestWithParam<OddTextRow> {};

// Code units that are no character on their own (lone surrogates, controls, the replacement
// character) each take a cell and light nothing; a surrogate pair takes two.
TEST_P(OddTextCells, TakeCellsAndLightNothing) {
    const auto& row = GetParam();
    TIndicatorProperties p;
    p.indicatorKind = row.kind;
    p.signNumber = 7;
    p.indicatorString = row.text;
    TPolyList lit, unlit;
    CollectPolygons(p, false, p.indicatorWidth, p.indicatorHeight, lit, unlit);
    const int perCell = row.kind == ik5x7matrix ? 35 : row.kind == ik9segment ? 10 : 8;
    EXPECT_EQ(lit.n, 0);
    EXPECT_EQ(unlit.n, 7 * perCell);
    const auto cells = LayoutCells(row.text, row.kind, 7);
    ASSERT_EQ(cells.size(), 7u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(cells[static_cast<std::size_t>(i)].character == u' ', i < 7 - row.shownCells)
            << i;
}

INSTANTIATE_TEST_SUITE_P(Texts, OddTextCells,
                         testing::Values(OddTextRow{ik7segment, u"\xD800", 1},
                                         OddTextRow{ik9segment, u"\xDC00\xD800", 2},
                                         OddTextRow{ik5x7matrix, u"\xDFFF\x01\x7F", 3},
                                         OddTextRow{ik9segment, u"\U0001F600", 2},
                                         OddTextRow{ik7segment, std::u16string(1000, u'\xD83D'), 7},
                                         OddTextRow{ik5x7matrix, std::u16string(1000, u'\xFFFD'),
                                                    7}));

} // namespace
} // namespace vesmera
