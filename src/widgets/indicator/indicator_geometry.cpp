#include "widgets/indicator/indicator_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace vesmera {

namespace {

constexpr double kIntMin = std::numeric_limits<int>::min();
constexpr double kIntMax = std::numeric_limits<int>::max();

int Saturate(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

// One vertex coordinate: T(k*g + (tn*t)/td) + offset, the form every segment vertex takes.
struct Coord {
    double k;
    double tn;
    double td;
    int offset;
};
struct Vertex {
    Coord x;
    Coord y;
};

int Eval(const Coord& c, double g, double t) {
    const double v = c.tn == 0 ? c.k * g : c.k * g + (c.tn * t) / c.td;
    return Saturate(static_cast<std::int64_t>(TruncToInt(v)) + c.offset);
}

// x then y of the six vertices of the seven bars and the point; in eighths of the cell.
constexpr std::array<std::array<Vertex, 6>, 8> kSegments{{
    // 1 (e)
    {{{{1, 0, 1, 0}, {7, 1, 2, -1}},
      {{1, -1, 2, 0}, {7, -1, 2, -1}},
      {{1.5, -1, 2, 0}, {4, 1, 2, 0}},
      {{1.5, 0, 1, 0}, {4, 0, 1, 0}},
      {{1.5, 1, 2, 0}, {4, 1, 2, 0}},
      {{1, 1, 2, 0}, {7, -1, 2, -1}}}},
    // 2 (f)
    {{{{1.5, 0, 1, 0}, {4, 0, 1, -1}},
      {{1.5, -1, 2, 0}, {4, -1, 2, -1}},
      {{2, -1, 2, 0}, {1, 1, 2, 0}},
      {{2, 0, 1, 0}, {1, -1, 2, 0}},
      {{2, 1, 2, 0}, {1, 1, 2, 0}},
      {{1.5, 1, 2, 0}, {4, -1, 2, -1}}}},
    // 3 (a)
    {{{{2, 0, 1, 1}, {1, -1, 2, 0}},
      {{2, 1, 2, 1}, {1, -1, 2, 0}},
      {{6.5, -1, 2, -1}, {1, -1, 2, 0}},
      {{6.5, 0, 1, -1}, {1, -1, 2, 0}},
      {{6.5, -1, 2, -1}, {1, 1, 2, 0}},
      {{2, 1, 2, 1}, {1, 1, 2, 0}}}},
    // 4 (b)
    {{{{6.5, 0, 1, 0}, {1, -1, 2, 0}},
      {{6.5, 1, 2, 0}, {1, 1, 2, 0}},
      {{6, 1, 2, 0}, {4, -1, 2, -1}},
      {{6, 0, 1, 0}, {4, 0, 1, -1}},
      {{6, -1, 2, 0}, {4, -1, 2, -1}},
      {{6.5, -1, 2, 0}, {1, 1, 2, 0}}}},
    // 5 (c)
    {{{{6, 0, 1, 0}, {4, 0, 1, 0}},
      {{6, 1, 2, 0}, {4, 1, 2, 0}},
      {{5.5, 1, 2, 0}, {7, -1, 2, -1}},
      {{5.5, 0, 1, 0}, {7, 1, 2, -1}},
      {{5.5, -1, 2, 0}, {7, -1, 2, -1}},
      {{6, -1, 2, 0}, {4, 1, 2, 0}}}},
    // 6 (d)
    {{{{1, 0, 1, 1}, {7, 1, 2, 0}},
      {{1, 1, 2, 1}, {7, -1, 2, 0}},
      {{5.5, -1, 2, -1}, {7, -1, 2, 0}},
      {{5.5, 0, 1, -1}, {7, 1, 2, 0}},
      {{5.5, -1, 2, -1}, {7, 1, 2, 0}},
      {{1, 1, 2, 1}, {7, 1, 2, 0}}}},
    // 7 (g)
    {{{{1.5, 0, 1, 1}, {4, 0, 1, 0}},
      {{1.5, 1, 2, 1}, {4, -1, 2, 0}},
      {{6, -1, 2, -1}, {4, -1, 2, 0}},
      {{6, 0, 1, -1}, {4, 0, 1, 0}},
      {{6, -1, 2, -1}, {4, 1, 2, 0}},
      {{1.5, 1, 2, 1}, {4, 1, 2, 0}}}},
    // point
    {{{{5.5, 1, 4, 1}, {7, 0, 1, 0}},
      {{5.5, 1, 2, 1}, {7, -1, 2, 0}},
      {{5.5, 5, 4, 0}, {7, -1, 2, 0}},
      {{5.5, 3, 2, 0}, {7, 0, 1, 0}},
      {{5.5, 5, 4, 0}, {7, 1, 2, 0}},
      {{5.5, 1, 2, 1}, {7, 1, 2, 0}}}},
}};

// A colon dot: a hexagon about its centre, offsets in thirds of the thickness.
constexpr std::array<std::array<int, 2>, 6> kColon{
    {{-1, 2}, {-2, 0}, {-1, -2}, {1, -2}, {2, 0}, {1, 2}}};

THexagon ColonDot(double cx, double cy, double t) {
    THexagon p;
    for (std::size_t i = 0; i < 6; ++i) {
        const double ox =
            kColon[i][0] < 0 ? cx - (-kColon[i][0] * t) / 3 : cx + (kColon[i][0] * t) / 3;
        const double oy = kColon[i][1] < 0   ? cy - (-kColon[i][1] * t) / 3
                          : kColon[i][1] > 0 ? cy + (kColon[i][1] * t) / 3
                                             : cy;
        p[i] = {TruncToInt(ox), TruncToInt(oy)};
    }
    return p;
}

} // namespace

int TruncToInt(double v) {
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(v), kIntMin, kIntMax));
}

