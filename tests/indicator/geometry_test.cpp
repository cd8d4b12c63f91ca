#include <climits>

#include <gtest/gtest.h>

#include "widgets/indicator/indicator_geometry.h"
#include "widgets/indicator/indicator_model.h"
#include "widgets/indicator/pixel_region.h"

namespace vesmera {
namespace {

using Points = std::vector<TPoint>;

} // namespace

void PrintTo(const TPoint& p, std::ostream* os) {
    *os << "(" << p.x << "," << p.y << ")";
}

namespace {

// The main window's indicator: 242 x 64, seven nine-segment cells, thick, both bevels sunken.
TIndicatorProperties MainWindowIndicator() {
    TIndicatorProperties p;
    p.indicatorWidth = 242;
    p.indicatorHeight = 64;
    p.signNumber = 7;
    p.indicatorKind = ik9segment;
    p.indicatorStyle = isThick;
    p.outerBevel = bkDown;
    p.innerBevel = bkDown;
    return p;
}

Points Polygon(const TPolyList& list, int index) {
    std::size_t at = 0;
    for (int i = 0; i < index; ++i)
        at += static_cast<std::size_t>(list.counts[static_cast<std::size_t>(i)]);
    const auto n = static_cast<std::size_t>(list.counts[static_cast<std::size_t>(index)]);
    return Points(list.vertices.begin() + static_cast<std::ptrdiff_t>(at),
                  list.vertices.begin() + static_cast<std::ptrdiff_t>(at + n));
}

Points Shifted(Points p, int dx) {
    for (auto& v : p)
        v.x += dx;
    return p;
}

TEST(Rounding, TruncatesAndRoundsHalvesToEven) {
    EXPECT_EQ(TruncToInt(2.9), 2);
    EXPECT_EQ(TruncToInt(-2.9), -2);
    EXPECT_EQ(TruncToInt(1e300), INT_MAX);
    EXPECT_EQ(TruncToInt(-1e300), INT_MIN);
    EXPECT_EQ(RoundToInt(0.5L), 0);
    EXPECT_EQ(RoundToInt(1.5L), 2);
    EXPECT_EQ(RoundToInt(2.5L), 2);
    EXPECT_EQ(RoundToInt(-2.5L), -2);
    EXPECT_EQ(RoundToInt(-1.5L), -2);
    EXPECT_EQ(RoundToInt(2.50001L), 3);
    EXPECT_EQ(RoundToInt(1e30L), INT_MAX);
}

TEST(CellMetrics, MainWindowIndicator) {
    const TCellMetrics m = ComputeCellMetrics(242, 64, 7, 2, bkDown, 2, bkDown, 2);
    EXPECT_EQ(m.margin, 6);
    EXPECT_EQ(m.cellHeight, 52);
    EXPECT_EQ(m.cellWidth, 32);
    EXPECT_DOUBLE_EQ(SegmentThickness(32, 52, isThick, false), 6.4);
}

TEST(CellMetrics, FallBacks) {
    // A bevel of kind none adds nothing to the margin.
    EXPECT_EQ(ComputeCellMetrics(242, 64, 7, 2, bkNone, 9, bkDown, 2).margin, 4);
    // A negative gap that makes the cells taller than the indicator falls back to its height,
    // and wider cells than W div N fall back to W div N.
    const TCellMetrics neg = ComputeCellMetrics(242, 64, 7, -20, bkDown, 2, bkDown, 2);
    EXPECT_EQ(neg.cellHeight, 64);
    EXPECT_EQ(neg.cellWidth, 34);
    // A gap larger than the control.
    const TCellMetrics big = ComputeCellMetrics(242, 64, 7, 500, bkDown, 2, bkDown, 2);
    EXPECT_EQ(big.cellHeight, 64);
    EXPECT_EQ(big.cellWidth, 34);
    const TCellMetrics huge =
        ComputeCellMetrics(242, 64, 7, INT_MAX, bkDown, INT_MAX, bkUP, INT_MAX);
    EXPECT_EQ(huge.cellHeight, 64);
    EXPECT_EQ(huge.cellWidth, 34);
}

TEST(SegmentThickness, StylesHoverAndMinimum) {
    EXPECT_DOUBLE_EQ(SegmentThickness(48, 80, isThin, false), 6);
    EXPECT_DOUBLE_EQ(SegmentThickness(48, 80, isThin, true), 8);
    EXPECT_DOUBLE_EQ(SegmentThickness(48, 80, isNormal, false), 8);
    EXPECT_DOUBLE_EQ(SegmentThickness(48, 80, isNormal, true), 9.6);
    EXPECT_DOUBLE_EQ(SegmentThickness(45, 80, isThick, false), 9);
    EXPECT_DOUBLE_EQ(SegmentThickness(45, 80, isThick, true), 10);
    EXPECT_DOUBLE_EQ(SegmentThickness(10, 80, isThin, false), 2);
    EXPECT_DOUBLE_EQ(SegmentThickness(17, 32, isNormal, false), 3);
    EXPECT_DOUBLE_EQ(SegmentThickness(10, 80, isThick, true), 4);
}

TEST(Geometry, WorkedExampleOfTheMainWindow) {
    TIndicatorProperties p = MainWindowIndicator();
    TPolyList lit, unlit;
    CollectPolygons(p, false, 242, 64, lit, unlit);
    ASSERT_EQ(lit.n, 0);
    ASSERT_EQ(unlit.n, 70);
    // Cell 1: segments 1 to 7, the colon dots 8 and 9, the point 10.
    EXPECT_EQ(Polygon(unlit, 2), (Points{{15, 9}, {18, 9}, {27, 9}, {31, 9}, {27, 15}, {18, 15}}));
    EXPECT_EQ(Polygon(unlit, 0),
              (Points{{10, 53}, {6, 47}, {8, 35}, {12, 32}, {15, 35}, {13, 47}}));
    EXPECT_EQ(Polygon(unlit, 6),
              (Points{{13, 32}, {16, 28}, {25, 28}, {29, 32}, {25, 35}, {16, 35}}));
    EXPECT_EQ(Polygon(unlit, 7),
              (Points{{19, 26}, {17, 22}, {19, 17}, {24, 17}, {26, 22}, {24, 26}}));
    EXPECT_EQ(Polygon(unlit, 9),
              (Points{{30, 51}, {32, 48}, {36, 48}, {37, 51}, {36, 54}, {32, 54}}));
    int maxX = 0;
    for (int k = 1; k < 7; ++k)
        for (int s = 0; s < 10; ++s)
            EXPECT_EQ(Polygon(unlit, k * 10 + s), Shifted(Polygon(unlit, s), 32 * k))
                << k << " " << s;
    for (const auto& v : unlit.vertices)
        maxX = std::max(maxX, v.x);
    // Cells end at 6 + 7 * 32; the 6 pixels up to the inner edge at 236 stay empty.
    EXPECT_LE(maxX, 230);
}

TEST(Geometry, LitAndUnlitFollowTheText) {
    TIndicatorProperties p = MainWindowIndicator();
    p.indicatorString = u"12,5";
    TPolyList lit, unlit;
    CollectPolygons(p, false, 242, 64, lit, unlit);
    // 1 (b c), 2 (e a b d g) with its point, 5 (f a c d g).
    EXPECT_EQ(lit.n, 2 + 6 + 5);
    EXPECT_EQ(unlit.n, 70 - lit.n);
    // The first lit polygon is segment 4 (b) of cell 5.
    const Points b = Polygon(lit, 0);
    EXPECT_EQ(b[0], (TPoint{6 + 4 * 32 + 26, 9}));
}

TEST(Geometry, SevenSegmentCellOf17By32) {
    const THexagon a = SegmentPolygon(3, ik7segment, 17, 32, 3);
    EXPECT_EQ(Points(a.begin(), a.end()),
              (Points{{5, 2}, {6, 2}, {11, 2}, {12, 2}, {11, 5}, {6, 5}}));
    const THexagon point = SegmentPolygon(8, ik7segment, 17, 32, 3);
    EXPECT_EQ(Points(point.begin(), point.end()),
              (Points{{13, 28}, {14, 26}, {15, 26}, {16, 28}, {15, 29}, {14, 29}}));
}

TEST(Geometry, DotMatrixCellOf32By52) {
    const TQuad first = DotPolygon(1, 1, 32, 52, isThick, false);
    EXPECT_EQ(Points(first.begin(), first.end()), (Points{{3, 0}, {7, 0}, {7, 6}, {3, 6}}));
    const TQuad last = DotPolygon(7, 5, 32, 52, isThick, false);
    EXPECT_EQ(Points(last.begin(), last.end()), (Points{{23, 44}, {27, 44}, {27, 50}, {23, 50}}));
    // Hover width makes dots thinner: 3/4 of the pitch, 2.9 (raised to 3.5) x 4.57.
    const TQuad hover = DotPolygon(1, 1, 32, 52, isThick, true);
    EXPECT_EQ(Points(hover.begin(), hover.end()), (Points{{3, 0}, {6, 0}, {6, 4}, {3, 4}}));
    // Tiny cells keep the smallest dot.
    const TQuad tiny = DotPolygon(1, 1, 8, 8, isThin, false);
    EXPECT_EQ(tiny[2].x - tiny[0].x, 1);
    EXPECT_EQ(tiny[2].y - tiny[0].y, 1);
}

TEST(Geometry, TurnedQuarterReadsBottomToTop) {
    EXPECT_EQ(BoundingSize(172, 36, 900), (TSize{36, 172}));
    const TQuad q = WindowPolygon(172, 36, 900, 36, 172);
    EXPECT_EQ(Points(q.begin(), q.end()), (Points{{0, 172}, {0, 0}, {36, 0}, {36, 172}}));
    TIndicatorProperties p;
    p.indicatorAngle = 900;
    p.indicatorString = u"8888888888";
    TPolyList lit, unlit;
    CollectPolygons(p, false, 36, 172, lit, unlit);
    ASSERT_EQ(lit.n, 70);
    // The first cell's bars end up lowest on the screen, the last cell's highest.
    const auto meanY = [&](int first) {
        double y = 0;
        for (int i = first; i < first + 7; ++i)
            for (const auto& v : Polygon(lit, i))
                y += v.y;
        return y / 42;
    };
    EXPECT_GT(meanY(0), meanY(63));
    for (const auto& v : lit.vertices) {
        EXPECT_GE(v.x, 0);
        EXPECT_LE(v.x, 36);
        EXPECT_GE(v.y, 0);
        EXPECT_LE(v.y, 172);
    }
}

TEST(Geometry, TurningKeepsPointsAtZeroAndCentres) {
    TPoint pts[] = {{10, 20}, {0, 0}, {86, 18}};
    TurnPoints(pts, 3, 86, 18, 0);
    EXPECT_EQ(pts[0], (TPoint{10, 20}));
    TurnPoints(pts, 3, 86, 18, 1800);
    EXPECT_EQ(pts[2], (TPoint{86, 18}));
    EXPECT_EQ(pts[0], (TPoint{162, 16}));
}

TEST(Geometry, BoundingSizes) {
    EXPECT_EQ(BoundingSize(172, 36, 0), (TSize{172, 36}));
    EXPECT_EQ(BoundingSize(172, 36, 450), (TSize{147, 147}));
    EXPECT_EQ(BoundingSize(172, 36, 1800), (TSize{172, 36}));
    EXPECT_EQ(BoundingSize(172, 36, -900), (TSize{36, 172}));
    EXPECT_EQ(BoundingSize(INT_MAX, INT_MAX, 450).width, INT_MAX);
}

TEST(Geometry, NegativeGapFallsBackToFullHeight) {
    TIndicatorProperties p = MainWindowIndicator();
    p.indicatorGap = -40;
    TPolyList lit, unlit;
    CollectPolygons(p, false, 242, 64, lit, unlit);
    ASSERT_EQ(unlit.n, 70);
    // m = -36, ch = 64 (the fall-back), cw = 242 div 7 = 34: the first cell starts at -36.
    const THexagon e =
        SegmentPolygon(1, ik9segment, 34, 64, SegmentThickness(34, 64, isThick, false));
    Points expected(e.begin(), e.end());
    for (auto& v : expected) {
        v.x -= 36;
        v.y -= 36;
    }
    EXPECT_EQ(Polygon(unlit, 0), expected);
}

TEST(Geometry, TooManyCellsDrawNothing) {
    TIndicatorProperties p;
    p.signNumber = 1000;
    TPolyList lit, unlit;
    CollectPolygons(p, false, 172, 36, lit, unlit);
    EXPECT_EQ(lit.n + unlit.n, 0);
    p.signNumber = INT_MAX;
    CollectPolygons(p, false, 172, 36, lit, unlit);
    EXPECT_EQ(lit.n + unlit.n, 0);
}

// Cells far taller than the control used to count as reaching into it from any distance along
// the row, so a huge height with a huge cell count built every cell and ran out of memory.
TEST(Geometry, TallCellsFarAlongTheRowAreNotBuilt) {
    TIndicatorProperties p;
    p.indicatorWidth = 200000;
    p.indicatorHeight = INT_MAX;
    p.signNumber = 200000;
    TPolyList lit, unlit;
    CollectPolygons(p, false, 300, 40, lit, unlit);
    EXPECT_GT(unlit.n, 0);
    EXPECT_LE(lit.n + unlit.n, 8 * 1000);
}

// Whatever the culling leaves out of a small control is invisible in it: the same indicator
// centred in a larger control, which keeps more cells, shows the same pixels there.
TEST(Geometry, TallCellsLeftOutShowNowhereInTheControl) {
    TIndicatorProperties p;
    p.indicatorKind = ik9segment;
    p.indicatorWidth = 3000;
    p.indicatorHeight = 1000000;
    p.signNumber = 1000;
    p.indicatorString = std::u16string(1000, u'8');
    for (int angle : {0, 300, 900, -1234}) {
        p.indicatorAngle = angle;
        TPolyList lit, unlit, bigLit, bigUnlit;
        CollectPolygons(p, false, 300, 40, lit, unlit);
        constexpr int kMore = 600;
        CollectPolygons(p, false, 300 + 2 * kMore, 40 + 2 * kMore, bigLit, bigUnlit);
        EXPECT_LT(lit.n + unlit.n, bigLit.n + bigUnlit.n);
        int pixels = 0;
        for (const auto& [small, big] : {std::pair{&lit, &bigLit}, {&unlit, &bigUnlit}}) {
            TPixelMask inSmall(300, 40), inBig(300 + 2 * kMore, 40 + 2 * kMore);
            inSmall.Add(RasterizeEvenOdd(*small, 300, 40));
            inBig.Add(RasterizeEvenOdd(*big, 300 + 2 * kMore, 40 + 2 * kMore));
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 300; ++x) {
                    EXPECT_EQ(inSmall.Contains(x, y), inBig.Contains(x + kMore, y + kMore))
                        << "angle " << angle << " at " << x << "," << y;
                    pixels += inSmall.Contains(x, y);
                }
        }
        EXPECT_GT(pixels, 0) << "angle " << angle;
    }
}

} // namespace
} // namespace vesmera
