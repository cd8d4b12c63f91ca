#include "widgets/indicator/zyrel_liquid_indicator.h"

#include <algorithm>
#include <optional>

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QResizeEvent>

#include "widgets/indicator/indicator_model.h"
#include "widgets/indicator/indicator_painter.h"

namespace vesmera {

namespace {

// Pictures beyond this many pixels are not made: a size that large has nothing to show.
constexpr qint64 kMaxCanvasPixels = qint64(1) << 26;

// At a multiple of a quarter turn the window polygon is a rectangle along the axes. Its
// region is that rectangle within the control, which costs nothing however tall the control
// is, where row runs would cost one rectangle per row.
std::optional<QRect> AxisRectangle(const TQuad& q, int width, int height) {
    const bool along = q[0].y == q[1].y && q[1].x == q[2].x && q[2].y == q[3].y && q[3].x == q[0].x;
    const bool across =
        q[0].x == q[1].x && q[1].y == q[2].y && q[2].x == q[3].x && q[3].y == q[0].y;
    if (!along && !across)
        return std::nullopt;
    const auto within = [](int v, int limit) { return std::clamp(v, 0, limit); };
    const int x0 = within(std::min(q[0].x, q[2].x), width);
    const int x1 = within(std::max(q[0].x, q[2].x), width);
    const int y0 = within(std::min(q[0].y, q[2].y), height);
    const int y1 = within(std::max(q[0].y, q[2].y), height);
    if (x0 == x1 || y0 == y1)
        return std::nullopt;
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

} // namespace

struct TZyrelLiquidIndicator::Impl final : IIndicatorHost {
    explicit Impl(TZyrelLiquidIndicator& w) : widget(w), model(*this) {}

    int ControlWidth() const override { return widget.width(); }
    int ControlHeight() const override { return widget.height(); }
    void SetControlSize(int width, int height) override {
        widget.setGeometry(widget.x(), widget.y(), width, height);
        CatchUpSize();
    }
    // Qt tells a hidden widget of its new size only when it is shown, yet the model's sizes
    // follow the window's at once: every size, angle and rebuild decision depends on them. So
    // a size given while hidden reaches the model when it is given through SetBounds, and
    // before any write when it was given through Qt's own resize.
    void CatchUpSize() {
        if (!widget.testAttribute(Qt::WA_PendingResizeEvent))
            return;
        widget.setAttribute(Qt::WA_PendingResizeEvent, false);
        QResizeEvent e(widget.size(), QSize(-1, -1));
        QCoreApplication::sendEvent(&widget, &e);
    }
    void UpdateWindowRegion() override {
        // Without a parent there is no window to clip.
        if (!widget.parentWidget())
            return;
        const TQuad q = model.WindowPolygon();
        if (const auto r = AxisRectangle(q, widget.width(), widget.height()))
            widget.setMask(QRegion(*r));
        else
            widget.setMask(
                RegionFromSpans(RasterizeEvenOdd(q.data(), 4, widget.width(), widget.height())));
    }
    void Rebuild() override {
        clip.reset();
        // Drawn at the screen's own pixels, so that edges stay sharp on a scaled screen.
        scale = widget.devicePixelRatioF();
        const qint64 pixels =
            qint64(DevicePixels(widget.width(), scale)) * DevicePixels(widget.height(), scale);
        if (pixels > kMaxCanvasPixels) {
            canvas = QImage();
            return;
        }
        const TIndicatorScene scene = model.Scene();
        std::optional<TPixelMask> mask;
        const TIndicatorProperties& p = model.Properties();
        RenderScene(scene, materials, p.materialMode, p.foreMaterialMode, canvas, mask, scale);
        if (!mask)
            return;
        if (scale == 1.0) {
            clip = RegionFromSpans(mask->Spans());
            return;
        }
        // A clip region has logical pixels only: on a scaled screen the pixels outside the
        // mask are made transparent instead, which keeps the mask's device pixels.
        canvas = canvas.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < canvas.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(canvas.scanLine(y));
            for (int x = 0; x < canvas.width(); ++x)
                if (!mask->Contains(x, y))
                    row[x] = 0;
        }
    }
    void Invalidate() override { widget.update(); }
    void InvalidateParent() override {
        if (QWidget* parent = widget.parentWidget())
            parent->update();
        else
            widget.update();
    }
    void PostRefresh() override {
        QCoreApplication::postEvent(&widget, new QEvent(QEvent::Type(CM_INDICATORREFRESH)));
    }
    void SetOpaque(bool opaque) override { widget.setAttribute(Qt::WA_OpaquePaintEvent, opaque); }
    void PrepareMaterials() override { materials.Prepare(model.Properties().materialShadowMode); }

    TZyrelLiquidIndicator& widget;
    TIndicatorModel model;
    TIndicatorMaterials materials;
    QImage canvas;               // CanvasBitmap
    std::optional<QRegion> clip; // ClipRGN: only while transparent
    qreal scale = 1.0;           // the device pixel ratio the canvas was drawn for
};

TZyrelLiquidIndicator::TZyrelLiquidIndicator(QWidget* parent)
    : QWidget(parent), d_(std::make_unique<Impl>(*this)) {
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    d_->model.Create();
}

TZyrelLiquidIndicator::~TZyrelLiquidIndicator() = default;

void TZyrelLiquidIndicator::Loaded() {
    d_->CatchUpSize();
    d_->model.Loaded();
}

void TZyrelLiquidIndicator::SetBounds(int left, int top, int width, int height) {
    setGeometry(left, top, width, height);
    d_->CatchUpSize();
}

bool TZyrelLiquidIndicator::event(QEvent* e) {
    if (e->type() == QEvent::Type(CM_INDICATORREFRESH)) {
        d_->CatchUpSize();
        d_->model.HandleRefresh();
        return true;
    }
    return QWidget::event(e);
}

void TZyrelLiquidIndicator::paintEvent(QPaintEvent*) {
    // The window moved to a screen of another pixel ratio since the last rebuild.
    if (devicePixelRatioF() != d_->scale)
        d_->Rebuild();
    QPainter painter(this);
    if (d_->clip)
        painter.setClipRegion(*d_->clip);
    if (!d_->canvas.isNull())
        painter.drawImage(0, 0, d_->canvas);
}

void TZyrelLiquidIndicator::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    d_->model.HandleSize();
}

