#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include <QCoreApplication>
#include <QEnterEvent>
#include <gtest/gtest.h>

#include "widgets/indicator/color_scheme.h"
#include "widgets/indicator/indicator_model.h"
#include "widgets/indicator/indicator_painter.h"
#include "widgets/indicator/zyrel_liquid_indicator.h"

namespace vesmera {
namespace {

QRgb Rgb(TColor c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

// An indicator on a shown parent, so that sizes reach it at once as they do on screen.
class IndicatorWidget : public testing::Test {
protected:
    void SetUp() override {
        parent.resize(600, 400);
        parent.show();
        w = new TZyrelLiquidIndicator(&parent);
        w->show();
        Deliver();
    }
    // The main window's stored properties in form order, then loading.
    void LoadMainWindowIndicator() {
        w->SetColorScheme(csPlasma);
        w->SetSignNumber(7);
        w->SetIndicatorKind(ik9segment);
        w->SetOuterBevel(bkDown);
        w->SetBevelColor(clMaroon);
        w->SetBackColor(clBlack);
        w->SetNumberForeColor(clRed);
        w->SetNumberForeColor1(RGB(255, 255, 128));
        w->SetNumberBackColor(clBlack);
        w->SetIndicatorStyle(isThick);
        w->Loaded();
        w->setGeometry(0, 0, 242, 64);
        Deliver();
    }
    void Deliver() { QCoreApplication::sendPostedEvents(w, CM_INDICATORREFRESH); }
    QRgb Pixel(int x, int y) const { return w->CanvasBitmap().pixel(x, y); }
    // What painting leaves on a picture filled with a colour no part of the indicator uses.
    QImage Painted() const {
        QImage img(w->size(), QImage::Format_RGB32);
        img.fill(kUnpainted);
        w->render(&img, QPoint(), QRegion(), QWidget::RenderFlags());
        return img;
    }
    static QPoint Centre(const TPolyList& list, int index) {
        std::size_t at = 0;
        for (int i = 0; i < index; ++i)
            at += static_cast<std::size_t>(list.counts[static_cast<std::size_t>(i)]);
        const int n = list.counts[static_cast<std::size_t>(index)];
        double x = 0, y = 0;
        for (int i = 0; i < n; ++i) {
            x += list.vertices[at + static_cast<std::size_t>(i)].x;
            y += list.vertices[at + static_cast<std::size_t>(i)].y;
        }
        return QPoint(static_cast<int>(x / n), static_cast<int>(y / n));
    }
    void ExpectSegmentColours(QRgb lit, QRgb unlit) {
        const TIndicatorScene s = w->Model().Scene();
        ASSERT_GT(s.lit.n, 0);
        ASSERT_GT(s.unlit.n, 0);
        for (int i = 0; i < s.lit.n; ++i) {
            const QPoint c = Centre(s.lit, i);
            EXPECT_EQ(Pixel(c.x(), c.y()), lit) << "lit " << i << " at " << c.x() << "," << c.y();
        }
        for (int i = 0; i < s.unlit.n; ++i) {
            const QPoint c = Centre(s.unlit, i);
            EXPECT_EQ(Pixel(c.x(), c.y()), unlit) << "unlit " << i;
        }
    }

    static constexpr QRgb kUnpainted = qRgb(1, 254, 3);
    QWidget parent;
    TZyrelLiquidIndicator* w = nullptr;
};

TEST_F(IndicatorWidget, NewIndicator) {
    EXPECT_EQ(w->width(), 172);
    EXPECT_EQ(w->height(), 36);
    EXPECT_EQ(w->CanvasBitmap().size(), QSize(172, 36));
    EXPECT_EQ(Pixel(86, 4), Rgb(0xDDDDDD));              // the gap between bevel and cells
    EXPECT_EQ(Pixel(86, 3), Rgb(DarkenColor(0xDDDDDD))); // the sunken inner bevel
    EXPECT_EQ(Pixel(86, 0), Rgb(LightenColor(0xDDDDDD)));
}

TEST_F(IndicatorWidget, MainWindowIndicatorAtAngleZero) {
    LoadMainWindowIndicator();
    EXPECT_EQ(w->IndicatorWidth(), 242);
    EXPECT_EQ(w->IndicatorHeight(), 64);
    w->SetIndicatorstring("1234,56");
    EXPECT_EQ(w->Indicatorstring(), "1234,56");
    ExpectSegmentColours(Rgb(clRed), Rgb(clBlack));
    // With unlit segments in a colour of their own, they show in it.
    w->SetNumberBackColor(RGB(0, 0, 90));
    ExpectSegmentColours(Rgb(clRed), qRgb(0, 0, 90));
    w->SetNumberForeColor(clGreen);
    ExpectSegmentColours(Rgb(clGreen), qRgb(0, 0, 90));
    EXPECT_EQ(Pixel(121, 5), Rgb(clBlack));
    // The six pixels right of the last cell keep the background.
    for (int x = 230; x < 236; ++x)
        EXPECT_EQ(Pixel(x, 32), Rgb(clBlack)) << x;
}

// On a screen at scale 2 the segments are rasterised at the device's pixels: the slanted left
// edge of segment e in the first cell, from (8,35) to (6,47), moves 4 device pixels in 4 steps
// of one pixel, where a picture drawn at logical pixels and doubled steps by 2.
TEST_F(IndicatorWidget, AtScaleTwoEdgesStepByOneDevicePixel) {
    LoadMainWindowIndicator();
    w->SetIndicatorstring("8888888");
    const TIndicatorScene scene = w->Model().Scene();
    TIndicatorMaterials materials;
    QImage canvas;
    std::optional<TPixelMask> clip;
    RenderScene(scene, materials, mmStretch, mmStretch, canvas, clip, 2.0);
    ASSERT_EQ(canvas.size(), QSize(2 * 242, 2 * 64));
    EXPECT_EQ(canvas.devicePixelRatio(), 2.0);
    const QRgb lit = Rgb(scene.litColor);
    std::vector<int> edge; // the first lit pixel of each device row along the edge
    for (int y = 2 * 36; y < 2 * 47; ++y) {
        int x = 0;
        while (x < 40 && canvas.pixel(x, y) != lit)
            ++x;
        edge.push_back(x);
    }
    EXPECT_EQ(edge.front(), 16);
    EXPECT_EQ(edge.back(), 12);
    int steps = 0;
    for (std::size_t i = 1; i < edge.size(); ++i) {
        EXPECT_LE(edge[i - 1] - edge[i], 1) << "row " << 2 * 36 + i;
        EXPECT_GE(edge[i - 1] - edge[i], 0) << "row " << 2 * 36 + i;
        steps += edge[i - 1] != edge[i] ? 1 : 0;
    }
    EXPECT_EQ(steps, 4);
}

TEST_F(IndicatorWidget, MainWindowIndicatorAtAngle900) {
    LoadMainWindowIndicator();
    w->SetIndicatorAngle(900);
    EXPECT_EQ(w->size(), QSize(64, 242));
    EXPECT_EQ(w->IndicatorWidth(), 242);
    EXPECT_EQ(w->IndicatorHeight(), 64);
    w->SetIndicatorstring("-0,35");
    w->SetNumberBackColor(RGB(0, 0, 90));
    Deliver();
    EXPECT_EQ(w->CanvasBitmap().size(), QSize(64, 242));
    ExpectSegmentColours(Rgb(clRed), qRgb(0, 0, 90));
    // The owner resizing the turned control turns into the indicator size.
    w->resize(70, 300);
    Deliver();
    EXPECT_EQ(w->IndicatorWidth(), 300);
    EXPECT_EQ(w->IndicatorHeight(), 70);
    ExpectSegmentColours(Rgb(clRed), qRgb(0, 0, 90));
}

TEST_F(IndicatorWidget, MainWindowBevels) {
    LoadMainWindowIndicator();
    const QRgb dark = qRgb(96, 0, 0), light = qRgb(160, 32, 32);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Pixel(100, i), dark) << "top " << i; // outer: 0, 1; inner: 2, 3
        EXPECT_EQ(Pixel(i, 30), dark) << "left " << i;
        EXPECT_EQ(Pixel(100, 63 - i), light) << "bottom " << i;
        EXPECT_EQ(Pixel(241 - i, 30), light) << "right " << i;
    }
    EXPECT_EQ(Pixel(100, 4), Rgb(clBlack));
    EXPECT_EQ(Pixel(4, 30), Rgb(clBlack));
}

TEST_F(IndicatorWidget, LightFacesTheUpperLeftAtAQuarterTurn) {
    w->Loaded();
    w->SetInnerBevel(bkNone);
    w->SetBevelColor(clGray);
    w->SetIndicatorAngle(900);
    ASSERT_EQ(w->size(), QSize(36, 172));
    const QRgb light = qRgb(160, 160, 160), dark = qRgb(96, 96, 96);
    EXPECT_EQ(Pixel(0, 86), light); // the unturned top side, now at the left
    EXPECT_EQ(Pixel(18, 0), light); // the unturned right side, now at the top
    EXPECT_EQ(Pixel(35, 86), dark);
    EXPECT_EQ(Pixel(18, 171), dark);
}

TEST_F(IndicatorWidget, WindowIsClippedToTheTurnedRectangle) {
    w->Loaded();
    w->SetIndicatorAngle(900);
    EXPECT_EQ(w->mask().boundingRect(), QRect(0, 0, 36, 172));
    w->SetIndicatorAngle(450);
    EXPECT_EQ(w->size(), QSize(147, 147));
    EXPECT_FALSE(w->mask().contains(QPoint(2, 2)));
    EXPECT_FALSE(w->mask().contains(QPoint(144, 144)));
    EXPECT_TRUE(w->mask().contains(QPoint(73, 73)));
    // Resizing a slanted indicator snaps back to its bounding size.
    w->resize(300, 100);
    EXPECT_EQ(w->size(), QSize(147, 147));
}

class QuarterTurns : public IndicatorWidget, public testing::WithParamInterface<int> {};

// Along the axes the window is clipped to the same pixels as the turned polygon's runs give.
TEST_P(QuarterTurns, WindowRegionIsThePolygonsPixels) {
    w->Loaded();
    w->SetIndicatorWidth(101);
    w->SetIndicatorHeight(37);
    w->SetIndicatorAngle(GetParam());
    const TQuad q = w->Model().WindowPolygon();
    const QRegion runs = RegionFromSpans(RasterizeEvenOdd(q.data(), 4, w->width(), w->height()));
    ASSERT_FALSE(runs.isEmpty());
    EXPECT_EQ(w->mask(), runs);
}

INSTANTIATE_TEST_SUITE_P(Angles, QuarterTurns, testing::Values(0, 900, 1800, 2700, -900, 3600));

TEST_F(IndicatorWidget, SchemeColoursArriveWithThePostedRefresh) {
    w->Loaded();
    const QRgb before = Pixel(86, 4);
    w->SetColorScheme(csKelvo);
    EXPECT_EQ(w->BackColor(), 0xA00000);
    EXPECT_EQ(Pixel(86, 4), before);
    Deliver();
    EXPECT_EQ(Pixel(86, 4), qRgb(0, 0, 160));
}

TEST_F(IndicatorWidget, TransparentAllPaintsOnlyBevelsAndLitSegments) {
    LoadMainWindowIndicator();
    w->SetNumberBackColor(RGB(0, 0, 90));
    w->SetIndicatorstring("8");
    w->SetTransparentMode(tmAll);
    EXPECT_FALSE(w->testAttribute(Qt::WA_OpaquePaintEvent));
    const QImage img = Painted();
    const TIndicatorScene s = w->Model().Scene();
    for (int i = 0; i < s.lit.n; ++i) {
        const QPoint c = Centre(s.lit, i);
        EXPECT_EQ(img.pixel(c), Rgb(clRed));
    }
    for (int i = 0; i < s.unlit.n; ++i)
        EXPECT_EQ(img.pixel(Centre(s.unlit, i)), kUnpainted) << i;
    EXPECT_EQ(img.pixel(100, 0), qRgb(96, 0, 0));
    EXPECT_EQ(img.pixel(100, 63), qRgb(160, 32, 32));
    EXPECT_EQ(img.pixel(100, 5), kUnpainted);
    EXPECT_EQ(img.pixel(233, 32), kUnpainted);
}

// With no bevel and nothing lit, the region that painting may touch is empty: nothing at all
// is painted, not everything.
TEST_F(IndicatorWidget, TransparentAllWithNothingToPaint) {
    w->Loaded();
    w->SetOuterBevel(bkNone);
    w->SetInnerBevel(bkNone);
    w->SetTransparentMode(tmAll);
    const QImage img = Painted();
    for (const QPoint p : {QPoint(0, 0), QPoint(86, 18), QPoint(171, 35)})
        EXPECT_EQ(img.pixel(p), kUnpainted) << p.x() << "," << p.y();
    w->SetIndicatorstring("1");
    EXPECT_EQ(Painted().pixel(Centre(w->Model().Scene().lit, 0)), Rgb(0x363636));
}

TEST_F(IndicatorWidget, TransparentBackOnlyLeavesTheBackground) {
    LoadMainWindowIndicator();
    w->SetNumberBackColor(RGB(0, 0, 90));
    w->SetIndicatorstring("8");
    w->SetTransparentMode(tmBackOnly);
    const QImage img = Painted();
    const TIndicatorScene s = w->Model().Scene();
    for (int i = 0; i < s.unlit.n; ++i)
        EXPECT_EQ(img.pixel(Centre(s.unlit, i)), qRgb(0, 0, 90)) << i;
    EXPECT_EQ(img.pixel(Centre(s.lit, 0)), Rgb(clRed));
    EXPECT_EQ(img.pixel(100, 1), qRgb(96, 0, 0));
    EXPECT_EQ(img.pixel(100, 5), kUnpainted);
    // Opaque again: everything is painted.
    w->SetTransparentMode(tmNone);
    EXPECT_TRUE(w->testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_EQ(Painted().pixel(100, 5), Rgb(clBlack));
}

class MaterialWidget : public IndicatorWidget {
protected:
    static constexpr QRgb kTileCorner = qRgb(255, 0, 255);
    static constexpr QRgb kTile = qRgb(40, 80, 120);
    void SetUp() override {
        IndicatorWidget::SetUp();
        w->Loaded();
        w->setGeometry(0, 0, 242, 64);
        w->SetOuterBevel(bkNone);
        w->SetInnerBevel(bkNone);
        w->SetIndicatorKind(ik9segment);
        w->SetSignNumber(7);
        Deliver();
        tile = QImage(10, 10, QImage::Format_RGB32);
        tile.fill(kTile);
        tile.setPixel(0, 0, kTileCorner);
    }
    static QRgb TileAt(int x, int y) { return x % 10 == 0 && y % 10 == 0 ? kTileCorner : kTile; }
    static QRgb Shade(QRgb c, int d) {
        const auto ch = [d](int v) { return std::clamp(v + d, 0, 255); };
        return qRgb(ch(qRed(c)), ch(qGreen(c)), ch(qBlue(c)));
    }
    QImage tile;
};

TEST_F(MaterialWidget, TiledBackMaterialCoversTheControl) {
    w->SetMaterialMode(mmTile);
    w->SetMaterialShadowMode(msmNone);
    w->SetBackMaterial(tile);
    tile.fill(Qt::white); // the indicator keeps its own copy
    EXPECT_EQ(w->BackMaterial().pixel(1, 1), kTile);
    // Unlit segments show the material unchanged, so every pixel is the tile's.
    int corners = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 242; ++x) {
            ASSERT_EQ(Pixel(x, y), TileAt(x, y)) << x << "," << y;
            corners += Pixel(x, y) == kTileCorner;
        }
    }
    EXPECT_EQ(corners, 25 * 7);
}

