#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "common/views.h"
#include "widgets/lcd/lcd_screen_model.h"

namespace vesmera {

// The animation timer as a QTimer. An interval of 0 keeps it stopped, as a window timer of
// 0 ms never runs, instead of firing on every pass of the event loop. A held timer is stopped
// too: a screen nobody sees needs no scrolling, and an idle program should not wake up every
// 30 ms for it. Released, it ticks on from where the animation was.
class QtAnimationTimer final : public IAnimationTimer {
public:
    explicit QtAnimationTimer(std::function<void()> onTick);
    void SetInterval(std::uint32_t ms) override;
    void SetEnabled(bool enabled) override;
    void SetHeld(bool held);
    const QTimer& Timer() const { return FTimer; }

private:
    void Apply();

    QTimer FTimer;
    bool FEnabled = false;
    bool FHeld = false;
};

// The dot-matrix LCD control. All properties, setters and the animation tick are those of
// TLCDScreenModel; this class adds the window: painting the composed picture in one copy,
// the size, the Qt timer and the Qt font renderer. It also serves as the message view of the
// polls (the whole text of Lines and visibility).
class TLCDScreen : public QWidget, public TLCDScreenModel, public IMessageView, private ILCDHost {
    Q_OBJECT

public:
    explicit TLCDScreen(QWidget* parent = nullptr);
    ~TLCDScreen() override;

    const QTimer& AnimationTimer() const { return FAnimationTimer.Timer(); }

    // A Qt picture is made monochrome with the dark-pixel threshold, then shown at once.
    void SetBitmap(const QImage& picture);
    using TLCDScreenModel::SetBitmap;

    void SetWidth(int width);
    void SetHeight(int height);
    void SetTop(int top);
    void SetBounds(int left, int top, int width, int height);
    int Width() const { return TLCDScreenModel::Width(); }
    int Height() const { return TLCDScreenModel::Height(); }

    // IMessageView
    void SetText(const std::string& text) override { Lines().SetText(text); }
    std::string Text() const { return Lines().Text(); }
    void SetVisible(bool visible) override { QWidget::setVisible(visible); }
    bool IsVisible() const { return QWidget::isVisible(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The animation runs only while the screen can be seen.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TLCDScreen(QWidget* parent, QtAnimationTimer* timer);

    void Repaint() override;
    void SizeSnapped(int width, int height) override;

    bool FPainting = false;
    QtAnimationTimer& FAnimationTimer; // owned by the model
};

} // namespace vesmera
