#include <climits>

#include <gtest/gtest.h>

#include "fake_indicator_host.h"
#include "widgets/indicator/color_scheme.h"

namespace vesmera {
namespace {

using Log = std::vector<std::string>;

class IndicatorModel : public testing::Test {
protected:
    void SetUp() override {
        host.model.Create();
        host.log.clear();
        host.rebuilds = 0;
        host.delivered = host.refreshes;
    }
    void Load() {
        host.model.Loaded();
        host.log.clear();
        host.rebuilds = 0;
    }
    FakeIndicatorHost host;
    TIndicatorModel& model = host.model;
};

TEST_F(IndicatorModel, NewIndicatorShowsTenBlankSevenSegmentCells) {
    EXPECT_EQ(host.width, 172);
    EXPECT_EQ(host.height, 36);
    const TIndicatorScene s = model.Scene();
    EXPECT_EQ(s.lit.n, 0);
    EXPECT_EQ(s.unlit.n, 80);
    EXPECT_EQ(s.backColor, 0xDDDDDD);
    EXPECT_EQ(s.unlitColor, 0xD3D3D3);
    EXPECT_EQ(s.litColor, 0x363636);
    // Raised outer bevel: its first two sides (top, left) light; sunken inner: dark.
    ASSERT_EQ(s.bevelSides.size(), 8u);
    EXPECT_TRUE(s.bevelSides[0].light);
    EXPECT_FALSE(s.bevelSides[2].light);
    EXPECT_FALSE(s.bevelSides[4].light);
    EXPECT_TRUE(s.bevelSides[6].light);
    EXPECT_FALSE(model.Imloaded());
}

TEST_F(IndicatorModel, CreationSizesClipsAndDraws) {
    FakeIndicatorHost fresh;
    fresh.model.Create();
    EXPECT_EQ(fresh.log, (Log{"size 172x36", "region", "post refresh", "region", "rebuild"}));
}

TEST_F(IndicatorModel, InvalidWritesAreIgnored) {
    Load();
    model.SetSignNumber(0);
    model.SetSignNumber(-1);
    model.SetIndicatorWidth(0);
    model.SetIndicatorHeight(-5);
    model.SetInnerBevelWidth(0);
    model.SetOuterBevelWidth(-1);
    EXPECT_EQ(model.Properties().signNumber, 10);
    EXPECT_EQ(model.Properties().indicatorWidth, 172);
    EXPECT_EQ(model.Properties().indicatorHeight, 36);
    EXPECT_EQ(model.Properties().innerBevelWidth, 2);
    EXPECT_EQ(model.Properties().outerBevelWidth, 2);
    EXPECT_TRUE(host.log.empty());
}

TEST_F(IndicatorModel, SameTextTwiceRebuildsOnce) {
    model.SetIndicatorstring(u"12,5");
    model.SetIndicatorstring(u"12,5");
    EXPECT_EQ(host.rebuilds, 1);
    EXPECT_EQ(host.log, (Log{"rebuild", "invalidate"}));
}

TEST_F(IndicatorModel, PlainWritesRebuildAtOnceEvenBeforeLoading) {
    model.SetIndicatorGap(-3);
    model.SetIndicatorKind(ik9segment);
    model.SetIndicatorKind(ik9segment);
    model.SetNumberForeColor(clRed);
    model.SetMaterialMode(mmTile);
    EXPECT_EQ(host.rebuilds, 4);
    EXPECT_EQ(model.Properties().indicatorGap, -3);
}

TEST_F(IndicatorModel, SizeAndCellWritesWaitForLoading) {
    model.SetSignNumber(7);
    model.SetIndicatorWidth(242);
    model.SetIndicatorHeight(64);
    model.SetIndicatorAngle(900);
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(model.Properties().signNumber, 7);
    EXPECT_EQ(model.Properties().indicatorAngle, 900);
    EXPECT_EQ(host.width, 172);
    host.model.Loaded();
    EXPECT_TRUE(model.Imloaded());
    EXPECT_EQ(host.log, (Log{"prepare materials", "region", "rebuild", "invalidate"}));
}

TEST_F(IndicatorModel, SignNumberAfterLoading) {
    Load();
    model.SetSignNumber(7);
    EXPECT_EQ(host.log, (Log{"region", "rebuild", "invalidate"}));
}

TEST_F(IndicatorModel, WidthWriteRunsTheResizeSequence) {
    Load();
    model.SetIndicatorWidth(242);
    // The window takes the new size and reports it; the size rule follows at angle 0.
    EXPECT_EQ(host.log, (Log{"size 242x36", "region", "post refresh", "region", "rebuild",
                             "invalidate parent"}));
    EXPECT_EQ(host.width, 242);
    EXPECT_EQ(model.Properties().indicatorWidth, 242);
}

TEST_F(IndicatorModel, QuarterTurnFollowsTheOwnersSize) {
    Load();
    model.SetIndicatorAngle(900);
    EXPECT_EQ(host.width, 36);
    EXPECT_EQ(host.height, 172);
    host.log.clear();
    host.Resize(64, 242);
    EXPECT_EQ(model.Properties().indicatorWidth, 242);
    EXPECT_EQ(model.Properties().indicatorHeight, 64);
    EXPECT_EQ(host.log, (Log{"region", "rebuild", "invalidate"}));
}

TEST_F(IndicatorModel, AxisAngleFollowsTheOwnersSize) {
    Load();
    host.Resize(242, 64);
    EXPECT_EQ(model.Properties().indicatorWidth, 242);
    EXPECT_EQ(model.Properties().indicatorHeight, 64);
    EXPECT_EQ(host.log, (Log{"region", "post refresh"}));
}

TEST_F(IndicatorModel, SlantedIndicatorRefusesNewSizes) {
    Load();
    model.SetIndicatorAngle(450);
    EXPECT_EQ(host.width, 147);
    EXPECT_EQ(host.height, 147);
    host.log.clear();
    host.Resize(300, 100);
    EXPECT_EQ(host.width, 147);
    EXPECT_EQ(host.height, 147);
    EXPECT_EQ(model.Properties().indicatorWidth, 172);
    EXPECT_EQ(model.Properties().indicatorHeight, 36);
    EXPECT_EQ(host.log, (Log{"size 147x147", "size 147x147", "invalidate parent", "post refresh",
                             "invalidate parent", "post refresh"}));
}

TEST_F(IndicatorModel, SchemeIsStoredButNotAppliedBeforeLoading) {
    // The form's order: the scheme first, then the explicit colours.
    model.SetColorScheme(csPlasma);
    model.SetBevelColor(clMaroon);
    model.SetBackColor(clBlack);
    model.SetNumberForeColor(clRed);
    model.SetNumberForeColor1(RGB(255, 255, 128));
    model.SetNumberBackColor(clBlack);
    host.model.Loaded();
    EXPECT_EQ(model.Properties().colorScheme, csPlasma);
    EXPECT_EQ(model.Properties().bevelColor, clMaroon);
    EXPECT_EQ(model.Properties().backColor, clBlack);
    EXPECT_EQ(model.Properties().numberForeColor, clRed);
    EXPECT_EQ(model.Properties().numberForeColor1, RGB(255, 255, 128));
    EXPECT_EQ(model.Properties().numberBackColor, clBlack);
    EXPECT_EQ(host.refreshes, 1); // only the one from creation
}

struct SchemeRow {
    TZyrelColorScheme scheme;
    TSchemeColors colors;
};

class Schemes : public testing::TestWithParam<SchemeRow> {};

TEST_P(Schemes, LoadedIndicatorTakesTheColoursThroughTheRefresh) {
    FakeIndicatorHost host;
    host.model.Create();
    host.model.Loaded();
    host.log.clear();
    host.model.SetColorScheme(GetParam().scheme);
    const TIndicatorProperties& p = host.model.Properties();
    EXPECT_EQ((TSchemeColors{p.backColor, p.bevelColor, p.numberBackColor, p.numberForeColor,
                             p.numberForeColor1}),
              GetParam().colors);
    EXPECT_EQ(host.log, (Log{"post refresh"}));
    // Even the same scheme again is a write.
    host.model.SetColorScheme(GetParam().scheme);
    EXPECT_EQ(host.log.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Schemes,
    testing::Values(SchemeRow{csSilver, {0xDDDDDD, 0xDDDDDD, 0xD3D3D3, 0x363636, 0x0000FF}},
                    SchemeRow{csInvSilver, {0x000000, 0xDDDDDD, 0x363636, 0xDDDDDD, 0x0000FF}},
                    SchemeRow{csWhite, {0xFFFFFF, 0xDDDDDD, 0xFFFFFF, 0x000000, 0x0000FF}},
                    SchemeRow{csBlack, {0x000000, 0x808080, 0x000000, 0xFFFFFF, 0x0080FF}},
                    SchemeRow{csPlasma, {0x000080, 0x000080, 0x400080, 0x48BFFF, 0x80FFFF}},
                    SchemeRow{csInvPlasma, {0x48BFFF, 0x48BFFF, 0x57A3F7, 0x000080, 0x2747FC}},
                    SchemeRow{csKelvo, {0xA00000, 0xA00000, 0x804000, 0xDAF376, 0x00FFFF}}));

TEST_F(IndicatorModel, TransparentModeSetsOpacity) {
    model.SetTransparentMode(tmAll);
    model.SetTransparentMode(tmAll);
    model.SetTransparentMode(tmBackOnly);
    model.SetTransparentMode(tmNone);
    EXPECT_EQ(host.log, (Log{"not opaque", "rebuild", "invalidate", "not opaque", "rebuild",
                             "invalidate", "opaque", "rebuild", "invalidate"}));
}

TEST_F(IndicatorModel, ShadowModePreparesMaterials) {
    model.SetMaterialShadowMode(msmNone);
    model.SetMaterialShadowMode(msmNone);
    EXPECT_EQ(host.log, (Log{"prepare materials", "rebuild", "invalidate"}));
}

TEST_F(IndicatorModel, HoverPostsOneRefreshEachWayAndCallsBack) {
    Load();
    int entered = 0, left = 0;
    model.SetOnMouseEnter([&] { ++entered; });
    model.SetOnMouseExit([&] { ++left; });
    model.MouseEnter();
    EXPECT_TRUE(model.Moused());
    EXPECT_EQ(host.log, (Log{"post refresh"}));
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(host.rebuilds, 0); // the look changes with the refresh
    model.MouseLeave();
    EXPECT_FALSE(model.Moused());
    EXPECT_EQ(host.log, (Log{"post refresh", "post refresh"}));
    EXPECT_EQ(left, 1);
    host.DeliverRefreshes();
    EXPECT_EQ(host.rebuilds, 2);
}

TEST_F(IndicatorModel, HoverColourAndWidth) {
    model.SetIndicatorKind(ik9segment);
    model.SetIndicatorStyle(isThick);
    model.SetSignNumber(7);
    model.SetIndicatorWidth(242);
    model.SetIndicatorHeight(64);
    model.SetIndicatorstring(u"8");
    model.SetNumberForeColor1(clLime);
    const TIndicatorScene plain = model.Scene();
    model.MouseEnter();
    EXPECT_EQ(model.Scene().litColor, 0x363636); // maNone: no visible change
    EXPECT_EQ(model.Scene().lit.vertices, plain.lit.vertices);
    model.SetMouseAction(maColor);
    EXPECT_EQ(model.Scene().litColor, clLime);
    EXPECT_TRUE(model.Scene().litColorHover);
    EXPECT_EQ(model.Scene().lit.vertices, plain.lit.vertices);
    model.SetMouseAction(maWidth);
    EXPECT_EQ(model.Scene().litColor, 0x363636);
    EXPECT_NE(model.Scene().lit.vertices, plain.lit.vertices);
    model.SetMouseAction(maBoth);
    EXPECT_EQ(model.Scene().litColor, clLime);
    EXPECT_NE(model.Scene().lit.vertices, plain.lit.vertices);
    model.MouseLeave();
    EXPECT_EQ(model.Scene().litColor, 0x363636);
    EXPECT_EQ(model.Scene().lit.vertices, plain.lit.vertices);
}

TEST_F(IndicatorModel, ExtremeAnglesAndSizesTerminate) {
    model.SetIndicatorstring(u"88");
    Load();
    for (int angle : {INT_MAX, INT_MIN, 1, -1, 450, 1800, 2700}) {
        model.SetIndicatorAngle(angle);
        host.Resize(4000, 1);
        host.Resize(1, 4000);
        EXPECT_GT(host.width, 0);
        EXPECT_GT(host.height, 0);
        // The scene fills the control with whole cells, of which only the two eights light.
        const TIndicatorScene s = model.Scene();
        EXPECT_EQ(s.width, host.width);
        EXPECT_EQ(s.height, host.height);
        EXPECT_EQ((s.lit.n + s.unlit.n) % 8, 0) << angle;
        EXPECT_LE(s.lit.n + s.unlit.n, 80) << angle;
        EXPECT_TRUE(s.lit.n == 0 || s.lit.n == 7 || s.lit.n == 14) << angle;
    }
    model.SetIndicatorAngle(0);
    model.SetIndicatorWidth(INT_MAX);
    EXPECT_EQ(host.width, INT_MAX);
    // Every cell reaches into a control that wide: all ten are drawn.
    const TIndicatorScene s = model.Scene();
    EXPECT_EQ(s.lit.n, 14);
    EXPECT_EQ(s.unlit.n, 80 - 14);
}

} // namespace
} // namespace vesmera