TEST_F(MaterialWidget, ShadedMaterialInUnlitSegmentsAndBevels) {
    w->SetMaterialMode(mmTile);
    w->SetBackMaterial(tile);
    const TIndicatorScene s = w->Model().Scene();
    for (int i = 0; i < s.unlit.n; ++i) {
        const QPoint c = Centre(s.unlit, i);
        EXPECT_EQ(Pixel(c.x(), c.y()), Shade(TileAt(c.x(), c.y()), -32)) << i;
    }
    w->SetMaterialShadowMode(msmLight);
    const QPoint c = Centre(s.unlit, 3);
    EXPECT_EQ(Pixel(c.x(), c.y()), Shade(TileAt(c.x(), c.y()), 32));
    EXPECT_EQ(Pixel(1, 1), kTile); // background
    w->SetOuterBevel(bkDown);
    EXPECT_EQ(Pixel(5, 0), Shade(kTile, -64)); // top: dark
    EXPECT_EQ(Pixel(5, 63), Shade(kTile, 64)); // bottom: light
    EXPECT_EQ(Pixel(0, 0), Shade(kTileCorner, -64));
}

TEST_F(MaterialWidget, StretchedBackMaterial) {
    QImage two(2, 1, QImage::Format_RGB32);
    two.setPixel(0, 0, qRgb(200, 0, 0));
    two.setPixel(1, 0, qRgb(0, 0, 200));
    w->SetMaterialShadowMode(msmNone);
    w->SetBackMaterial(two);
    EXPECT_EQ(Pixel(10, 30), qRgb(200, 0, 0));
    EXPECT_EQ(Pixel(230, 30), qRgb(0, 0, 200));
}