int RoundToInt(long double v) {
    if (std::isnan(v))
        return 0;
    long double f = std::floor(v);
    const long double diff = v - f;
    if (diff > 0.5L || (diff == 0.5L && std::fmod(f, 2.0L) != 0))
        f += 1;
    return static_cast<int>(std::clamp<long double>(f, kIntMin, kIntMax));
}

double AngleRadians(int indicatorAngle) {
    return static_cast<double>(indicatorAngle) * std::numbers::pi / 1800.0;
}

TSize BoundingSize(int indicatorWidth, int indicatorHeight, int indicatorAngle) {
    const long double theta =
        static_cast<long double>(indicatorAngle) * std::numbers::pi_v<long double> / 1800.0L;
    const long double s = std::sin(theta), c = std::cos(theta);
    const long double w = indicatorWidth, h = indicatorHeight;
    return {RoundToInt(std::fabs(c * w) + std::fabs(s * h)),
            RoundToInt(std::fabs(s * w) + std::fabs(c * h))};
}

TCellMetrics ComputeCellMetrics(int indicatorWidth, int indicatorHeight, int cells, int gap,
                                TZyrelBevelKind outerBevel, int outerBevelWidth,
                                TZyrelBevelKind innerBevel, int innerBevelWidth) {
    TCellMetrics r;
    r.margin = gap;
    if (outerBevel != bkNone)
        r.margin += outerBevelWidth;
    if (innerBevel != bkNone)
        r.margin += innerBevelWidth;
    const std::int64_t w = indicatorWidth, h = indicatorHeight;
    const std::int64_t n = cells > 0 ? cells : 1;
    std::int64_t ch = h - 2 * r.margin;
    if (ch < 1 || ch > h)
        ch = h;
    std::int64_t cw = (w - 2 * r.margin) / n;
    if (cw < 1 || cw > w / n)
        cw = w / n;
    r.cellWidth = Saturate(cw);
    r.cellHeight = Saturate(ch);
    return r;
}

double SegmentThickness(int w, int h, TZyrelIndicatorStyle style, bool hoverWidth) {
    const double s = std::min(w, h);
    double t = 0, least = 0;
    switch (style) {
    case isThin:
        t = hoverWidth ? s / 6 : s / 8;
        least = 2;
        break;
    case isNormal:
        t = hoverWidth ? s / 5 : s / 6;
        least = 3;
        break;
    case isThick:
    default:
        t = hoverWidth ? s / 4.5 : s / 5;
        least = 4;
        break;
    }
    return t < least ? least : t;
}

THexagon SegmentPolygon(int index, TZyrelIndicatorKind kind, int w, int h, double t) {
    const double gx = w / 8.0, gy = h / 8.0;
    if (kind == ik9segment && (index == 8 || index == 9))
        return index == 8 ? ColonDot(4 * gx, 2.5 * gy, t) : ColonDot(3.5 * gx, 5.5 * gy, t);
    const std::size_t row = index >= 1 && index <= 7 ? static_cast<std::size_t>(index - 1) : 7;
    THexagon p;
    for (std::size_t i = 0; i < 6; ++i)
        p[i] = {Eval(kSegments[row][i].x, gx, t), Eval(kSegments[row][i].y, gy, t)};
    return p;
}

