#include "app/resize_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_window_fakes.h"

namespace vesmera {
namespace {

using namespace testing_fakes;
using ::testing::ElementsAre;

// A window whose caption and borders take 20 pixels of its outer height; the tab control
// fills the rest of the client area.
class FakeWindow final : public IWindowFrame {
public:
    FakeWindow(FakeTabs& tabs, int outer, bool shown) : tabs_(tabs), shown_(shown) {
        SetOuterHeight(outer);
    }
    int OuterHeight() const override { return outer_; }
    bool Shown() const override { return shown_; }
    void SetOuterHeight(int h) override { outer_ = h, tabs_.height_ = h - 20; }
    int outer_ = 0;

private:
    FakeTabs& tabs_;
    bool shown_;
};

struct ResizeRow {
    int outerHeight;
    bool network;
    int windowAfter, indicatorHeight, lcd1Height, lcd2Height, fontSize;
    bool shown = true;
};

class ResizeRulesTest : public ::testing::TestWithParam<ResizeRow> {
protected:
    Journal journal;
    FakeTabs tabs{journal};
    FakeIndicator indicator{journal, "ind"};
    FakeScreen lcd1{journal, "lcd1"};
    FakeScreen lcd2{journal, "lcd2"};
};

TEST_P(ResizeRulesTest, SizesTheWidgets) {
    const ResizeRow& row = GetParam();
    FakeWindow window(tabs, row.outerHeight, row.shown);
    tabs.width_ = 517;
    RunResizeRules({window, tabs, indicator, lcd1, lcd2}, row.network);
    EXPECT_EQ(window.outer_, row.windowAfter);
    EXPECT_EQ(indicator.height_, row.indicatorHeight);
    EXPECT_EQ(lcd1.height_, row.lcd1Height);
    EXPECT_EQ(lcd2.height_, row.lcd2Height);
    EXPECT_EQ(lcd1.fontSize_, row.fontSize);
    for (const FakeBox* box : {static_cast<FakeBox*>(&indicator), static_cast<FakeBox*>(&lcd1),
                               static_cast<FakeBox*>(&lcd2)}) {
        EXPECT_EQ(box->width_, 517);
        EXPECT_EQ(box->top_, -1); // tops belong to the apply step
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ResizeRulesTest,
    ::testing::Values(
        // Dragged to 120 high: it snaps back to 150, the tab control follows.
        ResizeRow{120, false, 150, 130, 130, 130, 13}, ResizeRow{149, true, 150, 110, 110, 110, 11},
        // Sized before it is shown: the height is the client area's alone and does not snap.
        ResizeRow{127, false, 127, 107, 107, 107, 10, false},
        ResizeRow{150, false, 150, 130, 130, 130, 13},
        // 300 high: the message screen stops at 200, the backdrop fills the rest.
        ResizeRow{300, false, 300, 280, 200, 280, 20}, ResizeRow{300, true, 300, 260, 200, 260, 20},
        // The cap looks at the window's height, not the screen's: 200 is not above 200, and a
        // 201-pixel window caps a 181-pixel screen to 200.
        ResizeRow{200, false, 200, 180, 180, 180, 18},
        ResizeRow{201, false, 201, 181, 200, 181, 20},
        ResizeRow{210, true, 210, 170, 200, 170, 20}));

TEST(ResizeOrder, HeightsFollowWidthsAndTheFontComesLast) {
    Journal journal;
    FakeTabs tabs{journal};
    FakeIndicator indicator{journal, "ind"};
    FakeScreen lcd1{journal, "lcd1"};
    FakeScreen lcd2{journal, "lcd2"};
    FakeWindow window(tabs, 300, true);
    RunResizeRules({window, tabs, indicator, lcd1, lcd2}, false);
    EXPECT_THAT(journal, ElementsAre("ind.Width=403", "lcd1.Width=403", "lcd2.Width=403",
                                     "ind.Height=280", "lcd1.Height=280", "lcd2.Height=280",
                                     "lcd1.Height=200", "lcd1.FontSize=20"));
}

class MessageFontSizeTest : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(MessageFontSizeTest, TenthOfTheHeightAboveSeventy) {
    Journal journal;
    FakeScreen lcd1{journal, "lcd1"};
    lcd1.SetHeight(GetParam().first);
    ApplyMessageFontRule(lcd1);
    EXPECT_EQ(lcd1.fontSize_, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Rows, MessageFontSizeTest,
                         ::testing::Values(std::pair{70, 10}, std::pair{71, 7}, std::pair{0, 10},
                                           std::pair{79, 7}, std::pair{80, 8}, std::pair{109, 10},
                                           std::pair{200, 20}));

TEST(TabChange, BlanksTheMessageAndRestartsItFiftyDotsIn) {
    Journal journal;
    FakeScreen lcd1{journal, "lcd1"};
    lcd1.SetText("Сервер не найден");
    journal.clear();
    ResetMessageForNewTab(lcd1);
    EXPECT_THAT(journal,
                ElementsAre("lcd1.Text= ", "lcd1.LinesXOffset=50", "lcd1.Reset(rmDisplay)"));
}

} // namespace
} // namespace vesmera
