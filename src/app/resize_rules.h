#pragma once

#include "app/main_window_views.h"

namespace vesmera {

// The main window's parts that FormResize sizes.
struct ResizeTargets {
    IWindowFrame& window;
    ITabControlView& tabControl;
    IIndicatorPanel& indicator;
    IScreenPanel& lcdScreen1;
    IScreenPanel& lcdScreen2;
};

inline constexpr int kMinimumWindowHeight = 150;
// Above this window height the message screen stops growing.
inline constexpr int kMessageScreenMaxHeight = 200;

// FormResize: the 150-pixel snap (once the window is shown), the widths, the heights (20 pixels
// less in network mode for the tab strip), LCDScreen1 capped at 200 in a window taller than 200,
// and its font size.
void RunResizeRules(const ResizeTargets& t, bool networkMode);

// LCDScreen1's font size in points for a screen height in pixels: a tenth of it above 70,
// otherwise 10.
int MessageFontSize(int screenHeight);

// The font size rule on the screen's current height.
void ApplyMessageFontRule(IScreenPanel& lcdScreen1);

// The text a tab change leaves on the message screen.
inline constexpr const char* kBlankMessage = " ";
// The tab control's OnChange: the old terminal's message goes, and the next one starts 50 dots
// in from the left.
void ResetMessageForNewTab(IScreenPanel& lcdScreen1);

} // namespace vesmera
