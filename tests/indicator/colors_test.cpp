#include <climits>

#include <gtest/gtest.h>

#include "widgets/indicator/color_scheme.h"
#include "widgets/indicator/indicator_geometry.h"

namespace vesmera {
namespace {

TEST(BevelShades, LightenAndDarkenWithCaps) {
    EXPECT_EQ(LightenColor(clMaroon), RGB(160, 32, 32));
    EXPECT_EQ(DarkenColor(clMaroon), RGB(96, 0, 0));
    EXPECT_EQ(LightenColor(clWhite), clWhite);
    EXPECT_EQ(DarkenColor(clWhite), RGB(223, 223, 223));
    EXPECT_EQ(DarkenColor(clBlack), clBlack);
    EXPECT_EQ(LightenColor(RGB(10, 230, 240)), RGB(42, 255, 255));
    // A system colour is resolved first: button face (240, 240, 240).
    EXPECT_EQ(LightenColor(clBtnFace), RGB(255, 255, 255));
    EXPECT_EQ(DarkenColor(clBtnFace), RGB(208, 208, 208));
}

struct OrderRow {
    int angle;
    TBevelSideKind first;
    TBevelSideKind second;
};

class BevelOrder : public testing::TestWithParam<OrderRow> {};

// The first two sides drawn take the light shade of a raised bevel.
TEST_P(BevelOrder, LightSidesByAngle) {
    const auto order = BevelSideOrder(GetParam().angle);
    EXPECT_EQ(order[0], GetParam().first);
    EXPECT_EQ(order[1], GetParam().second);
}

using enum TBevelSideKind;
INSTANTIATE_TEST_SUITE_P(Ranges, BevelOrder,
                         testing::Values(OrderRow{0, Top, Left}, OrderRow{449, Top, Left},
                                         OrderRow{450, Top, Right}, OrderRow{900, Top, Right},
                                         OrderRow{1350, Top, Right}, OrderRow{1351, Bottom, Right},
                                         OrderRow{2249, Bottom, Right},
                                         OrderRow{2250, Left, Bottom}, OrderRow{3150, Left, Bottom},
                                         OrderRow{3151, Top, Left}, OrderRow{3599, Top, Left},
                                         OrderRow{-900, Left, Bottom},
                                         OrderRow{3600 + 450, Top, Right},
                                         OrderRow{-6751, Top, Left}, OrderRow{INT_MAX, Top, Right},
                                         OrderRow{INT_MIN, Left, Bottom}));

TEST(BevelOrder, LastTwoSidesAreTheOthers) {
    EXPECT_EQ(BevelSideOrder(0), (std::array{Top, Left, Bottom, Right}));
    EXPECT_EQ(BevelSideOrder(450), (std::array{Top, Right, Left, Bottom}));
    EXPECT_EQ(BevelSideOrder(1800), (std::array{Bottom, Right, Top, Left}));
    EXPECT_EQ(BevelSideOrder(2700), (std::array{Left, Bottom, Right, Top}));
}

TEST(BevelSides, InsetQuads) {
    EXPECT_EQ(BevelSide(Top, 242, 64, 2, 2), (TQuad{{{2, 2}, {240, 2}, {238, 4}, {4, 4}}}));
    EXPECT_EQ(BevelSide(Left, 242, 64, 0, 2), (TQuad{{{0, 0}, {0, 64}, {2, 62}, {2, 2}}}));
    EXPECT_EQ(BevelSide(Bottom, 242, 64, 0, 2), (TQuad{{{0, 64}, {2, 62}, {240, 62}, {242, 64}}}));
    EXPECT_EQ(BevelSide(Right, 242, 64, 2, 2), (TQuad{{{240, 62}, {238, 60}, {238, 4}, {240, 2}}}));
}

} // namespace
} // namespace vesmera
