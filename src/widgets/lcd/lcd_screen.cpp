#include "widgets/lcd/lcd_screen.h"

#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <climits>

#include "widgets/lcd/qt_lines_renderer.h"

namespace vesmera {

QtAnimationTimer::QtAnimationTimer(std::function<void()> onTick) {
    FTimer.setInterval(static_cast<int>(TLCDScreenModel::kInitialTimerInterval));
    QObject::connect(&FTimer, &QTimer::timeout, std::move(onTick));
}

void QtAnimationTimer::SetInterval(std::uint32_t ms) {
    FTimer.setInterval(static_cast<int>(std::min<std::uint32_t>(ms, INT_MAX)));
    Apply();
}

void QtAnimationTimer::SetEnabled(bool enabled) {
    FEnabled = enabled;
    Apply();
}

void QtAnimationTimer::SetHeld(bool held) {
    FHeld = held;
    Apply();
}

void QtAnimationTimer::Apply() {
    if (FEnabled && !FHeld && FTimer.interval() > 0) {
        if (!FTimer.isActive())
            FTimer.start();
    } else {
        FTimer.stop();
    }
}

// The timer only fires from the event loop, after construction, so the model can be reached
// through the pointer taken here.
TLCDScreen::TLCDScreen(QWidget* parent)
    : TLCDScreen(parent, new QtAnimationTimer([this] { TimerTick(); })) {}

// The model owns the timer from here on; the window keeps a reference to hold and release it.
TLCDScreen::TLCDScreen(QWidget* parent, QtAnimationTimer* timer)
    : QWidget(parent),
      TLCDScreenModel(std::make_unique<QtLinesRenderer>(), std::unique_ptr<IAnimationTimer>(timer)),
      FAnimationTimer(*timer) {
    // Not yet shown.
    FAnimationTimer.SetHeld(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetHost(this);
    resize(TLCDScreenModel::Width(), TLCDScreenModel::Height());
}

TLCDScreen::~TLCDScreen() {
    SetHost(nullptr);
}

void TLCDScreen::SetBitmap(const QImage& picture) {
    TLCDScreenModel::SetBitmap(ToMonoImage(picture));
}

void TLCDScreen::SetWidth(int width) {
    SetBounds(x(), y(), width, Height());
}

void TLCDScreen::SetHeight(int height) {
    SetBounds(x(), y(), Width(), height);
}

void TLCDScreen::SetTop(int top) {
    move(x(), top);
}

void TLCDScreen::SetBounds(int left, int top, int width, int height) {
    SetSize(width, height);
    setGeometry(left, top, std::max(width, 0), std::max(height, 0));
}

void TLCDScreen::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Layouts and the window system resize too; the model follows, except while a snap of its
    // own is being applied.
    if (width() != TLCDScreenModel::Width() || height() != TLCDScreenModel::Height())
        SetSize(width(), height());
}

void TLCDScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FAnimationTimer.SetHeld(false);
}

void TLCDScreen::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    FAnimationTimer.SetHeld(true);
}

void TLCDScreen::paintEvent(QPaintEvent*) {
    // Composed at the screen's own pixels, so that round dots stay round on a scaled screen.
    const qreal scale = devicePixelRatioF();
    FPainting = true;
    RgbImage picture = Compose(isEnabled(), scale);
    FPainting = false;
    // The composed pixels are drawn in one copy, wrapped where they lie.
    QImage view(reinterpret_cast<const uchar*>(picture.Data()), picture.Width(), picture.Height(),
                picture.Width() * 4, QImage::Format_RGB32);
    view.setDevicePixelRatio(scale);
    QPainter painter(this);
    painter.drawImage(0, 0, view);
}

void TLCDScreen::Repaint() {
    if (isVisible())
        repaint();
}

void TLCDScreen::SizeSnapped(int width, int height) {
    if (!FPainting) {
        resize(width, height);
        return;
    }
    // A paint handler must not resize its own window; the snapped size is applied as soon as
    // this paint is over. The model already holds it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (size() != QSize(TLCDScreenModel::Width(), TLCDScreenModel::Height()))
                resize(std::max(TLCDScreenModel::Width(), 0),
                       std::max(TLCDScreenModel::Height(), 0));
        },
        Qt::QueuedConnection);
}

} // namespace vesmera
