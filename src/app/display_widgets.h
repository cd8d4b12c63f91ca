#pragma once

#include <memory>

#include <QWidget>

#include "app/tab_control.h"
#include "widgets/indicator/zyrel_liquid_indicator.h"
#include "widgets/lcd/lcd_animator.h"
#include "widgets/lcd/lcd_screen.h"

namespace vesmera {

// The main window's display: the tab control filling the window and, on it, the message
// screen LCDScreen1 with its animator, the backdrop LCDScreen2 and ZyrelLiquidIndicator1, each
// with its stored configuration and stacked as Windows drew them. The window owns the widgets;
// this holds the animator.
struct DisplayWidgets {
    explicit DisplayWidgets(QWidget& window);

    std::unique_ptr<TLCDAnimator> animator; // LCDAnimator1
    TSTabControl* tabControl = nullptr;     // sTabControl1
    TLCDScreen* lcdScreen1 = nullptr;
    TLCDScreen* lcdScreen2 = nullptr;
    TZyrelLiquidIndicator* indicator = nullptr;
};

} // namespace vesmera
