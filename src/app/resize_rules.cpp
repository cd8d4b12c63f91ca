#include "app/resize_rules.h"

namespace vesmera {

namespace {

constexpr int kSmallFontLimit = 70;
constexpr int kSmallFontSize = 10;
constexpr int kNewTabXOffset = 50;

} // namespace

int MessageFontSize(int screenHeight) {
    return screenHeight > kSmallFontLimit ? screenHeight / 10 : kSmallFontSize;
}

void ApplyMessageFontRule(IScreenPanel& lcdScreen1) {
    lcdScreen1.SetFontSize(MessageFontSize(lcdScreen1.Height()));
}

void RunResizeRules(const ResizeTargets& t, bool networkMode) {
    if (t.window.Shown() && t.window.OuterHeight() < kMinimumWindowHeight) {
        t.window.SetOuterHeight(kMinimumWindowHeight);
    }
    const int width = t.tabControl.Width();
    t.indicator.SetWidth(width);
    t.lcdScreen1.SetWidth(width);
    t.lcdScreen2.SetWidth(width);

    const int height =
        networkMode ? t.tabControl.Height() - kTabStripHeight : t.tabControl.Height();
    t.indicator.SetHeight(height);
    t.lcdScreen1.SetHeight(height);
    t.lcdScreen2.SetHeight(height);

    int messageHeight = height;
    if (t.window.OuterHeight() > kMessageScreenMaxHeight) {
        messageHeight = kMessageScreenMaxHeight;
        t.lcdScreen1.SetHeight(messageHeight);
    }
    // The height just set, not the screen's own: the screen snaps to whole dots only when it
    // paints.
    t.lcdScreen1.SetFontSize(MessageFontSize(messageHeight));
}

void ResetMessageForNewTab(IScreenPanel& lcdScreen1) {
    lcdScreen1.SetText(kBlankMessage);
    lcdScreen1.SetLinesXOffset(kNewTabXOffset);
    lcdScreen1.ResetDisplay();
}

} // namespace vesmera