void TZyrelLiquidIndicator::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    d_->model.MouseEnter();
}

void TZyrelLiquidIndicator::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    d_->model.MouseLeave();
}

void TZyrelLiquidIndicator::SetBackMaterial(const QImage& v) {
    d_->CatchUpSize();
    d_->materials.back = v.copy();
    d_->PrepareMaterials();
    d_->Rebuild();
    d_->Invalidate();
}

void TZyrelLiquidIndicator::SetForeMaterial(const QImage& v) {
    d_->CatchUpSize();
    d_->materials.fore = v.copy();
    d_->materials.layers.Forget();
    d_->Rebuild();
    d_->Invalidate();
}

const QImage& TZyrelLiquidIndicator::BackMaterial() const {
    return d_->materials.back;
}
const QImage& TZyrelLiquidIndicator::ForeMaterial() const {
    return d_->materials.fore;
}

void TZyrelLiquidIndicator::SetIndicatorstring(const std::string& v) {
    d_->CatchUpSize();
    d_->model.SetIndicatorstring(QString::fromUtf8(v.data(), qsizetype(v.size())).toStdU16String());
}

std::string TZyrelLiquidIndicator::Indicatorstring() const {
    return QString::fromStdU16String(d_->model.Properties().indicatorString).toStdString();
}

void TZyrelLiquidIndicator::SetOnMouseEnter(std::function<void(TZyrelLiquidIndicator*)> f) {
    d_->model.SetOnMouseEnter(f ? std::function<void()>([this, f] { f(this); }) : nullptr);
}

void TZyrelLiquidIndicator::SetOnMouseExit(std::function<void(TZyrelLiquidIndicator*)> f) {
    d_->model.SetOnMouseExit(f ? std::function<void()>([this, f] { f(this); }) : nullptr);
}

const QImage& TZyrelLiquidIndicator::CanvasBitmap() const {
    return d_->canvas;
}
const TIndicatorModel& TZyrelLiquidIndicator::Model() const {
    return d_->model;
}

// Plain properties: the model decides what a write does.
#define VESMERA_INDICATOR_PROPERTY(Name, Type, field)                                              \
    void TZyrelLiquidIndicator::Set##Name(Type v) {                                                \
        d_->CatchUpSize();                                                                         \
        d_->model.Set##Name(v);                                                                    \
    }                                                                                              \
    Type TZyrelLiquidIndicator::Name() const {                                                     \
        return d_->model.Properties().field;                                                       \
    }

VESMERA_INDICATOR_PROPERTY(ColorScheme, TZyrelColorScheme, colorScheme)
VESMERA_INDICATOR_PROPERTY(SignNumber, int, signNumber)
VESMERA_INDICATOR_PROPERTY(IndicatorWidth, int, indicatorWidth)
VESMERA_INDICATOR_PROPERTY(IndicatorHeight, int, indicatorHeight)
VESMERA_INDICATOR_PROPERTY(IndicatorAngle, int, indicatorAngle)
VESMERA_INDICATOR_PROPERTY(IndicatorGap, int, indicatorGap)
VESMERA_INDICATOR_PROPERTY(IndicatorKind, TZyrelIndicatorKind, indicatorKind)
VESMERA_INDICATOR_PROPERTY(InnerBevel, TZyrelBevelKind, innerBevel)
VESMERA_INDICATOR_PROPERTY(OuterBevel, TZyrelBevelKind, outerBevel)
VESMERA_INDICATOR_PROPERTY(InnerBevelWidth, int, innerBevelWidth)
VESMERA_INDICATOR_PROPERTY(OuterBevelWidth, int, outerBevelWidth)
VESMERA_INDICATOR_PROPERTY(BevelColor, TColor, bevelColor)
VESMERA_INDICATOR_PROPERTY(BackColor, TColor, backColor)
VESMERA_INDICATOR_PROPERTY(NumberForeColor, TColor, numberForeColor)
VESMERA_INDICATOR_PROPERTY(NumberForeColor1, TColor, numberForeColor1)
VESMERA_INDICATOR_PROPERTY(NumberBackColor, TColor, numberBackColor)
VESMERA_INDICATOR_PROPERTY(IndicatorStyle, TZyrelIndicatorStyle, indicatorStyle)
VESMERA_INDICATOR_PROPERTY(MouseAction, TZyrelMouseAction, mouseAction)
VESMERA_INDICATOR_PROPERTY(TransparentMode, TZyrelTransparentMode, transparentMode)
VESMERA_INDICATOR_PROPERTY(MaterialShadowMode, TZyrelMaterialShadowMode, materialShadowMode)
VESMERA_INDICATOR_PROPERTY(MaterialMode, TZyrelMaterialMode, materialMode)
VESMERA_INDICATOR_PROPERTY(ForeMaterialMode, TZyrelMaterialMode, foreMaterialMode)

#undef VESMERA_INDICATOR_PROPERTY

} // namespace vesmera
