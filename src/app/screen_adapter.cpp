#include "app/screen_adapter.h"

#include "widgets/lcd/lcd_screen.h"

namespace vesmera {

void ScreenAdapter::SetText(const std::string& text) {
    screen_.SetText(text);
}

std::string ScreenAdapter::Text() const {
    return screen_.Text();
}

void ScreenAdapter::SetVisible(bool visible) {
    screen_.setVisible(visible);
}

bool ScreenAdapter::IsVisible() const {
    return !screen_.isHidden();
}

void ScreenAdapter::SetColor(TColor color) {
    screen_.SetColor(color);
}

void ScreenAdapter::SetPixelOff(TColor color) {
    screen_.SetPixelOff(color);
}

void ScreenAdapter::SetFontColor(TColor color) {
    screen_.SetFontColor(color);
}

void ScreenAdapter::SetFontSize(int points) {
    screen_.SetFontSize(points);
}

void ScreenAdapter::SetLinesXOffset(int dots) {
    screen_.SetLinesXOffset(static_cast<std::int8_t>(dots));
}

void ScreenAdapter::ResetDisplay() {
    screen_.Reset(rmDisplay);
}

void ScreenAdapter::SetTop(int top) {
    screen_.SetTop(top);
}

void ScreenAdapter::SetWidth(int width) {
    screen_.SetWidth(width);
}

void ScreenAdapter::SetHeight(int height) {
    heightSet_ = height;
    screen_.SetHeight(height);
}

int ScreenAdapter::Height() const {
    return heightSet_.value_or(screen_.Height());
}

int ScreenAdapter::FontSize() const {
    return screen_.Font().Size();
}

} // namespace vesmera