TEST_F(MaterialWidget, ForeMaterialShowsThroughLitSegmentsExceptUnderColourHover) {
    QImage fore(4, 4, QImage::Format_RGB32);
    fore.fill(qRgb(200, 100, 50));
    w->SetForeMaterial(fore);
    w->SetIndicatorstring("8");
    w->SetNumberForeColor1(clLime);
    w->SetMouseAction(maColor);
    const TIndicatorScene s = w->Model().Scene();
    const QPoint c = Centre(s.lit, 0);
    EXPECT_EQ(Pixel(c.x(), c.y()), qRgb(200, 100, 50));
    int entered = 0;
    TZyrelLiquidIndicator* sender = nullptr;
    w->SetOnMouseEnter([&](TZyrelLiquidIndicator* i) {
        ++entered;
        sender = i;
    });
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(w, &enter);
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(sender, w);
    EXPECT_EQ(Pixel(c.x(), c.y()), qRgb(200, 100, 50)); // not before the refresh
    Deliver();
    EXPECT_EQ(Pixel(c.x(), c.y()), Rgb(clLime));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(w, &leave);
    Deliver();
    EXPECT_EQ(Pixel(c.x(), c.y()), qRgb(200, 100, 50));
}

TEST_F(IndicatorWidget, ColourHoverOnlyWhileThePointerIsInside) {
    LoadMainWindowIndicator();
    w->SetIndicatorstring("8");
    w->SetMouseAction(maColor);
    const QPoint c = Centre(w->Model().Scene().lit, 0);
    EXPECT_EQ(Pixel(c.x(), c.y()), Rgb(clRed));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(w, &enter);
    Deliver();
    EXPECT_TRUE(w->Model().Moused());
    EXPECT_EQ(Pixel(c.x(), c.y()), qRgb(255, 255, 128));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(w, &leave);
    Deliver();
    EXPECT_EQ(Pixel(c.x(), c.y()), Rgb(clRed));
}

} // namespace
} // namespace vesmera

