#include <algorithm>
#include <climits>
#include <random>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "widgets/indicator/indicator_model.h"
#include "widgets/indicator/pixel_region.h"
#include "widgets/indicator/zyrel_liquid_indicator.h"

namespace vesmera {
namespace {

// Texts no weight ever looks like: long ones, control characters, bytes that are no UTF-8,
// encoded surrogates.
std::vector<std::string> OddTexts() {
    std::vector<std::string> texts{"",
                                   std::string(1000, '8'),
                                   std::string(1000, ','),
                                   "\x01\x02\t\r\n\x7f",
                                   std::string("\0\0\0", 3),
                                   "\xED\xA0\x80\xED\xB0\x80",
                                   "\xFF\xFE\xC0",
                                   "\xF0\x9F\x98\x80 12,5",
                                   "..,,..::"};
    std::mt19937 random(5);
    std::string noise;
    for (int i = 0; i < 1000; ++i)
        noise += static_cast<char>(random() & 0xFF);
    texts.push_back(noise);
    return texts;
}

QRgb Rgb(TColor c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

// What the cached picture shows: pixels of lit and of unlit segments or dots.
struct Shown {
    int lit = 0;
    int unlit = 0;
};

class OddIndicator : public testing::Test {
protected:
    void SetUp() override {
        parent.resize(100, 100);
        parent.show();
        w = new TZyrelLiquidIndicator(&parent);
        w->show();
        w->SetTransparentMode(tmBackOnly);
        // Colours apart from one another, so that each pixel tells what drew it.
        w->SetBackColor(clBlack);
        w->SetBevelColor(clMaroon);
        w->SetNumberForeColor(clRed);
        w->SetNumberBackColor(clNavy);
        w->Loaded();
    }
    // Whatever the input, the picture is the control's size (when it can be made at all) and
    // holds nothing but the indicator's own colours.
    Shown Check() {
        QCoreApplication::sendPostedEvents(w, CM_INDICATORREFRESH);
        QImage img(16, 16, QImage::Format_RGB32);
        w->render(&img);
        const qint64 pixels = qint64(w->width()) * w->height();
        if (pixels <= 0 || pixels > (qint64(1) << 26)) {
            EXPECT_TRUE(w->CanvasBitmap().isNull() || w->CanvasBitmap().size() == w->size());
            return {};
        }
        const QImage& picture = w->CanvasBitmap();
        EXPECT_EQ(picture.size(), w->size());
        Shown shown;
        int foreign = 0;
        for (int y = 0; y < picture.height(); ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb c = row[x] | 0xFF000000u;
                shown.lit += c == Rgb(clRed);
                shown.unlit += c == Rgb(clNavy);
                foreign += c != Rgb(clRed) && c != Rgb(clNavy) && c != Rgb(clBlack) &&
                           c != qRgb(160, 32, 32) && c != qRgb(96, 0, 0);
            }
        }
        EXPECT_EQ(foreign, 0);
        return shown;
    }
    QWidget parent;
    TZyrelLiquidIndicator* w = nullptr;
};

TEST_F(OddIndicator, SizesFromOnePixelTo4000) {
    for (auto kind : {ik7segment, ik5x7matrix, ik9segment}) {
        w->SetIndicatorKind(kind);
        w->SetIndicatorstring("-12,5:8");
        for (int width : {0, 1, 2, 3, 17, 333, 4000}) {
            for (int height : {0, 1, 2, 5, 64, 4000}) {
                if (width == 4000 && height == 4000 && kind != ik9segment)
                    continue; // one full-size picture per run is enough
                w->resize(width, height);
                const Shown shown = Check();
                // Cells of ordinary size light the text and leave the rest unlit.
                if (width >= 333 && height >= 64) {
                    EXPECT_GT(shown.lit, 0) << width << "x" << height;
                    EXPECT_GT(shown.unlit, 0) << width << "x" << height;
                }
            }
        }
    }
}

TEST_F(OddIndicator, ExtremeAngles) {
    w->SetIndicatorstring("1234,56");
    for (int angle : {INT_MIN, INT_MAX, INT_MIN + 1, -1, 1, 450, -450, 1799, 2700, 36000001}) {
        w->SetIndicatorAngle(angle);
        Check();
        w->resize(50, 300);
        Check();
        w->SetIndicatorWidth(500);
        w->SetIndicatorHeight(3);
        Check();
    }
    // Back to an ordinary turn, the text shows again.
    w->SetIndicatorAngle(900);
    w->SetIndicatorWidth(172);
    w->SetIndicatorHeight(36);
    EXPECT_EQ(w->size(), QSize(36, 172));
    EXPECT_GT(Check().lit, 0);
}

TEST_F(OddIndicator, OddTextsInEveryKind) {
    // Texts of no character with a pattern light nothing; a row of eights or of points lights
    // cells wherever the cells fit, and a thousand cells in 172 pixels leave no room for any.
    const std::vector<std::string> dark{"", "\x01\x02\t\r\n\x7f", std::string("\0\0\0", 3),
                                        "\xED\xA0\x80\xED\xB0\x80", "\xFF\xFE\xC0"};
    const std::vector<std::string> bright{std::string(1000, '8'), std::string(1000, ',')};
    for (auto kind : {ik7segment, ik5x7matrix, ik9segment}) {
        w->SetIndicatorKind(kind);
        for (int cells : {1, 7, 1000}) {
            w->SetSignNumber(cells);
            for (const std::string& text : OddTexts()) {
                w->SetIndicatorstring(text);
                const Shown shown = Check();
                const bool fits = cells < 1000;
                EXPECT_EQ(shown.unlit > 0, fits) << kind << " " << cells;
                if (std::find(dark.begin(), dark.end(), text) != dark.end()) {
                    EXPECT_EQ(shown.lit, 0) << kind << " " << cells;
                }
                if (std::find(bright.begin(), bright.end(), text) != bright.end()) {
                    EXPECT_EQ(shown.lit > 0, fits) << kind << " " << cells;
                }
            }
        }
    }
    // A text that is not UTF-8 still reads back as some UTF-8 text.
    w->SetIndicatorstring("\xFF");
    EXPECT_FALSE(w->Indicatorstring().empty());
}

TEST_F(OddIndicator, GapsBevelsAndCellCounts) {
    w->resize(242, 64);
    w->SetIndicatorstring("1234,56");
    for (int gap : {INT_MIN, -1000, -33, -1, 0, 31, 32, 33, 10000, INT_MAX}) {
        w->SetIndicatorGap(gap);
        for (int bevel : {1, 40, INT_MAX}) {
            w->SetOuterBevelWidth(bevel);
            w->SetInnerBevelWidth(bevel);
            Check();
        }
    }
    // With ordinary gaps and bevels, cells down to a pixel wide still draw; more cells than
    // the control has pixels across leave no room for any.
    w->SetIndicatorGap(2);
    w->SetOuterBevelWidth(2);
    w->SetInnerBevelWidth(2);
    EXPECT_GT(Check().lit, 0);
    for (int cells : {INT_MAX, 241, 242, 243, 100000}) {
        w->SetSignNumber(cells);
        const Shown shown = Check();
        EXPECT_EQ(shown.lit + shown.unlit > 0, cells <= 242) << cells;
    }
    w->SetSignNumber(7);
    for (auto style : {isThin, isNormal, isThick})
        for (auto action : {maNone, maBoth}) {
            w->SetIndicatorStyle(style);
            w->SetMouseAction(action);
            EXPECT_GT(Check().lit, 0);
        }
}

TEST_F(OddIndicator, HugeIndicatorSizes) {
    w->SetIndicatorstring("1234,56");
    w->SetIndicatorWidth(INT_MAX);
    Check();
    w->SetIndicatorHeight(INT_MAX);
    Check();
    // A picture beyond the pixel limit is not made at all.
    EXPECT_TRUE(w->CanvasBitmap().isNull());
    w->SetIndicatorAngle(450);
    Check();
    w->SetIndicatorAngle(0);
    w->resize(300, 40);
    const Shown shown = Check();
    EXPECT_EQ(w->IndicatorWidth(), 300);
    EXPECT_EQ(w->IndicatorHeight(), 40);
    EXPECT_GT(shown.lit, 0);
    EXPECT_GT(shown.unlit, 0);
}

TEST(OddPolygons, FarVerticesCostOnlyTheRaster) {
    const TPoint far[] = {
        {INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}};
    const auto spans = RasterizeEvenOdd(far, 4, 10, 3);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[0], (TSpan{0, 0, 10}));
    const TPoint line[] = {{0, 0}, {5, 5}};
    EXPECT_TRUE(RasterizeEvenOdd(line, 2, 10, 10).empty());
}

TEST(OddPolygons, OverlapsCancelUnderEvenOdd) {
    TPolyList list;
    const TPoint a[] = {{0, 0}, {4, 0}, {4, 1}, {0, 1}};
    const TPoint b[] = {{2, 0}, {6, 0}, {6, 1}, {2, 1}};
    list.Append(a, 4);
    list.Append(b, 4);
    EXPECT_EQ(RasterizeEvenOdd(list, 10, 1), (std::vector<TSpan>{{0, 0, 2}, {0, 4, 6}}));
}

} // namespace
} // namespace vesmera
