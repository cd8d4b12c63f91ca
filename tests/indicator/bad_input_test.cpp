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

class OddIndicator : public testing::Test {
protected:
    void SetUp() override {
        parent.resize(100, 100);
        parent.show();
        w = new TZyrelLiquidIndicator(&parent);
        w->show();
        w->SetTransparentMode(tmBackOnly);
        w->Loaded();
    }
    // Whatever the input, the picture is the control's size (when it can be made at all).
    void Check() {
        QCoreApplication::sendPostedEvents(w, CM_INDICATORREFRESH);
        const qint64 pixels = qint64(w->width()) * w->height();
        if (pixels > 0 && pixels <= (qint64(1) << 26)) {
            EXPECT_EQ(w->CanvasBitmap().size(), w->size());
        }
        QImage img(16, 16, QImage::Format_RGB32);
        w->render(&img);
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
                Check();
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
}

TEST_F(OddIndicator, OddTextsInEveryKind) {
    for (auto kind : {ik7segment, ik5x7matrix, ik9segment}) {
        w->SetIndicatorKind(kind);
        for (int cells : {1, 7, 1000}) {
            w->SetSignNumber(cells);
            for (const std::string& text : OddTexts()) {
                w->SetIndicatorstring(text);
                Check();
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
    for (int cells : {INT_MAX, 241, 242, 243, 100000}) {
        w->SetSignNumber(cells);
        Check();
    }
    for (auto style : {isThin, isNormal, isThick})
        for (auto action : {maNone, maBoth}) {
            w->SetIndicatorStyle(style);
            w->SetMouseAction(action);
            Check();
        }
}

TEST_F(OddIndicator, HugeIndicatorSizes) {
    w->SetIndicatorWidth(INT_MAX);
    Check();
    w->SetIndicatorHeight(INT_MAX);
    Check();
    w->SetIndicatorAngle(450);
    Check();
    w->SetIndicatorAngle(0);
    w->resize(300, 40);
    Check();
    EXPECT_EQ(w->IndicatorWidth(), 300);
    EXPECT_EQ(w->IndicatorHeight(), 40);
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