namespace vesmera {
namespace {

// The owner sizes and turns the indicator before its window is shown, as a main window
// being built does.
class HiddenIndicator : public testing::Test {
protected:
    void SetUp() override {
        parent.resize(600, 400);
        w = new TZyrelLiquidIndicator(&parent);
        w->SetOuterBevel(bkDown);
        w->SetBevelColor(clMaroon);
        w->Loaded();
        w->SetBounds(0, 0, 242, 64);
    }
    QWidget parent; // never shown
    TZyrelLiquidIndicator* w = nullptr;
};

TEST_F(HiddenIndicator, SizeReachesTheIndicatorWhenGivenAndQtsResizeBeforeTheNextWrite) {
    EXPECT_EQ(w->IndicatorWidth(), 242);
    EXPECT_EQ(w->IndicatorHeight(), 64);
    QCoreApplication::sendPostedEvents(w, CM_INDICATORREFRESH);
    ASSERT_EQ(w->CanvasBitmap().size(), QSize(242, 64));
    // The indicator fills the control: its right bevel is at the control's right edge, not
    // 35 pixels inside as a 172-pixel indicator centred in it would leave it.
    EXPECT_EQ(w->CanvasBitmap().pixel(241, 30), qRgb(160, 32, 32));
    EXPECT_EQ(w->CanvasBitmap().pixel(0, 30), qRgb(96, 0, 0));
    // Qt's own resize of a hidden widget tells it nothing; the next write takes the size.
    w->resize(300, 64);
    w->SetIndicatorstring("8");
    EXPECT_EQ(w->IndicatorWidth(), 300);
    ASSERT_EQ(w->CanvasBitmap().size(), QSize(300, 64));
    EXPECT_EQ(w->CanvasBitmap().pixel(299, 30), qRgb(160, 32, 32));
}

TEST_F(HiddenIndicator, TurningAfterSizingTurnsTheOwnersSize) {
    w->SetIndicatorAngle(900);
    EXPECT_EQ(w->size(), QSize(64, 242));
    EXPECT_EQ(w->IndicatorWidth(), 242);
    EXPECT_EQ(w->IndicatorHeight(), 64);
    // Showing it later changes nothing.
    parent.show();
    QCoreApplication::sendPostedEvents(w, CM_INDICATORREFRESH);
    EXPECT_EQ(w->size(), QSize(64, 242));
    EXPECT_EQ(w->IndicatorWidth(), 242);
    EXPECT_EQ(w->CanvasBitmap().size(), QSize(64, 242));
}

TEST_F(HiddenIndicator, SlantedIndicatorRefusesASizeWhileHidden) {
    w->SetIndicatorAngle(450);
    const QSize slanted = w->size();
    w->resize(300, 100);
    w->SetIndicatorGap(3);
    EXPECT_EQ(w->size(), slanted);
    EXPECT_EQ(w->IndicatorWidth(), 242);
    EXPECT_EQ(w->IndicatorHeight(), 64);
}

} // namespace
} // namespace vesmera
