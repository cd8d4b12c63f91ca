#include <QApplication>
#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>

#include "lcd_fakes.h"
#include "widgets/lcd/lcd_screen.h"

namespace vesmera {
namespace {

using testing_lcd::BoxRecorder;

// Hostile content and sizes on the real widget (Qt fonts, composition, script); the run under
// the sanitizers is what checks them.
class BadInput : public ::testing::Test {
protected:
    BadInput() {
        screen.SetLCDAnimator(&animator);
        screen.SetAnimationRepeating(true);
        screen.SetAnimationEnabled(true);
        screen.SetBounds(0, 0, 403, 127);
        screen.show();
        QApplication::processEvents();
    }
    void TickAndPaint(int n = 3) {
        for (int i = 0; i < n; ++i)
            screen.TimerTick();
        screen.repaint();
        QApplication::processEvents();
    }

    BoxRecorder boxes;
    TLCDAnimator animator;
    TLCDScreen screen;
};

TEST_F(BadInput, HugeTextsAreCutToTheGrid) {
    animator.SetCode({"[HorzScroll(-7);VertScroll(5);]"});
    screen.SetSpecialEffects({spBold, spItalic, spUnderline, spStrike, spBlink, spInverse});
    screen.SetText(std::string(10000, 'W') + "<b><u><inv><bl>" + std::string(10000, 'x'));
    TickAndPaint();
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += "<i>line " + std::to_string(i) + "\n";
    screen.SetText(many);
    TickAndPaint();
    EXPECT_EQ(screen.DisplayCells().LineCount(), 256);
    EXPECT_EQ(screen.Lines().Count(), 1000);
    EXPECT_GT(screen.LinesImage().Height(), 0);
}

TEST_F(BadInput, EveryByteValueAndUnterminatedTags) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    screen.SetText(all.substr(1) + "<" + "<b" + "</inv");
    TickAndPaint();
    screen.SetText(all); // NUL first: an empty first line
    TickAndPaint();
    EXPECT_EQ(screen.DisplayCells().At(0, 1).Char, 0);
}

TEST_F(BadInput, ScriptsWithManyStatementsAndExtremeArguments) {
    std::string line = "[";
    for (int i = 0; i < 300; ++i)
        line += i % 2 ? "horzscroll(2147483647);" : "vertscroll(-2147483648);";
    line += "]";
    animator.SetCode({line, "[gotoline(-32768);]", "[gotoline(2147483647);]",
                      "[animationdelay(0);setintensity(-128);]", "[resetdisplay(-1);]"});
    screen.SetText("scroll");
    TickAndPaint(20);
    EXPECT_TRUE(boxes.Boxes.empty());
    animator.SetCode({"[horzscroll(99999999999999999999);]"});
    animator.SetCurrentLine(0);
    TickAndPaint(1);
    EXPECT_EQ(boxes.Boxes.size(), 1u);
}

// Every pixel of the picture is the background or a shade of the border: no dot is shown.
bool BackgroundOnly(const RgbImage& picture, const TLCDScreen& screen) {
    const RgbImage::Pixel allowed[] = {RgbImage::FromColor(screen.Color()),
                                       RgbImage::FromColor(clBtnHighlight),
                                       RgbImage::FromColor(clBtnShadow)};
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (std::find(std::begin(allowed), std::end(allowed), picture.At(x, y)) ==
                std::end(allowed))
                return false;
    return true;
}

TEST_F(BadInput, DegenerateSizesShowBackgroundOnly) {
    // Colours apart from one another, so that a dot of either kind would show.
    screen.SetColor(clYellow);
    screen.SetPixelOff(clBlue);
    screen.SetFontColor(clRed);
    screen.SetText("text");
    TickAndPaint(1);
    ASSERT_FALSE(BackgroundOnly(screen.Compose(true), screen));
    for (auto [w, h] : {std::pair{0, 0}, {0, 127}, {1, 1}, {7, 7}, {-5, 20}}) {
        screen.SetBounds(0, 0, w, h);
        TickAndPaint(1);
        // Qt sends no paint to an empty window, so compose directly.
        const RgbImage picture = screen.Compose(true);
        EXPECT_EQ(screen.Geometry().NbXPixels * screen.Geometry().NbYPixels, 0);
        EXPECT_EQ(picture.Width(), std::max(screen.Width(), 0));
        EXPECT_TRUE(BackgroundOnly(picture, screen)) << w << "x" << h;
    }
    screen.SetBounds(0, 0, 403, 127);
    screen.SetPixelSize(pixCustom);
    screen.SetPixelSpacing(-1);
    screen.SetPixelWidth(1); // 1 + -1: no dot fits
    TickAndPaint(1);
    EXPECT_TRUE(BackgroundOnly(screen.Compose(true), screen));
    screen.SetPixelSpacing(-128);
    screen.SetBorderSpace(-128);
    screen.SetPixelWidth(127);
    screen.SetPixelHeight(127);
    TickAndPaint(1);
    EXPECT_TRUE(BackgroundOnly(screen.Compose(true), screen));
    screen.SetBorderSpace(127);
    screen.SetPixelSpacing(127);
    TickAndPaint(1);
    EXPECT_TRUE(BackgroundOnly(screen.Compose(true), screen));
    // A font of no height, or of an absurd one, still leaves the dots that fit on show.
    screen.SetBorderSpace(3);
    screen.SetPixelSpacing(1);
    screen.SetPixelSize(pix2x2);
    screen.SetFontHeight(0);
    screen.SetFontHeight(-100000);
    TickAndPaint(1);
    EXPECT_FALSE(BackgroundOnly(screen.Compose(true), screen));
    EXPECT_EQ(screen.Compose(true).Width(), screen.Width());
}

} // namespace
} // namespace vesmera