TQuad DotPolygon(int row, int column, int w, int h, TZyrelIndicatorStyle style, bool hoverWidth) {
    const int inset = TruncToInt(w / 16.0) + 1;
    const double cwd = (w - 2.0 * inset) / 5, rh = h / 7.0;
    double dw = 0, dh = 0, least = 0;
    // Each style names three fractions of the pitch: normal, and the thinner one under hover.
    const auto frac = [&](double num, double den) {
        dw = (num * cwd) / den - 1;
        dh = (num * rh) / den - 1;
    };
    switch (style) {
    case isThin:
        hoverWidth ? frac(1, 2) : frac(2, 3);
        least = 1.5;
        break;
    case isNormal:
        hoverWidth ? frac(2, 3) : frac(3, 4);
        least = 2.5;
        break;
    case isThick:
    default:
        hoverWidth ? frac(3, 4) : frac(1, 1);
        least = 3.5;
        break;
    }
    dw = std::max(dw, least);
    dh = std::max(dh, least);
    const int x0 = TruncToInt((column - 1) * cwd + inset);
    const int y0 = TruncToInt((row - 1) * rh);
    const int x1 = Saturate(static_cast<std::int64_t>(x0) + TruncToInt(dw));
    const int y1 = Saturate(static_cast<std::int64_t>(y0) + TruncToInt(dh));
    return {{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
}

void TurnPoints(TPoint* points, std::size_t count, int a, int c, int indicatorAngle) {
    if (indicatorAngle == 0)
        return; // every point stays where it is
    const double theta = AngleRadians(indicatorAngle);
    for (std::size_t i = 0; i < count; ++i) {
        const double x = points[i].x, y = points[i].y;
        const double d = std::sqrt(x * x + y * y);
        if (RoundToInt(d) == 0)
            continue;
        const double phi = std::atan2(-y, x);
        points[i].x = RoundToInt(d * std::cos(phi + theta));
        points[i].y = Saturate(-static_cast<std::int64_t>(RoundToInt(d * std::sin(phi + theta))));
    }
    const double da = a, dcv = c;
    const double dc = std::sqrt(da * da + dcv * dcv);
    if (RoundToInt(dc) == 0)
        return;
    const double phic = std::atan2(-dcv, da);
    MovePoints(points, count, RoundToInt(da - dc * std::cos(phic + theta)),
               RoundToInt(dcv + dc * std::sin(phic + theta)));
}

void MovePoints(TPoint* points, std::size_t count, std::int64_t dx, std::int64_t dy) {
    if (dx == 0 && dy == 0)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        points[i].x = Saturate(points[i].x + dx);
        points[i].y = Saturate(points[i].y + dy);
    }
}

TQuad WindowPolygon(int indicatorWidth, int indicatorHeight, int indicatorAngle, int controlWidth,
                    int controlHeight) {
    TQuad q{{{0, 0}, {indicatorWidth, 0}, {indicatorWidth, indicatorHeight}, {0, indicatorHeight}}};
    TurnPoints(q.data(), q.size(), indicatorWidth / 2, indicatorHeight / 2, indicatorAngle);
    MovePoints(q.data(), q.size(), (static_cast<std::int64_t>(controlWidth) - indicatorWidth) / 2,
               (static_cast<std::int64_t>(controlHeight) - indicatorHeight) / 2);
    return q;
}

TQuad BevelSide(TBevelSideKind side, int indicatorWidth, int indicatorHeight, int a, int b) {
    const auto s = [](std::int64_t v) { return Saturate(v); };
    const std::int64_t W = indicatorWidth, H = indicatorHeight, A = a, B = b;
    switch (side) {
    case TBevelSideKind::Top:
        return {{{s(A), s(A)}, {s(W - A), s(A)}, {s(W - B - A), s(A + B)}, {s(A + B), s(A + B)}}};
    case TBevelSideKind::Left:
        return {{{s(A), s(A)}, {s(A), s(H - A)}, {s(A + B), s(H - B - A)}, {s(A + B), s(A + B)}}};
    case TBevelSideKind::Bottom:
        return {{{s(A), s(H - A)},
                 {s(A + B), s(H - B - A)},
                 {s(W - B - A), s(H - B - A)},
                 {s(W - A), s(H - A)}}};
    case TBevelSideKind::Right:
    default:
        return {{{s(W - A), s(H - A)},
                 {s(W - B - A), s(H - B - A)},
                 {s(W - B - A), s(A + B)},
                 {s(W - A), s(A)}}};
    }
}

std::array<TBevelSideKind, 4> BevelSideOrder(int indicatorAngle) {
    using enum TBevelSideKind;
    const int a =
        static_cast<int>(((static_cast<std::int64_t>(indicatorAngle) % 3600) + 3600) % 3600);
    if (a >= 450 && a <= 1350)
        return {Top, Right, Left, Bottom};
    if (a >= 1351 && a <= 2249)
        return {Bottom, Right, Top, Left};
    if (a >= 2250 && a <= 3150)
        return {Left, Bottom, Right, Top};
    return {Top, Left, Bottom, Right};
}

} // namespace vesmera
