#pragma once

#include <optional>

#include "app/main_window_views.h"

namespace vesmera {

class TLCDScreen;

// LCDScreen1 or LCDScreen2 as the polls, the apply step and the resize rules see it.
class ScreenAdapter final : public IScreenPanel {
public:
    explicit ScreenAdapter(TLCDScreen& screen) : screen_(screen) {}

    void SetText(const std::string& text) override;
    std::string Text() const;
    // The control's own Visible flag, whatever its window shows (hidden in the tray, say).
    void SetVisible(bool visible) override;
    bool IsVisible() const;
    void SetColor(TColor color) override;
    void SetPixelOff(TColor color) override;
    void SetFontColor(TColor color) override;
    void SetFontSize(int points) override;
    void SetLinesXOffset(int dots) override;
    void ResetDisplay() override;
    void SetTop(int top) override;
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    // The height last set, before the screen snaps itself to whole dots.
    int Height() const override;
    int FontSize() const;

private:
    TLCDScreen& screen_;
    std::optional<int> heightSet_;
};

} // namespace vesmera
