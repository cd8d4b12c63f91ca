#include "widgets/indicator/indicator_model.h"

#include <algorithm>
#include <cmath>

#include "widgets/indicator/color_scheme.h"
#include "widgets/indicator/indicator_encoding.h"

namespace vesmera {

namespace {

bool HoverColor(const TIndicatorProperties& p, bool moused) {
    return moused && (p.mouseAction == maColor || p.mouseAction == maBoth);
}
bool HoverWidth(const TIndicatorProperties& p, bool moused) {
    return moused && (p.mouseAction == maWidth || p.mouseAction == maBoth);
}

// The range of cells that can reach into the control. Turning keeps distances from the
// centre, and a point's distance from it is at least its distance along the row, so a cell
// lying farther along the row from the centre than the control's corners (plus the width its
// segments and dots stick out by) cannot show, however tall it is. Skipping it keeps absurd
// cell counts from costing time and memory.
void VisibleCells(const TIndicatorProperties& p, const TCellMetrics& m, int controlWidth,
                  int controlHeight, double thickness, std::int64_t& first, std::int64_t& last) {
    const double cw = m.cellWidth;
    const double a = p.indicatorWidth / 2;
    const double ox = (static_cast<double>(controlWidth) - p.indicatorWidth) / 2;
    const double oy = (static_cast<double>(controlHeight) - p.indicatorHeight) / 2;
    const double cx = a + ox, cy = p.indicatorHeight / 2 + oy;
    const double rc = std::hypot(std::max(std::fabs(cx), std::fabs(controlWidth - cx)),
                                 std::max(std::fabs(cy), std::fabs(controlHeight - cy)));
    const double reach = rc + cw + 4 * thickness + 4;
    const double lo = std::floor((a - static_cast<double>(m.margin) - reach) / cw);
    const double hi = std::ceil((a - static_cast<double>(m.margin) + reach) / cw) + 1;
    first = static_cast<std::int64_t>(std::clamp(lo, 1.0, static_cast<double>(p.signNumber)));
    last = static_cast<std::int64_t>(std::clamp(hi, 0.0, static_cast<double>(p.signNumber)));
}

void AppendCell(const TIndicatorProperties& p, const TIndicatorCell& cell, int left,
                const TCellMetrics& m, bool hoverWidth, double t, TPolyList& lit,
                TPolyList& unlit) {
    const int w = m.cellWidth, h = m.cellHeight;
    if (p.indicatorKind == ik5x7matrix) {
        const std::string_view glyph = MatrixPattern(cell.character);
        for (int r = 1; r <= 7; ++r) {
            for (int c = 1; c <= 5; ++c) {
                TQuad q = DotPolygon(r, c, w, h, p.indicatorStyle, hoverWidth);
                MovePoints(q.data(), q.size(), left, 0);
                (MatrixDotLit(glyph, r, c) ? lit : unlit).Append(q.data(), 4);
            }
        }
        return;
    }
    const std::string pattern = SegmentPattern(cell, p.indicatorKind);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        THexagon hex = SegmentPolygon(static_cast<int>(i) + 1, p.indicatorKind, w, h, t);
        MovePoints(hex.data(), hex.size(), left, 0);
        (pattern[i] == '1' ? lit : unlit).Append(hex.data(), 6);
    }
}

void Place(const TIndicatorProperties& p, std::int64_t margin, int controlWidth, int controlHeight,
           TPolyList& list) {
    TPoint* pts = list.vertices.data();
    const std::size_t n = list.vertices.size();
    MovePoints(pts, n, margin, margin);
    TurnPoints(pts, n, p.indicatorWidth / 2, p.indicatorHeight / 2, p.indicatorAngle);
    MovePoints(pts, n, (static_cast<std::int64_t>(controlWidth) - p.indicatorWidth) / 2,
               (static_cast<std::int64_t>(controlHeight) - p.indicatorHeight) / 2);
}

} // namespace

void CollectPolygons(const TIndicatorProperties& p, bool hoverWidth, int controlWidth,
                     int controlHeight, TPolyList& lit, TPolyList& unlit) {
    lit.Clear();
    unlit.Clear();
    const TCellMetrics m =
        ComputeCellMetrics(p.indicatorWidth, p.indicatorHeight, p.signNumber, p.indicatorGap,
                           p.outerBevel, p.outerBevelWidth, p.innerBevel, p.innerBevelWidth);
    // More cells than the indicator has pixels across leaves no room for any cell.
    if (m.cellWidth < 1 || m.cellHeight < 1 || p.signNumber < 1)
        return;
    const double t = SegmentThickness(m.cellWidth, m.cellHeight, p.indicatorStyle, hoverWidth);
    std::int64_t first = 1, last = 0;
    VisibleCells(p, m, controlWidth, controlHeight, t, first, last);
    const std::vector<TIndicatorCell> text =
        LayoutText(p.indicatorString, p.indicatorKind, p.signNumber);
    const std::int64_t blanks = p.signNumber - static_cast<std::int64_t>(text.size());
    for (std::int64_t k = first; k <= last; ++k) {
        const TIndicatorCell cell =
            k <= blanks ? TIndicatorCell{} : text[static_cast<std::size_t>(k - blanks - 1)];
        const int left = static_cast<int>((k - 1) * m.cellWidth);
        AppendCell(p, cell, left, m, hoverWidth, t, lit, unlit);
    }
    Place(p, m.margin, controlWidth, controlHeight, lit);
    Place(p, m.margin, controlWidth, controlHeight, unlit);
}

