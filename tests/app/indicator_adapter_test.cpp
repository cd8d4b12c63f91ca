#include <gtest/gtest.h>

#include <QWidget>

#include "app/indicator_adapter.h"
#include "widgets/indicator/zyrel_liquid_indicator.h"

namespace vesmera {
namespace {

// The apply step and the resize rules size the indicator while the window may be hidden (in
// the tray, say): the indicator takes each size at once, as it would on screen.
TEST(IndicatorAdapter, SizesReachAHiddenIndicatorAtOnce) {
    QWidget window; // never shown
    auto* indicator = new TZyrelLiquidIndicator(&window);
    indicator->Loaded();
    IndicatorAdapter adapter(*indicator);
    adapter.SetWidth(403);
    adapter.SetTop(20);
    adapter.SetHeight(107);
    EXPECT_EQ(indicator->geometry(), QRect(0, 20, 403, 107));
    EXPECT_EQ(indicator->IndicatorWidth(), 403);
    EXPECT_EQ(indicator->IndicatorHeight(), 107);
    EXPECT_EQ(adapter.Height(), 107);
}

} // namespace
} // namespace vesmera
