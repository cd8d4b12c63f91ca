#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/message_box.h"
#include "widgets/lcd/lcd_screen_model.h"

namespace vesmera::testing_lcd {

// A font-free renderer: every character is a solid block kGlyphWidth x kGlyphHeight (one
// column wider when bold is let through), inverse cells are an empty frame of dark pixels
// around a light block. An empty line is 0 x |Font.Height|. It records how often it ran.
class FakeRenderer final : public ILinesRenderer {
public:
    static constexpr int kGlyphWidth = 4;
    static constexpr int kGlyphHeight = 7;

    explicit FakeRenderer(int* calls = nullptr) : FCalls(calls) {}

    MonoImage Render(const Display& display, const TLCDFont& font, TSpecialEffects effects,
                     bool blinkingStatus) override {
        if (FCalls)
            ++*FCalls;
        MonoImage image;
        for (int r = 0; r < display.LineCount(); ++r) {
            std::vector<GlyphStyle> styles;
            for (int c = 1; c < Display::kColumns && display.At(r, c).Char; ++c)
                styles.push_back(GlyphStyleFor(display.At(r, c).Attr, effects, blinkingStatus));
            int width = 0;
            for (const auto& s : styles)
                width += kGlyphWidth + (s.Bold ? 1 : 0);
            const int height = styles.empty() ? std::abs(font.Height) : kGlyphHeight;
            MonoImage line(width, height);
            int x = 0;
            for (const auto& s : styles) {
                const int w = kGlyphWidth + (s.Bold ? 1 : 0);
                for (int y = 0; y < height; ++y)
                    for (int i = 0; i < w; ++i) {
                        const bool edge = i == 0 || y == 0 || i == w - 1 || y == height - 1;
                        line.SetDark(x + i, y, s.Inverse ? edge : true);
                    }
                x += w;
            }
            const int y0 = image.Height();
            image.GrowTo(line.Width(), y0 + line.Height());
            image.Draw(line, 0, y0, MonoImage::CopyMode::Replace);
        }
        return image;
    }

private:
    int* FCalls;
};

struct TimerState {
    std::uint32_t Interval = 0;
    bool Enabled = false;
    int IntervalSets = 0;
};

class FakeTimer final : public IAnimationTimer {
public:
    explicit FakeTimer(TimerState& state) : FState(state) {}
    void SetInterval(std::uint32_t ms) override {
        FState.Interval = ms;
        ++FState.IntervalSets;
    }
    void SetEnabled(bool enabled) override { FState.Enabled = enabled; }

private:
    TimerState& FState;
};

// Counts repaints and composes the picture on each, as the window's paint handler does.
class FakeHost final : public ILCDHost {
public:
    explicit FakeHost(TLCDScreenModel& screen) : FScreen(screen) { screen.SetHost(this); }
    ~FakeHost() { FScreen.SetHost(nullptr); }
    void Repaint() override {
        ++Repaints;
        Last = FScreen.Compose(Enabled);
    }
    void SizeSnapped(int width, int height) override { Snaps.push_back({width, height}); }

    int Repaints = 0;
    bool Enabled = true;
    RgbImage Last;
    std::vector<std::pair<int, int>> Snaps;

private:
    TLCDScreenModel& FScreen;
};

// Records every message box instead of showing it, and restores the previous handler.
class BoxRecorder {
public:
    BoxRecorder() {
        FPrevious = SetMessageBoxHandler([this](const MessageBoxRequest& r) {
            Boxes.push_back(r);
            if (OnBox)
                OnBox();
            return MessageResult::Ok;
        });
    }
    ~BoxRecorder() { SetMessageBoxHandler(std::move(FPrevious)); }

    std::vector<MessageBoxRequest> Boxes;
    std::function<void()> OnBox;

private:
    MessageBoxHandler FPrevious;
};

// A model screen with fakes, its renderer calls, timer state and host.
struct ModelScreen {
    int RenderCalls = 0;
    TimerState Timer;
    TLCDScreenModel Screen{std::make_unique<FakeRenderer>(&RenderCalls),
                           std::make_unique<FakeTimer>(Timer)};
    FakeHost Host{Screen};
};

// The configuration of the main window's message screen, at 402 x 126.
inline void ConfigureMessageScreen(TLCDScreenModel& s) {
    s.SetAnimationDelay(30);
    s.SetBorderStyle(bsNone);
    s.SetPixelSize(pix3x3);
    s.SetPixelShape(psRound);
    s.SetPixelSpacing(0);
    s.SetLinesAnimMode(amDynamic);
    s.SetColor(clBlack);
    s.SetPixelOff(clBlack);
    s.SetFontColor(clRed);
    s.SetSize(402, 126);
}

} // namespace vesmera::testing_lcd