TIndicatorScene BuildScene(const TIndicatorProperties& p, bool moused, int controlWidth,
                           int controlHeight) {
    TIndicatorScene s;
    s.width = controlWidth;
    s.height = controlHeight;
    s.transparentMode = p.transparentMode;
    s.backColor = ColorToRGB(p.backColor);
    s.bevelLight = LightenColor(p.bevelColor);
    s.bevelDark = DarkenColor(p.bevelColor);
    const auto order = BevelSideOrder(p.indicatorAngle);
    s.bevelSides.reserve(8);
    const auto addBevel = [&](TZyrelBevelKind kind, int a, int b) {
        if (kind == bkNone)
            return;
        for (std::size_t i = 0; i < order.size(); ++i) {
            TBevelQuad side{BevelSide(order[i], p.indicatorWidth, p.indicatorHeight, a, b),
                            (i < 2) == (kind == bkUP)};
            TurnPoints(side.quad.data(), 4, p.indicatorWidth / 2, p.indicatorHeight / 2,
                       p.indicatorAngle);
            MovePoints(side.quad.data(), 4,
                       (static_cast<std::int64_t>(controlWidth) - p.indicatorWidth) / 2,
                       (static_cast<std::int64_t>(controlHeight) - p.indicatorHeight) / 2);
            s.bevelSides.push_back(side);
        }
    };
    addBevel(p.outerBevel, 0, p.outerBevelWidth);
    addBevel(p.innerBevel, p.outerBevel == bkNone ? 0 : p.outerBevelWidth, p.innerBevelWidth);
    CollectPolygons(p, HoverWidth(p, moused), controlWidth, controlHeight, s.lit, s.unlit);
    s.litColorHover = HoverColor(p, moused);
    s.litColor = ColorToRGB(s.litColorHover ? p.numberForeColor1 : p.numberForeColor);
    s.unlitColor = ColorToRGB(p.numberBackColor);
    return s;
}

TIndicatorScene TIndicatorModel::Scene() const {
    return BuildScene(p_, moused_, host_.ControlWidth(), host_.ControlHeight());
}

TQuad TIndicatorModel::WindowPolygon() const {
    return vesmera::WindowPolygon(p_.indicatorWidth, p_.indicatorHeight, p_.indicatorAngle,
                                  host_.ControlWidth(), host_.ControlHeight());
}

void TIndicatorModel::Create() {
    host_.SetControlSize(p_.indicatorWidth, p_.indicatorHeight);
    host_.UpdateWindowRegion();
    host_.Rebuild();
}

void TIndicatorModel::Loaded() {
    imloaded_ = true;
    host_.PrepareMaterials();
    host_.UpdateWindowRegion();
    host_.Rebuild();
    host_.Invalidate();
}

void TIndicatorModel::HandleSize() {
    const double theta = AngleRadians(p_.indicatorAngle);
    if (std::fabs(std::sin(theta)) < 0.0001) {
        p_.indicatorHeight = host_.ControlHeight();
        p_.indicatorWidth = host_.ControlWidth();
        host_.UpdateWindowRegion();
        host_.PostRefresh();
    } else if (std::fabs(std::cos(theta)) < 0.0001) {
        p_.indicatorHeight = host_.ControlWidth();
        p_.indicatorWidth = host_.ControlHeight();
        host_.UpdateWindowRegion();
        host_.Rebuild();
        host_.Invalidate();
    } else {
        const TSize b = BoundingSize(p_.indicatorWidth, p_.indicatorHeight, p_.indicatorAngle);
        host_.SetControlSize(b.width, b.height);
        host_.InvalidateParent();
        host_.PostRefresh();
    }
}

void TIndicatorModel::HandleRefresh() {
    host_.Rebuild();
    host_.Invalidate();
}

void TIndicatorModel::MouseEnter() {
    moused_ = true;
    host_.PostRefresh();
    if (onMouseEnter_)
        onMouseEnter_();
}

void TIndicatorModel::MouseLeave() {
    moused_ = false;
    host_.PostRefresh();
    if (onMouseLeave_)
        onMouseLeave_();
}

template <typename T> void TIndicatorModel::Redraw(T& field, T v) {
    if (field == v)
        return;
    field = v;
    host_.Rebuild();
    host_.Invalidate();
}

