#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <gtest/gtest.h>

#include "lcd_fakes.h"
#include "widgets/lcd/lcd_font.h"
#include "widgets/lcd/lcd_screen.h"
#include "widgets/lcd/qt_lines_renderer.h"

namespace vesmera {
namespace {

MonoImage RenderText(const std::vector<std::string>& lines, TSpecialEffects effects,
                     bool blinking = false, TLCDFont font = MessageScreenFont(clWindowText)) {
    Display d;
    ParseLines(lines, d);
    return QtLinesRenderer().Render(d, font, effects, blinking);
}

int DarkCount(const MonoImage& m, int y0 = 0, int y1 = -1) {
    int n = 0;
    for (int y = y0; y < (y1 < 0 ? m.Height() : y1); ++y)
        for (int x = 0; x < m.Width(); ++x)
            n += m.Dark(x, y);
    return n;
}

TEST(Fonts, TahomaIsAvailableAndUsedEvenWithFixedPitch) {
    ASSERT_TRUE(EnsureTahomaFont());
    EXPECT_EQ(ResolveFontFamily("Tahoma"), "Tahoma");
    EXPECT_EQ(QFontInfo(MakeQFont(MessageScreenFont(clWindowText))).family(), "Tahoma");
    EXPECT_EQ(QFontInfo(MakeQFont(MessageScreenFont(clWindowText))).pixelSize(), 32);
    // An unknown family falls back to the system sans font.
    EXPECT_EQ(ResolveFontFamily("No Such Family 12345"),
              QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
}

TEST(LinesRenderer, BoldOnlyWithTheEffectAndTagsNeverDrawn) {
    const MonoImage plain = RenderText({"<b>AB</b>C"}, {});
    const MonoImage bold = RenderText({"<b>AB</b>C"}, {spBold});
    const MonoImage abc = RenderText({"ABC"}, {});
    EXPECT_EQ(plain, abc); // the tags occupy nothing
    EXPECT_GT(DarkCount(bold), DarkCount(plain));
    EXPECT_EQ(plain.Height(), QFontMetrics(MakeQFont(MessageScreenFont(clWindowText))).height());
}

TEST(LinesRenderer, UnclosedUnderlineCarriesIntoTheNextLine) {
    const MonoImage with = RenderText({"<u>a", "b"}, {spUnderline});
    const MonoImage without = RenderText({"a", "b"}, {spUnderline});
    ASSERT_EQ(with.Height(), without.Height());
    const int half = with.Height() / 2;
    EXPECT_GT(DarkCount(with, half), DarkCount(without, half));
}

TEST(LinesRenderer, InverseAndBlinkDrawWhiteOnBlack) {
    const MonoImage normal = RenderText({"<inv>x</inv>"}, {});
    const MonoImage inverse = RenderText({"<inv>x</inv>"}, {spInverse});
    EXPECT_GT(DarkCount(inverse), inverse.Width() * inverse.Height() / 2);
    EXPECT_LT(DarkCount(normal), normal.Width() * normal.Height() / 2);
    EXPECT_EQ(RenderText({"<bl>x"}, {spBlink}, false), normal);
    EXPECT_EQ(RenderText({"<bl>x"}, {spBlink}, true), inverse);
}

TEST(LinesRenderer, LinesStackAndEmptyLinesKeepTheFontHeight) {
    const int lineHeight = RenderText({"A"}, {}).Height();
    const MonoImage three = RenderText({"A", "", "WWW"}, {});
    EXPECT_EQ(three.Height(), 2 * lineHeight + 32);
    EXPECT_EQ(three.Width(), RenderText({"WWW"}, {}).Width());
    const MonoImage onlyEmpty = RenderText({""}, {});
    EXPECT_EQ(onlyEmpty.Width(), 0);
    EXPECT_EQ(onlyEmpty.Height(), 32);
    EXPECT_TRUE(RenderText({}, {}).Empty());
}

TEST(LinesRenderer, CharactersAreDrawnOneByOneAtTheirAdvance) {
    const QFontMetrics fm(MakeQFont(MessageScreenFont(clWindowText)));
    const MonoImage m = RenderText({"AVA"}, {});
    EXPECT_EQ(m.Width(), 2 * fm.horizontalAdvance(QChar('A')) + fm.horizontalAdvance(QChar('V')));
    EXPECT_GT(DarkCount(RenderText({"С терминалом нет связи"}, {})), 0);
}

TEST(MonoConversion, ThresholdMakesMostlyInkedPixelsDark) {
    QImage picture(4, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(0, 0, 0));
    picture.setPixel(1, 0, qRgb(191, 191, 191));
    picture.setPixel(2, 0, qRgb(192, 192, 192));
    picture.setPixel(3, 0, qRgb(255, 255, 255));
    const MonoImage m = ToMonoImage(picture);
    EXPECT_TRUE(m.Dark(0, 0));
    EXPECT_TRUE(m.Dark(1, 0));
    EXPECT_FALSE(m.Dark(2, 0));
    EXPECT_FALSE(m.Dark(3, 0));
}

TEST(AnimationTimer, IntervalZeroOrHoldingKeepsItStopped) {
    int ticks = 0;
    QtAnimationTimer t([&] { ++ticks; });
    EXPECT_EQ(t.Timer().interval(), 250);
    t.SetEnabled(true);
    EXPECT_TRUE(t.Timer().isActive());
    t.SetInterval(0);
    EXPECT_FALSE(t.Timer().isActive());
    t.SetInterval(30);
    EXPECT_TRUE(t.Timer().isActive());
    EXPECT_EQ(t.Timer().interval(), 30);
    t.SetInterval(4294967295u);
    EXPECT_EQ(t.Timer().interval(), INT_MAX);
    t.SetHeld(true);
    EXPECT_FALSE(t.Timer().isActive());
    t.SetInterval(30); // a change while held does not start it
    EXPECT_FALSE(t.Timer().isActive());
    t.SetHeld(false);
    EXPECT_TRUE(t.Timer().isActive());
    t.SetEnabled(false);
    EXPECT_FALSE(t.Timer().isActive());
    t.SetHeld(false); // released, a disabled timer stays stopped
    EXPECT_FALSE(t.Timer().isActive());
}

// The message screen is hidden while the weight is shown and with its window in the tray: its
// 30 ms animation must not wake the program then, and must go on when it is shown again.
TEST(ScreenWidget, AnimationRunsOnlyWhileTheScreenCanBeSeen) {
    QWidget window;
    auto* screen = new TLCDScreen(&window);
    screen->SetAnimationDelay(30);
    screen->SetAnimationEnabled(true);
    EXPECT_FALSE(screen->AnimationTimer().isActive()); // not shown yet
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(screen->AnimationTimer().isActive());
    screen->SetVisible(false);
    EXPECT_FALSE(screen->AnimationTimer().isActive());
    screen->SetVisible(true);
    EXPECT_TRUE(screen->AnimationTimer().isActive());
    window.hide();
    EXPECT_FALSE(screen->AnimationTimer().isActive());
    window.show();
    EXPECT_TRUE(screen->AnimationTimer().isActive());
    screen->SetAnimationEnabled(false);
    EXPECT_FALSE(screen->AnimationTimer().isActive());
}

// Counts the paint events a widget receives, as the window system delivers them.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int Count() const { return FCount; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        FCount += event->type() == QEvent::Paint;
        return false;
    }

private:
    int FCount = 0;
};

// What the widget paints, rendered off screen.
QImage Painted(QWidget& widget) {
    QImage picture(widget.size(), QImage::Format_RGB32);
    picture.fill(Qt::white);
    widget.render(&picture);
    return picture;
}

// The main window's message screen, shown so that it really paints.
struct MessageWidget {
    MessageWidget() {
        testing_lcd::ConfigureMessageScreen(screen);
        screen.SetFont(MessageScreenFont(clWindowText));
        screen.SetFontColor(clRed);
        screen.SetLCDAnimator(&animator);
        animator.SetCode({"[HorzScroll(-1); ]"});
        screen.SetAnimationRepeating(true);
        screen.SetBounds(0, 0, 403, 127);
        screen.show();
        QApplication::processEvents();
    }
    TLCDAnimator animator;
    TLCDScreen screen;
};

TEST(ScreenWidget, NewScreenSnapsAndPaintsWithoutAnimation) {
    TLCDScreen s;
    EXPECT_EQ(s.width(), 143);
    EXPECT_EQ(s.height(), 65);
    s.show();
    QApplication::processEvents();
    const PaintCounter paints(s);
    s.SetText("Перегруз");
    EXPECT_EQ(s.Text(), "Перегруз");
    EXPECT_EQ(paints.Count(), 1); // synchronous repaint from the setter
    EXPECT_TRUE(s.IsVisible());
    s.SetVisible(false);
    EXPECT_FALSE(s.isVisible());
}

TEST(ScreenWidget, PaintsTheMessageAndSnapsItsSize) {
    MessageWidget w;
    w.screen.SetText("С терминалом нет связи");
    w.screen.repaint();
    QApplication::processEvents();
    EXPECT_EQ(w.screen.width(), 402);
    EXPECT_EQ(w.screen.height(), 126);
    const QImage p = Painted(w.screen);
    ASSERT_EQ(p.size(), QSize(402, 126));
    int lit = 0, other = 0;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            lit += p.pixel(x, y) == qRgb(128, 0, 0);
            // Every pixel is a lit dot or the black of the unlit dots and the background.
            other += p.pixel(x, y) != qRgb(128, 0, 0) && p.pixel(x, y) != qRgb(0, 0, 0);
        }
    EXPECT_GT(lit, 100);
    EXPECT_EQ(other, 0);
}

