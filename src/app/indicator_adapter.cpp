#include "app/indicator_adapter.h"

#include "widgets/indicator/zyrel_liquid_indicator.h"

namespace vesmera {

void IndicatorAdapter::SetIndicatorString(const std::string& text) {
    indicator_.SetIndicatorstring(text);
}

std::string IndicatorAdapter::IndicatorString() const {
    return indicator_.Indicatorstring();
}

void IndicatorAdapter::SetNumberForeColor(TColor color) {
    indicator_.SetNumberForeColor(color);
}

void IndicatorAdapter::SetVisible(bool visible) {
    indicator_.setVisible(visible);
}

bool IndicatorAdapter::IsVisible() const {
    return !indicator_.isHidden();
}

void IndicatorAdapter::SetNumberBackColor(TColor color) {
    indicator_.SetNumberBackColor(color);
}

void IndicatorAdapter::SetBackColor(TColor color) {
    indicator_.SetBackColor(color);
}

// Sizes go through SetBounds, which the indicator takes at once even while its window is
// hidden (in the tray, say).
void IndicatorAdapter::SetTop(int top) {
    indicator_.SetBounds(0, top, indicator_.width(), indicator_.height());
}

void IndicatorAdapter::SetWidth(int width) {
    indicator_.SetBounds(indicator_.x(), indicator_.y(), width, indicator_.height());
}

void IndicatorAdapter::SetHeight(int height) {
    indicator_.SetBounds(indicator_.x(), indicator_.y(), indicator_.width(), height);
}

int IndicatorAdapter::Height() const {
    return indicator_.height();
}

} // namespace vesmera
