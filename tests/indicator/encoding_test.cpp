#include <gtest/gtest.h>

#include "widgets/indicator/indicator_encoding.h"
#include "widgets/indicator/indicator_model.h"

namespace vesmera {
namespace {

// Polygon `index` of the list, as its vertices.
std::vector<TPoint> Polygon(const TPolyList& list, std::size_t& at, int index) {
    const auto n = static_cast<std::size_t>(list.counts[static_cast<std::size_t>(index)]);
    std::vector<TPoint> points(list.vertices.begin() + static_cast<std::ptrdiff_t>(at),
                               list.vertices.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    return points;
}

// What a rebuild draws for the text, cell by cell and parted by blanks: each segment or dot
// of every cell, in drawing order, "1" when the rebuild lights it and "0" when it leaves it
// unlit. The polygons of every cell come from an indicator that shows nothing.
std::string Drawn(std::u16string_view text, TZyrelIndicatorKind kind, int cells) {
    TIndicatorProperties p;
    p.indicatorKind = kind;
    p.signNumber = cells;
    TPolyList all, none, lit, unlit;
    CollectPolygons(p, false, p.indicatorWidth, p.indicatorHeight, none, all);
    EXPECT_EQ(none.n, 0);
    p.indicatorString = text;
    CollectPolygons(p, false, p.indicatorWidth, p.indicatorHeight, lit, unlit);
    const int perCell = all.n / cells;
    std::string out;
    std::size_t allAt = 0, litAt = 0, unlitAt = 0;
    int litNext = 0, unlitNext = 0;
    for (int i = 0; i < all.n; ++i) {
        if (i > 0 && i % perCell == 0)
            out += ' ';
        const std::vector<TPoint> polygon = Polygon(all, allAt, i);
        std::size_t litTry = litAt, unlitTry = unlitAt;
        if (litNext < lit.n && Polygon(lit, litTry, litNext) == polygon) {
            out += '1';
            litAt = litTry;
            ++litNext;
        } else if (unlitNext < unlit.n && Polygon(unlit, unlitTry, unlitNext) == polygon) {
            out += '0';
            unlitAt = unlitTry;
            ++unlitNext;
        } else {
            out += '?';
        }
    }
    EXPECT_EQ(litNext, lit.n);
    EXPECT_EQ(unlitNext, unlit.n);
    return out;
}

// The patterns of cells written as in the layout table: "_" a blank cell, "P" a point-only
// cell of the segment kinds, a trailing "." a lit point, any other character its own cell.
std::string Expected(std::string_view cells, TZyrelIndicatorKind kind) {
    std::string out;
    std::size_t at = 0;
    while (at < cells.size()) {
        std::size_t end = cells.find(' ', at);
        if (end == std::string_view::npos)
            end = cells.size();
        const std::string_view token = cells.substr(at, end - at);
        at = end + 1;
        TIndicatorCell cell{token[0] == '_'                          ? u' '
                            : token[0] == 'P' && kind != ik5x7matrix ? u'.'
                                                                     : char16_t(token[0]),
                            token.size() > 1 && token[1] == '.'};
        if (!out.empty())
            out += ' ';
        if (kind == ik5x7matrix) {
            for (char dot : MatrixPattern(cell.character))
                if (dot != ' ')
                    out += dot;
        } else {
            out += SegmentPattern(cell, kind);
        }
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
        EXPECT_EQ(Drawn(GetParam().text, kind, 7), Expected(GetParam().cells, kind)) << kind;
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
    EXPECT_EQ(Drawn(u"1,5", ik5x7matrix, 7), Expected("_ _ _ _ 1 , 5", ik5x7matrix));
    // A point is never folded: "5." shows no point dot of the 5's own.
    EXPECT_EQ(Drawn(u"5.", ik5x7matrix, 3), Expected("_ 5 .", ik5x7matrix));
    EXPECT_EQ(Drawn(u"ABCDEFGHI", ik5x7matrix, 7), Expected("A B C D E F G", ik5x7matrix));
    EXPECT_EQ(Drawn(u"", ik5x7matrix, 3), Expected("_ _ _", ik5x7matrix));
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
    EXPECT_EQ(LayoutText(row.text, row.kind, 7).size(), static_cast<std::size_t>(row.shownCells));
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