TEST(ScreenWidget, AnimatedScreenPaintsOnlyFromTheTick) {
    MessageWidget w;
    w.screen.SetAnimationEnabled(true);
    const PaintCounter paints(w.screen);
    w.screen.SetText("x");
    w.screen.SetColor(clBlue);
    EXPECT_EQ(paints.Count(), 0);
    w.screen.TimerTick();
    EXPECT_EQ(paints.Count(), 1);
    EXPECT_EQ(w.screen.PixHRef(), -1);
}

TEST(ScreenWidget, HeightSetByTheWindowIsReadBeforeThePaintSnapsIt) {
    MessageWidget w;
    w.screen.SetHeight(200);
    EXPECT_EQ(w.screen.Height(), 200);
    EXPECT_EQ(w.screen.height(), 200);
    w.screen.SetWidth(400);
    w.screen.repaint();
    QApplication::processEvents();
    EXPECT_EQ(w.screen.Width(), 399);
    EXPECT_EQ(w.screen.width(), 399);
    EXPECT_EQ(w.screen.height(), 198);
}

TEST(ScreenWidget, QtBitmapBecomesMonochrome) {
    TLCDScreen s;
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.setPixel(1, 1, qRgb(20, 20, 20));
    s.SetBitmap(picture);
    EXPECT_TRUE(s.Bitmap().Dark(1, 1));
    EXPECT_FALSE(s.Bitmap().Dark(0, 0));
}

} // namespace
} // namespace vesmera
