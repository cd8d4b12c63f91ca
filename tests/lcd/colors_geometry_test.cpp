#include <gtest/gtest.h>

#include "widgets/lcd/lcd_colors.h"
#include "widgets/lcd/lcd_geometry.h"

namespace vesmera {
namespace {

struct ColorCase {
    const char* name;
    TColor pixelOff;
    TColor font;
    std::int8_t intensity;
    DotColors expected;
};

class DotColorDerivation : public ::testing::TestWithParam<ColorCase> {};

TEST_P(DotColorDerivation, KeepsTheLowByteOfEachChannel) {
    const auto& p = GetParam();
    EXPECT_EQ(DeriveDotColors(p.pixelOff, p.font, p.intensity), p.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Colors, DotColorDerivation,
    ::testing::Values(
        // k = 128: -255 * 128 / 255 = -128, low byte 128.
        ColorCase{"RedOnBlack", clBlack, clRed, 127, {RGB(128, 0, 0), clBlack}},
        // -128 * 128 / 255 = -64.25, rounded -64, low byte 192.
        ColorCase{"HalfGreenOnBlack", clBlack, RGB(0, 128, 0), 127, {RGB(0, 192, 0), clBlack}},
        ColorCase{"GreenSettingOnBlack", clBlack, clGreen, 127, {RGB(0, 192, 0), clBlack}},
        // k = 254: -255 * 254 / 255 = -254, low byte 2.
        ColorCase{"NegativeSwaps", clBlack, clRed, -1, {clBlack, RGB(2, 0, 0)}},
        // k = 127 for -128: -255 * 127 / 255 = -127, low byte 129.
        ColorCase{"MostNegative", clBlack, clRed, -128, {clBlack, RGB(129, 0, 0)}},
        // Zero intensity keeps the whole difference: 170 - 0 = 170.
        ColorCase{"ZeroIntensity",
                  RGB(170, 170, 170),
                  clBlack,
                  0,
                  {RGB(170, 170, 170), RGB(170, 170, 170)}},
        // Positive differences: (200 - 100) * 128 / 255 = 50.2 -> 50.
        ColorCase{"PositiveDifference",
                  RGB(200, 0, 0),
                  RGB(100, 0, 0),
                  127,
                  {RGB(50, 0, 0), RGB(200, 0, 0)}},
        // Rounding to nearest: 1 * 128 / 255 = 0.502 -> 1; -1 * 128 / 255 -> -1 -> 255.
        ColorCase{
            "RoundsToNearest", RGB(1, 0, 0), RGB(0, 0, 1), 127, {RGB(1, 0, 255), RGB(1, 0, 0)}},
        // System colours are resolved first: the window colour is white.
        ColorCase{"SystemColours", clWindow, clBlack, 127, {RGB(128, 128, 128), clWhite}}),
    [](const auto& info) { return info.param.name; });

struct GeometryCase {
    const char* name;
    int width, height;
    DotLayout layout;
    DotGeometry expected;
};

class Geometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(Geometry, SnapsToWholeDots) {
    const auto& p = GetParam();
    EXPECT_EQ(ComputeGeometry(p.width, p.height, p.layout), p.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Geometry,
    ::testing::Values(GeometryCase{"MessageScreen", 403, 127, {3, 3, 0, 3}, {132, 40, 402, 126}},
                      GeometryCase{"Width400", 400, 126, {3, 3, 0, 3}, {131, 40, 399, 126}},
                      GeometryCase{"NewScreen", 145, 65, {2, 2, 1, 3}, {46, 20, 143, 65}},
                      GeometryCase{"ExactFitStays", 143, 65, {2, 2, 1, 3}, {46, 20, 143, 65}},
                      GeometryCase{"OneDot", 8, 8, {2, 2, 1, 3}, {1, 1, 8, 8}},
                      // No dot fits: no dots, and the size stays as it is.
                      GeometryCase{"WidthZero", 0, 65, {2, 2, 1, 3}, {0, 0, 0, 65}},
                      GeometryCase{"TooSmall", 7, 65, {2, 2, 1, 3}, {0, 0, 7, 65}},
                      GeometryCase{"NegativeSize", -20, -5, {3, 3, 0, 3}, {0, 0, -20, -5}},
                      GeometryCase{"SpacingCancelsDot", 100, 100, {2, 2, -2, 3}, {0, 0, 100, 100}},
                      GeometryCase{"NegativeBorder", 10, 10, {2, 2, 0, -1}, {6, 6, 10, 10}}),
    [](const auto& info) { return info.param.name; });

TEST(Geometry, DotCountsStayInSixteenBits) {
    const auto g = ComputeGeometry(200000, 10, {1, 1, 0, 0});
    EXPECT_EQ(g.NbXPixels, 65535);
    EXPECT_EQ(g.Width, 65535);
}

} // namespace
} // namespace vesmera