void TIndicatorModel::ResizeSequence() {
    const TSize b = BoundingSize(p_.indicatorWidth, p_.indicatorHeight, p_.indicatorAngle);
    host_.SetControlSize(b.width, b.height);
    host_.UpdateWindowRegion();
    host_.Rebuild();
    host_.InvalidateParent();
}

void TIndicatorModel::SetColorScheme(TZyrelColorScheme v) {
    p_.colorScheme = v;
    if (!imloaded_)
        return;
    // The colours are taken now; the picture follows with the queued refresh.
    const TSchemeColors c = SchemeColors(v);
    p_.backColor = c.backColor;
    p_.bevelColor = c.bevelColor;
    p_.numberBackColor = c.numberBackColor;
    p_.numberForeColor = c.numberForeColor;
    p_.numberForeColor1 = c.numberForeColor1;
    host_.PostRefresh();
}

void TIndicatorModel::SetSignNumber(int v) {
    if (v <= 0 || v == p_.signNumber)
        return;
    p_.signNumber = v;
    if (!imloaded_)
        return;
    host_.UpdateWindowRegion();
    host_.Rebuild();
    host_.Invalidate();
}

void TIndicatorModel::SetIndicatorSize(int& field, int v) {
    if (v <= 0 || v == field)
        return;
    field = v;
    if (imloaded_)
        ResizeSequence();
}

void TIndicatorModel::SetIndicatorWidth(int v) {
    SetIndicatorSize(p_.indicatorWidth, v);
}
void TIndicatorModel::SetIndicatorHeight(int v) {
    SetIndicatorSize(p_.indicatorHeight, v);
}

void TIndicatorModel::SetIndicatorAngle(int v) {
    if (v == p_.indicatorAngle)
        return;
    p_.indicatorAngle = v;
    if (!imloaded_)
        return;
    const TSize b = BoundingSize(p_.indicatorWidth, p_.indicatorHeight, p_.indicatorAngle);
    host_.SetControlSize(b.width, b.height);
    host_.UpdateWindowRegion();
    host_.Rebuild();
    host_.Invalidate();
}

void TIndicatorModel::SetIndicatorGap(int v) {
    Redraw(p_.indicatorGap, v);
}
void TIndicatorModel::SetIndicatorstring(const std::u16string& v) {
    Redraw(p_.indicatorString, v);
}
void TIndicatorModel::SetIndicatorKind(TZyrelIndicatorKind v) {
    Redraw(p_.indicatorKind, v);
}
void TIndicatorModel::SetInnerBevel(TZyrelBevelKind v) {
    Redraw(p_.innerBevel, v);
}
void TIndicatorModel::SetOuterBevel(TZyrelBevelKind v) {
    Redraw(p_.outerBevel, v);
}

void TIndicatorModel::SetInnerBevelWidth(int v) {
    if (v > 0)
        Redraw(p_.innerBevelWidth, v);
}

void TIndicatorModel::SetOuterBevelWidth(int v) {
    if (v > 0)
        Redraw(p_.outerBevelWidth, v);
}

void TIndicatorModel::SetBevelColor(TColor v) {
    Redraw(p_.bevelColor, v);
}
void TIndicatorModel::SetBackColor(TColor v) {
    Redraw(p_.backColor, v);
}
void TIndicatorModel::SetNumberForeColor(TColor v) {
    Redraw(p_.numberForeColor, v);
}
void TIndicatorModel::SetNumberForeColor1(TColor v) {
    Redraw(p_.numberForeColor1, v);
}
void TIndicatorModel::SetNumberBackColor(TColor v) {
    Redraw(p_.numberBackColor, v);
}
void TIndicatorModel::SetIndicatorStyle(TZyrelIndicatorStyle v) {
    Redraw(p_.indicatorStyle, v);
}
void TIndicatorModel::SetMouseAction(TZyrelMouseAction v) {
    Redraw(p_.mouseAction, v);
}
void TIndicatorModel::SetMaterialMode(TZyrelMaterialMode v) {
    Redraw(p_.materialMode, v);
}
void TIndicatorModel::SetForeMaterialMode(TZyrelMaterialMode v) {
    Redraw(p_.foreMaterialMode, v);
}

void TIndicatorModel::SetTransparentMode(TZyrelTransparentMode v) {
    if (v == p_.transparentMode)
        return;
    p_.transparentMode = v;
    host_.SetOpaque(v == tmNone);
    host_.Rebuild();
    host_.Invalidate();
}

void TIndicatorModel::SetMaterialShadowMode(TZyrelMaterialShadowMode v) {
    if (v == p_.materialShadowMode)
        return;
    p_.materialShadowMode = v;
    host_.PrepareMaterials();
    host_.Rebuild();
    host_.Invalidate();
}

} // namespace vesmera
