#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QImage>
#include <QWidget>

#include "common/color.h"
#include "widgets/indicator/indicator_types.h"

namespace vesmera {

class TIndicatorModel;

// The refresh message: queued to the indicator itself, it rebuilds the picture later.
inline constexpr int CM_INDICATORREFRESH = 45157;

// A self-drawn row of seven-segment, nine-segment or 5x7 dot-matrix cells. The owner sets the
// stored properties, then calls Loaded; painting copies a cached picture.
class TZyrelLiquidIndicator : public QWidget {
    Q_OBJECT
public:
    explicit TZyrelLiquidIndicator(QWidget* parent = nullptr);
    ~TZyrelLiquidIndicator() override;

    // Called once after the stored properties have been set.
    void Loaded();

    // Gives the control its place and size. The indicator takes the size at once, shown or
    // not; Qt's own resize tells a hidden widget only when it is shown.
    void SetBounds(int left, int top, int width, int height);

    void SetColorScheme(TZyrelColorScheme v);
    TZyrelColorScheme ColorScheme() const;
    void SetSignNumber(int v);
    int SignNumber() const;
    void SetIndicatorWidth(int v);
    int IndicatorWidth() const;
    void SetIndicatorHeight(int v);
    int IndicatorHeight() const;
    void SetIndicatorAngle(int v);
    int IndicatorAngle() const;
    void SetIndicatorGap(int v);
    int IndicatorGap() const;
    // UTF-8 text.
    void SetIndicatorstring(const std::string& v);
    std::string Indicatorstring() const;
    void SetIndicatorKind(TZyrelIndicatorKind v);
    TZyrelIndicatorKind IndicatorKind() const;
    void SetInnerBevel(TZyrelBevelKind v);
    TZyrelBevelKind InnerBevel() const;
    void SetOuterBevel(TZyrelBevelKind v);
    TZyrelBevelKind OuterBevel() const;
    void SetInnerBevelWidth(int v);
    int InnerBevelWidth() const;
    void SetOuterBevelWidth(int v);
    int OuterBevelWidth() const;
    void SetBevelColor(TColor v);
    TColor BevelColor() const;
    void SetBackColor(TColor v);
    TColor BackColor() const;
    void SetNumberForeColor(TColor v);
    TColor NumberForeColor() const;
    void SetNumberForeColor1(TColor v);
    TColor NumberForeColor1() const;
    void SetNumberBackColor(TColor v);
    TColor NumberBackColor() const;
    void SetIndicatorStyle(TZyrelIndicatorStyle v);
    TZyrelIndicatorStyle IndicatorStyle() const;
    void SetMouseAction(TZyrelMouseAction v);
    TZyrelMouseAction MouseAction() const;
    void SetTransparentMode(TZyrelTransparentMode v);
    TZyrelTransparentMode TransparentMode() const;
    // The picture is copied; the caller keeps its own.
    void SetBackMaterial(const QImage& v);
    const QImage& BackMaterial() const;
    void SetForeMaterial(const QImage& v);
    const QImage& ForeMaterial() const;
    void SetMaterialShadowMode(TZyrelMaterialShadowMode v);
    TZyrelMaterialShadowMode MaterialShadowMode() const;
    void SetMaterialMode(TZyrelMaterialMode v);
    TZyrelMaterialMode MaterialMode() const;
    void SetForeMaterialMode(TZyrelMaterialMode v);
    TZyrelMaterialMode ForeMaterialMode() const;

    void SetOnMouseEnter(std::function<void(TZyrelLiquidIndicator*)> f);
    void SetOnMouseExit(std::function<void(TZyrelLiquidIndicator*)> f);

    // The cached picture of the last rebuild.
    const QImage& CanvasBitmap() const;
    const TIndicatorModel& Model() const;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace vesmera
