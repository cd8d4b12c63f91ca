#pragma once

#include "app/main_window_views.h"

namespace vesmera {

class TZyrelLiquidIndicator;

// ZyrelLiquidIndicator1 as the polls, the apply step and the resize rules see it.
class IndicatorAdapter final : public IIndicatorPanel {
public:
    explicit IndicatorAdapter(TZyrelLiquidIndicator& indicator) : indicator_(indicator) {}

    void SetIndicatorString(const std::string& text) override;
    std::string IndicatorString() const;
    void SetNumberForeColor(TColor color) override;
    // The control's own Visible flag, whatever its window shows (hidden in the tray, say).
    void SetVisible(bool visible) override;
    bool IsVisible() const;
    void SetNumberBackColor(TColor color) override;
    void SetBackColor(TColor color) override;
    void SetTop(int top) override;
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    int Height() const override;

private:
    TZyrelLiquidIndicator& indicator_;
};

} // namespace vesmera
