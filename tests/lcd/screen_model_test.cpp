#include <gtest/gtest.h>

#include "lcd_fakes.h"

namespace vesmera {
namespace {

using testing_lcd::BoxRecorder;
using testing_lcd::ConfigureMessageScreen;
using testing_lcd::ModelScreen;

TEST(ScreenModel, DefaultsOfANewScreen) {
    ModelScreen m;
    const auto& s = m.Screen;
    EXPECT_EQ(s.AnimationDelay(), 251u);
    EXPECT_FALSE(s.AnimationEnabled());
    EXPECT_FALSE(s.AnimationRepeating());
    EXPECT_EQ(s.BorderSpace(), 3);
    EXPECT_EQ(s.BorderStyle(), bsLowered);
    EXPECT_EQ(s.Color(), clSystemColor | 11);
    EXPECT_EQ(s.Intensity(), 127);
    EXPECT_EQ(s.PixelSize(), pix2x2);
    EXPECT_EQ(s.PixelSpacing(), 1);
    EXPECT_EQ(s.PixelOff(), RGB(170, 170, 170));
    EXPECT_EQ(s.LinesAnimMode(), amDynamic);
    EXPECT_EQ(s.BitmapAnimMode(), amDynamic);
    EXPECT_EQ(s.About(), "About LCDAnimator");
    // Requested at 145 x 65, a new screen snaps to 143 x 65; the timer runs at 250 ms until a
    // delay is assigned.
    EXPECT_EQ(s.Width(), 143);
    EXPECT_EQ(s.Height(), 65);
    EXPECT_EQ(m.Timer.Interval, 250u);
    EXPECT_FALSE(m.Timer.Enabled);
    // Assigning the default delay is no change, so the timer keeps its 250 ms.
    m.Screen.SetAnimationDelay(251);
    EXPECT_EQ(m.Timer.Interval, 250u);
    m.Screen.SetAnimationDelay(30);
    EXPECT_EQ(m.Timer.Interval, 30u);
}

TEST(ScreenModel, SettersRepaintOnlyOnChangeAndOnlyWithoutAnimation) {
    ModelScreen m;
    auto& s = m.Screen;
    s.SetPixelShape(psRound);
    s.SetLinesXOffset(5);
    s.SetColor(clRed);
    EXPECT_EQ(m.Host.Repaints, 3);
    s.SetColor(clRed);             // equal value
    s.SetAnimationRepeating(true); // stored only
    EXPECT_EQ(m.Host.Repaints, 3);
    s.SetAnimationEnabled(true);
    EXPECT_TRUE(m.Timer.Enabled);
    s.SetColor(clBlue);
    s.Lines().SetText("x");
    EXPECT_EQ(m.Host.Repaints, 3);
    // The bitmap paints whatever the animation.
    s.SetBitmap(MonoImage(2, 2));
    EXPECT_EQ(m.Host.Repaints, 4);
}

TEST(ScreenModel, RenderingFollowsLinesFontAndEffects) {
    ModelScreen m;
    auto& s = m.Screen;
    const int base = m.RenderCalls;
    s.Lines().SetText("<b>AB</b>C");
    EXPECT_EQ(m.RenderCalls, base + 1);
    EXPECT_EQ(s.LinesImage().Width(), 12); // plain: three glyphs of 4
    s.SetSpecialEffects({spBold});
    EXPECT_EQ(s.LinesImage().Width(), 14); // A and B one wider
    s.SetPixelOff(clBlack);                // colours only
    EXPECT_EQ(m.RenderCalls, base + 2);
    s.SetFontColor(clGreen);
    EXPECT_EQ(m.RenderCalls, base + 3);
    EXPECT_EQ(s.TrueColors().On, RGB(0, 192, 0));
    s.SetIntensity(127);      // unchanged: nothing at all
    s.SetPixelShape(psRound); // repaint only
    EXPECT_EQ(m.RenderCalls, base + 3);
}

TEST(ScreenModel, PixelWidthAndHeightNeedCustomSizeAndRefuseBelowOne) {
    BoxRecorder boxes;
    ModelScreen m;
    auto& s = m.Screen;
    s.SetPixelWidth(5); // ignored with pix2x2
    EXPECT_EQ(s.PixelWidth(), 2);
    s.SetPixelSize(pixCustom);
    s.SetPixelWidth(5);
    s.SetPixelHeight(4);
    EXPECT_EQ(s.PixelWidth(), 5);
    EXPECT_EQ(s.PixelHeight(), 4);
    const int repaints = m.Host.Repaints;
    s.SetPixelWidth(0);
    s.SetPixelHeight(-3);
    EXPECT_EQ(s.PixelWidth(), 5);
    EXPECT_EQ(s.PixelHeight(), 4);
    EXPECT_EQ(m.Host.Repaints, repaints);
    ASSERT_EQ(boxes.Boxes.size(), 2u);
    // An error box: the text already ends in a full stop, so none is added.
    EXPECT_EQ(boxes.Boxes[0].caption, "Error");
    EXPECT_EQ(boxes.Boxes[0].text, "Value must be between 1 and 255.");
    EXPECT_EQ(boxes.Boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(boxes.Boxes[0].icon, MessageIcon::Error);
    // A custom size uses them: (143 - 6 + 1) / 6 = 23 dots across.
    s.Compose(true);
    EXPECT_EQ(s.Geometry().NbXPixels, 23);
}

TEST(ScreenModel, SizeSetByTheWindowIsReadBackBeforeAnyPaint) {
    ModelScreen m;
    auto& s = m.Screen;
    ConfigureMessageScreen(s);
    s.SetSize(300, 200);
    EXPECT_EQ(s.Height(), 200); // the font size rule reads this
    s.SetFontSize(s.Height() / 10);
    EXPECT_EQ(s.Font().Height, -27); // 20 points at 96 pixels per inch
    EXPECT_EQ(s.Font().Size(), 20);
}

TEST(ScreenModel, ResetModes) {
    ModelScreen m;
    auto& s = m.Screen;
    TLCDAnimator animator;
    animator.SetCode({"[HorzScroll(-3);VertScroll(2);]", "[]"});
    s.Lines().SetText("long enough text");
    s.SetLCDAnimator(&animator);
    s.SetAnimationEnabled(true);
    s.TimerTick();
    EXPECT_EQ(s.PixHRef(), -3);
    EXPECT_EQ(animator.CurrentLine(), 1);
    const int renders = m.RenderCalls;
    s.Reset(rmCode);
    EXPECT_EQ(animator.CurrentLine(), 0);
    EXPECT_EQ(s.PixHRef(), -3);
    s.Reset(rmDisplay);
    EXPECT_EQ(s.PixHRef(), 0);
    EXPECT_EQ(s.PixVRef(), 0);
    EXPECT_EQ(m.RenderCalls, renders + 1);
    s.TimerTick();
    s.Reset(rmDisplayAndCode);
    EXPECT_EQ(s.PixHRef(), 0);
    EXPECT_EQ(animator.CurrentLine(), 0);
    s.SetLCDAnimator(nullptr);
    s.Reset(rmCode); // no animator: nothing
}

TEST(ScreenModel, ChangingLinesKeepsTheScrollPosition) {
    ModelScreen m;
    auto& s = m.Screen;
    TLCDAnimator animator;
    animator.SetCode({"[HorzScroll(-4);]"});
    s.SetLCDAnimator(&animator);
    s.SetAnimationEnabled(true);
    s.Lines().SetText("long enough text");
    s.TimerTick();
    s.Lines().SetText("another text");
    EXPECT_EQ(s.PixHRef(), -4);
}

TEST(ScreenModel, ReferenceIsClearedWhenTheAnimatorGoes) {
    ModelScreen m;
    auto& s = m.Screen;
    {
        TLCDAnimator animator;
        s.SetLCDAnimator(&animator);
        EXPECT_EQ(s.LCDAnimator(), &animator);
    }
    EXPECT_EQ(s.LCDAnimator(), nullptr);
    s.SetAnimationEnabled(true);
    const int repaints = m.Host.Repaints;
    s.TimerTick(); // no animator: no paint
    EXPECT_EQ(m.Host.Repaints, repaints);
    EXPECT_FALSE(s.BlinkingStatus());
}

TEST(ScreenModel, AnimatorForgetsScreensThatGoFirst) {
    ModelScreen kept;
    {
        TLCDAnimator animator;
        kept.Screen.SetLCDAnimator(&animator);
        {
            ModelScreen gone;
            gone.Screen.SetLCDAnimator(&animator);
        }
        // Destroying the animator now tells only the kept screen (the sanitizer run would
        // catch a call into the destroyed one).
    }
    EXPECT_EQ(kept.Screen.LCDAnimator(), nullptr);
}

TEST(AnimatorCurrentLine, ClampingRule) {
    TLCDAnimator a;
    a.SetCode({"a", "b", "c"});
    a.SetCurrentLine(2);
    EXPECT_EQ(a.CurrentLine(), 2);
    a.SetCurrentLine(3); // the number of lines is kept
    EXPECT_EQ(a.CurrentLine(), 3);
    a.SetCurrentLine(4);
    EXPECT_EQ(a.CurrentLine(), 2);
    a.SetCurrentLine(-7);
    EXPECT_EQ(a.CurrentLine(), -7);
    a.SetCode({});
    a.SetCurrentLine(5);
    EXPECT_EQ(a.CurrentLine(), 0);
    a.SetCode({"x"});
    EXPECT_EQ(a.CurrentLine(), 0); // assigning code leaves it alone
    // The property is 16 bits: a wider value is cut to them before the rule applies.
    a.SetCode({"a", "b", "c"});
    a.SetCurrentLine(65536 + 1);
    EXPECT_EQ(a.CurrentLine(), 1);
    a.SetCurrentLine(32768); // -32768 as 16 bits: negative, kept
    EXPECT_EQ(a.CurrentLine(), -32768);
}

// A screen animated by a script, with the events recorded.
struct AnimatedScreen {
    explicit AnimatedScreen(std::vector<std::string> code, bool repeating = true) {
        animator.SetCode(std::move(code));
        animator.OnEndCode = [this](TLCDAnimator&) { ++endCodes; };
        animator.OnLineExecuted = [this](TLCDAnimator&, std::uint16_t line) {
            executed.push_back(line);
        };
        ConfigureMessageScreen(m.Screen);
        m.Screen.Lines().SetText("С терминалом нет связи");
        m.Screen.SetLCDAnimator(&animator);
        m.Screen.SetAnimationRepeating(repeating);
        m.Screen.SetAnimationEnabled(true);
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            m.Screen.TimerTick();
    }

    TLCDAnimator animator;
    ModelScreen m;
    int endCodes = 0;
    std::vector<int> executed;
};

TEST(AnimationTick, ProgramScriptScrollsOneDotLeftPerTick) {
    AnimatedScreen a({"[HorzScroll(-1); ]"});
    EXPECT_EQ(a.m.Timer.Interval, 30u);
    const int repaints = a.m.Host.Repaints;
    a.Ticks(1);
    EXPECT_EQ(a.m.Screen.PixHRef(), -1);
    a.Ticks(9);
    EXPECT_EQ(a.m.Screen.PixHRef(), -10);
    EXPECT_EQ(a.animator.CurrentLine(), 0);
    EXPECT_EQ(a.endCodes, 10);
    EXPECT_EQ(a.m.Host.Repaints, repaints + 10);
    EXPECT_EQ(a.executed, std::vector<int>(10, 0));
}

TEST(AnimationTick, WrapAroundBringsTheTextBackAtTheLastColumn) {
    AnimatedScreen a({"[HorzScroll(-1); ]"});
    auto& s = a.m.Screen;
    const int w = s.LinesImage().Width();
    // Column of the first text dot in the last painted picture (dots are 3 wide, border 3).
    auto firstLitDot = [&]() {
        const RgbImage& p = a.m.Host.Last;
        const auto lit = RgbImage::FromColor(s.TrueColors().On);
        for (int i = 0; i < s.Geometry().NbXPixels; ++i)
            for (int j = 0; j < s.Geometry().NbYPixels; ++j)
                if (p.At(3 + 3 * i + 1, 3 + 3 * j + 1) == lit)
                    return i;
        return -1;
    };
    a.Ticks(w); // PixHRef = -W: the last text column sits just left of the screen
    EXPECT_EQ(s.PixHRef(), -w);
    EXPECT_EQ(firstLitDot(), -1);
    a.Ticks(1); // reaches -W - 1: wraps to the last dot column
    EXPECT_EQ(s.PixHRef(), s.Geometry().NbXPixels - 1);
    EXPECT_EQ(firstLitDot(), 131);
}

TEST(AnimationTick, MessageShownAfterLongHiddenTickingIsOnScreenAtItsFirstPaint) {
    // The message screen keeps its script running while the indicator stands in its place;
    // nothing is rendered then, so the wrap-around does not run.
    AnimatedScreen a({"[HorzScroll(-1); ]"});
    auto& s = a.m.Screen;
    s.SetHost(nullptr);
    a.Ticks(5000);
    EXPECT_EQ(s.PixHRef(), -5000);
    s.SetHost(&a.m.Host);
    a.Ticks(1);
    const int w = s.LinesImage().Width();
    EXPECT_GE(s.PixHRef(), -w);
    EXPECT_LT(s.PixHRef(), s.Geometry().NbXPixels);
    const RgbImage& p = a.m.Host.Last;
    const auto lit = RgbImage::FromColor(s.TrueColors().On);
    int litPixels = 0;
    for (int y = 0; y < p.Height(); ++y)
        for (int x = 0; x < p.Width(); ++x)
            litPixels += p.At(x, y) == lit;
    EXPECT_GT(litPixels, 0);
}

TEST(AnimationTick, TwoStatementsInOneTickPaintOnce) {
    AnimatedScreen a({"[horzscroll(-1);vertscroll(2);]"});
    const int repaints = a.m.Host.Repaints;
    a.Ticks(1);
    EXPECT_EQ(a.m.Screen.PixHRef(), -1);
    EXPECT_EQ(a.m.Screen.PixVRef(), 2);
    EXPECT_EQ(a.m.Host.Repaints, repaints + 1);
}

struct CommandCase {
    const char* name;
    std::string line;
    std::int32_t h, v;
    std::int8_t intensity;
    std::uint32_t delay;
};

class ScriptCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ScriptCommands, ChangeTheScreen) {
    AnimatedScreen a({GetParam().line});
    a.Ticks(1);
    EXPECT_EQ(a.m.Screen.PixHRef(), GetParam().h);
    EXPECT_EQ(a.m.Screen.PixVRef(), GetParam().v);
    EXPECT_EQ(a.m.Screen.Intensity(), GetParam().intensity);
    EXPECT_EQ(a.m.Screen.AnimationDelay(), GetParam().delay);
    EXPECT_EQ(a.m.Timer.Interval, GetParam().delay);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScriptCommands,
    ::testing::Values(CommandCase{"LowByte255IsMinusOne", "[HorzScroll(255); ]", -1, 0, 127, 30},
                      CommandCase{"LowByteOf510", "[VertScroll(510); ]", 0, -2, 127, 30},
                      CommandCase{"HugeArgument", "[horzscroll(2147483647);]", -1, 0, 127, 30},
                      CommandCase{"NegativeHuge", "[horzscroll(-2147483648);]", 0, 0, 127, 30},
                      CommandCase{"Intensity", "[SetIntensity(-1); ]", 0, 0, -1, 30},
                      CommandCase{"IntensityLowByte", "[SetIntensity(511); ]", 0, 0, -1, 30},
                      CommandCase{"Delay", "[AnimationDelay(100000); ]", 0, 0, 127, 100000},
                      CommandCase{"DelayFullValue", "[AnimationDelay(-1); ]", 0, 0, 127,
                                  4294967295u},
                      CommandCase{"UnknownIgnored", "[Dance(5); ]", 0, 0, 127, 30},
                      CommandCase{"Reset", "[HorzScroll(-5);ResetDisplay(0); ]", 0, 0, 127, 30},
                      CommandCase{"EmptyLine", "", 0, 0, 127, 30},
                      CommandCase{"NoSemicolon", "[HorzScroll(-1)]", 0, 0, 127, 30}),
    [](const auto& info) { return info.param.name; });

TEST(AnimationTick, NegativeIntensityGivesLitDotsThePixelOffColour) {
    AnimatedScreen a({"[SetIntensity(-1); ]"});
    a.m.Screen.SetPixelOff(RGB(10, 20, 30));
    a.Ticks(1);
    EXPECT_EQ(a.m.Screen.TrueColors().On, RGB(10, 20, 30));
}

TEST(AnimationTick, EmptyLineOnlySpendsATick) {
    AnimatedScreen a({"", "[HorzScroll(-1);]"});
    const int repaints = a.m.Host.Repaints;
    a.Ticks(1);
    EXPECT_EQ(a.m.Screen.PixHRef(), 0);
    EXPECT_EQ(a.animator.CurrentLine(), 1);
    EXPECT_EQ(a.m.Host.Repaints, repaints + 1);
    EXPECT_TRUE(a.m.Screen.BlinkingStatus());
}

TEST(AnimationTick, GotoLineZeroOnTheLastLineLoopsWithoutEndCode) {
    AnimatedScreen a({"[HorzScroll(-1);]", "[HorzScroll(-1);]", "[GotoLine(0); ]"});
    a.Ticks(7);
    EXPECT_EQ(a.executed, (std::vector<int>{0, 1, 0, 1, 0, 1, 0}));
    // LineNumber is CurrentLine after the statements: line 2 reports the 0 it jumped to, and
    // the lines run are 0, 1, 2, 1, 2, 1, 2.
    EXPECT_EQ(a.m.Screen.PixHRef(), -4);
    EXPECT_EQ(a.animator.CurrentLine(), 1);
    EXPECT_EQ(a.endCodes, 0);
}

struct GotoCase {
    const char* name;
    int argument;
    int next;
    int endCodes;
};

class GotoLine : public ::testing::TestWithParam<GotoCase> {};

TEST_P(GotoLine, SetsTheLineBeforeTheAdvance) {
    AnimatedScreen a({"[GotoLine(" + std::to_string(GetParam().argument) + ");]", "[]", "[]"});
    a.Ticks(1);
    EXPECT_EQ(a.animator.CurrentLine(), GetParam().next);
    EXPECT_EQ(a.endCodes, GetParam().endCodes);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, GotoLine,
    ::testing::Values(GotoCase{"MinusOneRestarts", -1, 0, 0}, GotoCase{"LastLineEnds", 2, 0, 1},
                      GotoCase{"CountRunsLast", 3, 2, 0}, GotoCase{"AboveCountRunsLast", 500, 2, 0},
                      GotoCase{"SixteenBits", 65536 + 1, 2, 0}, GotoCase{"FarNegative", -5, -4, 0}),
    [](const auto& info) { return info.param.name; });

TEST(AnimationTick, OutsideLinesRunEmptyAndAdvance) {
    AnimatedScreen a({"[HorzScroll(-1);]", "[HorzScroll(-1);]"});
    a.animator.SetCurrentLine(-3);
    a.Ticks(3); // -3, -2, -1 run as empty lines
    EXPECT_EQ(a.m.Screen.PixHRef(), 0);
    EXPECT_EQ(a.animator.CurrentLine(), 0);
    a.Ticks(1);
    EXPECT_EQ(a.m.Screen.PixHRef(), -1);
    a.animator.SetCurrentLine(2); // the number of lines: outside, runs empty, then clamps
    a.Ticks(1);
    EXPECT_EQ(a.m.Screen.PixHRef(), -1);
    EXPECT_EQ(a.animator.CurrentLine(), 1);
}

TEST(AnimationTick, WithoutRepeatingRunsOnceAndStops) {
    AnimatedScreen a({"[HorzScroll(-1);]", "[HorzScroll(-1);]"}, false);
    const int repaints = a.m.Host.Repaints;
    a.Ticks(2);
    EXPECT_FALSE(a.m.Screen.AnimationEnabled());
    EXPECT_FALSE(a.m.Timer.Enabled);
    EXPECT_EQ(a.animator.CurrentLine(), 0);
    EXPECT_EQ(a.endCodes, 1);
    a.Ticks(3); // a late timer event does nothing
    EXPECT_EQ(a.m.Host.Repaints, repaints + 2);
    EXPECT_EQ(a.m.Screen.PixHRef(), -2);
}

TEST(AnimationTick, ParseErrorShowsOneBoxAndEndsTheTickEarly) {
    BoxRecorder boxes;
    AnimatedScreen a({"[HorzScroll(-1);ResetDisplay();]"});
    const int repaints = a.m.Host.Repaints;
    // While the box is open the timer keeps firing; those ticks must do nothing.
    boxes.OnBox = [&] { a.Ticks(5); };
    a.Ticks(1);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    // The standard error box: error icon, and a full stop after the closing "e".
    EXPECT_EQ(boxes.Boxes[0].caption, "Vesmera");
    EXPECT_EQ(boxes.Boxes[0].text, "'''' is not a valid integer value.");
    EXPECT_EQ(boxes.Boxes[0].icon, MessageIcon::Error);
    EXPECT_EQ(a.m.Screen.PixHRef(), 0); // nothing ran, not even the first statement
    EXPECT_EQ(a.executed.size(), 0u);
    EXPECT_FALSE(a.m.Screen.BlinkingStatus());
    EXPECT_EQ(a.m.Host.Repaints, repaints);
    boxes.OnBox = nullptr;
    a.Ticks(1); // the next tick meets the same line again
    EXPECT_EQ(boxes.Boxes.size(), 2u);
    EXPECT_EQ(a.animator.CurrentLine(), 0);
}

TEST(AnimationTick, BlinkRendersAgainOnlyWithTheEffectAndNotForBitmaps) {
    AnimatedScreen a({"[]"});
    auto& s = a.m.Screen;
    s.Lines().SetText("<bl>AB</bl>C");
    int renders = a.m.RenderCalls;
    a.Ticks(2);
    EXPECT_EQ(a.m.RenderCalls, renders); // no spBlink
    s.SetSpecialEffects({spBlink});
    renders = a.m.RenderCalls;
    const MonoImage before = s.LinesImage();
    a.Ticks(1);
    EXPECT_EQ(a.m.RenderCalls, renders + 1);
    const MonoImage blinked = s.LinesImage();
    EXPECT_NE(blinked, before);
    a.Ticks(1);
    EXPECT_EQ(s.LinesImage(), before);
    s.SetDisplayMode(dmBitmap);
    renders = a.m.RenderCalls;
    a.Ticks(2);
    EXPECT_EQ(a.m.RenderCalls, renders);
}

TEST(AnimationTick, HandlerDetachingTheAnimatorEndsOnlyTheScriptPart) {
    AnimatedScreen a({"[HorzScroll(-1);]", "[]"});
    a.animator.OnLineExecuted = [&](TLCDAnimator&, std::uint16_t) {
        a.m.Screen.SetLCDAnimator(nullptr);
    };
    const int repaints = a.m.Host.Repaints;
    a.Ticks(1);
    EXPECT_EQ(a.animator.CurrentLine(), 0);
    EXPECT_EQ(a.m.Host.Repaints, repaints + 1);
}

} // namespace
} // namespace vesmera
