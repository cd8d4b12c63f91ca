#include <gtest/gtest.h>

#include "lcd_fakes.h"
#include "widgets/lcd/dot_renderer.h"

namespace vesmera {
namespace {

using testing_lcd::ConfigureMessageScreen;
using testing_lcd::FakeRenderer;
using testing_lcd::ModelScreen;

MonoImage Pattern(int w, int h, std::initializer_list<std::pair<int, int>> dark) {
    MonoImage m(w, h);
    for (auto [x, y] : dark)
        m.SetDark(x, y, true);
    return m;
}

std::string Rows(const MonoImage& m) {
    std::string s;
    for (int y = 0; y < m.Height(); ++y) {
        for (int x = 0; x < m.Width(); ++x)
            s += m.Dark(x, y) ? '#' : '.';
        s += '\n';
    }
    return s;
}

constexpr auto kOn = 0xFFAA0000u, kOff = 0xFF110000u, kGap = 0xFF0000FFu;

TEST(DotFrame, PlacesTextAtOffsetPlusReference) {
    const MonoImage lines = Pattern(2, 1, {{0, 0}});
    const MonoImage none;
    ScrollReferences refs{1, 1};
    const auto frame = BuildDotFrame(5, 3, dmText, cmNotTransparent, {&lines, 1, 0, amDynamic},
                                     {&none, 0, 0, amDynamic}, refs);
    EXPECT_EQ(Rows(frame), ".....\n..#..\n.....\n");
    ScrollReferences still{1, 1};
    const auto fixed = BuildDotFrame(5, 3, dmText, cmNotTransparent, {&lines, 1, 0, amStatic},
                                     {&none, 0, 0, amDynamic}, still);
    EXPECT_EQ(Rows(fixed), ".#...\n.....\n.....\n");
}

struct WrapCase {
    const char* name;
    int offset;
    std::int32_t before;
    std::int32_t after;
};

class WrapAround : public ::testing::TestWithParam<WrapCase> {};

// Text 10 wide on 20 dot columns: it wraps once it lies wholly past an edge.
TEST_P(WrapAround, MovesTheReference) {
    const MonoImage lines(10, 1);
    const MonoImage none;
    ScrollReferences refs{GetParam().before, 0};
    BuildDotFrame(20, 1, dmText, cmNotTransparent, {&lines, GetParam().offset, 0, amStatic},
                  {&none, 0, 0, amDynamic}, refs);
    EXPECT_EQ(refs.H, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Edges, WrapAround,
                         ::testing::Values(WrapCase{"StillVisible", 0, -10, -10},
                                           WrapCase{"FirstBeyondLeft", 0, -11, 19},
                                           WrapCase{"OffsetCounts", 5, -16, 14},
                                           WrapCase{"RightEdgeStays", 0, 20, 20},
                                           WrapCase{"BeyondRight", 0, 21, -9},
                                           // Far past an edge: back in one rendering.
                                           WrapCase{"FarBeyondLeft", 0, -1000, -10},
                                           WrapCase{"FarBeyondLeftWithOffset", 5, -1001, -11},
                                           WrapCase{"FarBeyondRight", 0, 1000, 10},
                                           WrapCase{"LowestReference", 0, INT32_MIN, -8},
                                           WrapCase{"HighestReference", 0, INT32_MAX, 7}),
                         [](const auto& info) { return info.param.name; });

TEST(DotFrame, BothSourcesCopyOrCombine) {
    const MonoImage lines = Pattern(3, 1, {{0, 0}, {1, 0}});
    const MonoImage bitmap = Pattern(2, 1, {{1, 0}});
    ScrollReferences refs;
    auto frame = BuildDotFrame(4, 1, dmBoth, cmNotTransparent, {&lines, 0, 0, amDynamic},
                               {&bitmap, 0, 0, amDynamic}, refs);
    EXPECT_EQ(Rows(frame), ".#..\n"); // the bitmap's rectangle replaces the text under it
    frame = BuildDotFrame(4, 1, dmBoth, cmTransparent, {&lines, 0, 0, amDynamic},
                          {&bitmap, 0, 0, amDynamic}, refs);
    EXPECT_EQ(Rows(frame), "##..\n");
    frame = BuildDotFrame(4, 1, dmBitmap, cmTransparent, {&lines, 0, 0, amDynamic},
                          {&bitmap, 0, 0, amDynamic}, refs);
    EXPECT_EQ(Rows(frame), ".#..\n");
}

TEST(DotFrame, BothSourcesWrapWithTheLargerSize) {
    const MonoImage lines(3, 1), bitmap(6, 1);
    // Past -3 the lines alone would wrap; with the bitmap the larger width 6 counts.
    ScrollReferences refs{-6, 0};
    BuildDotFrame(10, 1, dmBoth, cmNotTransparent, {&lines, 0, 0, amDynamic},
                  {&bitmap, 0, 0, amDynamic}, refs);
    EXPECT_EQ(refs.H, -6);
    refs.H = -7;
    BuildDotFrame(10, 1, dmBoth, cmNotTransparent, {&lines, 0, 0, amDynamic},
                  {&bitmap, 0, 0, amDynamic}, refs);
    EXPECT_EQ(refs.H, -7 + 6 + 10);
}

TEST(DotFrame, EitherSourceTriggersBothChecksInTurn) {
    // The bitmap is past the left edge, so the references move right; the lines, which were
    // not, are then past the right edge and move them back. Both checks run as they stand.
    const MonoImage lines(3, 1), bitmap(6, 1);
    ScrollReferences refs{-5, 0};
    BuildDotFrame(10, 1, dmBoth, cmNotTransparent, {&lines, 0, 0, amDynamic},
                  {&bitmap, -2, 0, amDynamic}, refs);
    EXPECT_EQ(refs.H, -5);
    refs.H = -9; // both past the left edge
    BuildDotFrame(10, 1, dmBoth, cmNotTransparent, {&lines, 0, 0, amDynamic},
                  {&bitmap, -2, 0, amDynamic}, refs);
    EXPECT_EQ(refs.H, 7);
}

TEST(LitCell, ShapeBySize) {
    auto cell = [](int w, int h, TPixelShape shape) {
        const RgbImage c = MakeLitCell({w, h, 0, shape, kOn, kOff, kGap});
        std::string s;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                s += c.At(x, y) == kOn ? '#' : c.At(x, y) == kOff ? '.' : '?';
            s += '\n';
        }
        return s;
    };
    EXPECT_EQ(cell(3, 3, psSquare), "###\n###\n###\n");
    EXPECT_EQ(cell(3, 3, psRound), ".#.\n###\n.#.\n");
    EXPECT_EQ(cell(4, 4, psRound), ".##.\n####\n####\n.##.\n");
    EXPECT_EQ(cell(1, 1, psRound), "#\n");
    EXPECT_EQ(cell(2, 2, psRound), "##\n##\n");
}

// At scale 2 the message screen's 3 x 3 round dot is drawn at 6 x 6 device pixels as a disc,
// not as its plus doubled into 2-pixel blocks; dots and gaps keep their logical places.
TEST(Dots, AtScaleTwoEachDotIsDrawnAtTheDevicesPixels) {
    const MonoImage frame = Pattern(2, 1, {{1, 0}});
    RgbImage target(2 * 7, 2 * 3, kGap);
    RenderDots(frame, {3, 3, 1, psRound, kOn, kOff, kGap}, target, 2.0);
    std::string s;
    for (int y = 0; y < target.Height(); ++y) {
        for (int x = 0; x < target.Width(); ++x)
            s += target.At(x, y) == kOn ? '#' : target.At(x, y) == kOff ? '.' : ' ';
        s += '\n';
    }
    EXPECT_EQ(s, "......  ..##..\n"
                 "......  .####.\n"
                 "......  ######\n"
                 "......  ######\n"
                 "......  .####.\n"
                 "......  ..##..\n");
}

TEST(Dots, LitCellsWhereDarkUnlitElsewhereGapsInBackground) {
    // Dots 2 x 2 with spacing 1: dot i starts at 3 i.
    const MonoImage frame = Pattern(9, 2, {{0, 0}, {8, 0}, {3, 1}});
    RgbImage target(27, 5, kGap);
    RenderDots(frame, {2, 2, 1, psSquare, kOn, kOff, kGap}, target);
    EXPECT_EQ(target.At(0, 0), kOn);
    EXPECT_EQ(target.At(1, 1), kOn);
    EXPECT_EQ(target.At(2, 0), kGap); // horizontal gap
    EXPECT_EQ(target.At(3, 0), kOff);
    EXPECT_EQ(target.At(24, 0), kOn); // dot 8, read from the second frame byte
    EXPECT_EQ(target.At(0, 2), kGap); // vertical gap
    EXPECT_EQ(target.At(9, 3), kOn);  // row 1, dot 3
    EXPECT_EQ(target.At(0, 3), kOff);
    EXPECT_EQ(target.At(26, 0), kGap); // beyond the last dot: the strip's background
    EXPECT_EQ(target.At(26, 3), kGap);
}

TEST(Dots, StripRepeatsUnlitCellsAcrossTheWholeTarget) {
    const MonoImage frame(40, 1);
    RgbImage target(200, 3, 0);
    RenderDots(frame, {3, 3, 2, psSquare, kOn, kOff, kGap}, target);
    for (int x = 0; x < 200; ++x)
        EXPECT_EQ(target.At(x, 2), x % 5 < 3 ? kOff : kGap) << x;
}

TEST(Compose, MessageScreenLightsTheTextInTheDerivedColour) {
    ModelScreen m;
    auto& s = m.Screen;
    ConfigureMessageScreen(s);
    s.Lines().SetText("AB");
    const RgbImage p = s.Compose(true);
    ASSERT_EQ(p.Width(), 402);
    ASSERT_EQ(p.Height(), 126);
    const auto lit = RgbImage::FromColor(RGB(128, 0, 0));
    const auto black = RgbImage::FromColor(clBlack);
    // Dot (0, 0) is the top-left text pixel, drawn round: its corner pixel stays unlit.
    EXPECT_EQ(p.At(3 + 1, 3 + 1), lit);
    EXPECT_EQ(p.At(3, 3), black);
    // The fake glyphs are 8 dots wide together; dot 8 is unlit.
    EXPECT_EQ(p.At(3 + 8 * 3 + 1, 3 + 1), black);
}

TEST(Compose, BorderStylesAndDisabledScreen) {
    ModelScreen m;
    auto& s = m.Screen;
    s.SetColor(clBlack);
    s.SetPixelOff(clWhite);
    s.Lines().SetText("X");
    const auto highlight = RgbImage::FromColor(clBtnHighlight);
    const auto shadow = RgbImage::FromColor(clBtnShadow);
    RgbImage p = s.Compose(true); // 143 x 65, lowered by default
    EXPECT_EQ(p.At(142, 30), highlight);
    EXPECT_EQ(p.At(70, 64), highlight);
    EXPECT_EQ(p.At(0, 30), shadow);
    EXPECT_EQ(p.At(70, 0), shadow);
    s.SetBorderStyle(bsRaised);
    p = s.Compose(true);
    EXPECT_EQ(p.At(142, 30), shadow);
    EXPECT_EQ(p.At(0, 30), highlight);

    // Disabled: background and border only, no lit and no unlit dots.
    p = s.Compose(false);
    for (int y = 1; y < 64; ++y)
        for (int x = 1; x < 142; ++x)
            ASSERT_EQ(p.At(x, y), RgbImage::FromColor(clBlack)) << x << "," << y;
}

TEST(Compose, EmptyLinesShowNoLitDots) {
    ModelScreen m;
    auto& s = m.Screen;
    ConfigureMessageScreen(s);
    s.Lines().SetText("");
    s.SetPixelOff(clWhite); // unlit dots white, lit would be grey
    const RgbImage p = s.Compose(true);
    const auto white = RgbImage::FromColor(clWhite);
    for (int y = 3; y < 123; ++y)
        for (int x = 3; x < 399; ++x)
            ASSERT_EQ(p.At(x, y), white) << x << "," << y;
}

TEST(Compose, WidthIsSnappedByThePaintNotTheSetter) {
    ModelScreen m;
    auto& s = m.Screen;
    ConfigureMessageScreen(s);
    s.SetSize(400, 200);
    EXPECT_EQ(s.Width(), 400);
    EXPECT_EQ(s.Height(), 200);
    s.Compose(true);
    EXPECT_EQ(s.Width(), 399);
    EXPECT_EQ(s.Height(), 198);
    EXPECT_EQ(m.Host.Snaps.back(), std::make_pair(399, 198));
}

} // namespace
} // namespace vesmera
