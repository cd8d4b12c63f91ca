// The segment indicator's text, cell count, kind, style, bevels, angle and sizes from any
// bytes, through the layout, the encoding and the polygon geometry of a rebuild. The layout
// gives at most as many cells as the indicator has, right-aligned, with every point folded
// that can be; every cell's pattern has its kind's length; the lit and unlit lists agree with
// their counts, hold whole cells of whole polygons, and for a plain unturned indicator hold
// every cell with exactly the lit segments of the patterns. Turning keeps every vertex at its
// distance from the centre, a full turn moves none by more than the rounding, and the regions
// of both lists lie inside the control.
//
// Input: a flag for extreme values (any 32-bit sizes, counts, gaps and angles), the choices
// and numbers in order, then the text (a byte below 0x80 is that character, any other byte
// starts a 16-bit code unit with the next one).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "widgets/indicator/indicator_encoding.h"
#include "widgets/indicator/indicator_geometry.h"
#include "widgets/indicator/indicator_model.h"
#include "widgets/indicator/pixel_region.h"

namespace {

using namespace vesmera;

// The sizes of ordinary indicators, and of the control that any indicator is shown in.
constexpr int kMaxIndicator = 512;
constexpr int kMaxWindow = 1024;

bool IsPoint(char16_t c) {
    return c == u'.' || c == u',';
}

std::u16string TextFrom(const std::vector<std::uint8_t>& bytes) {
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] < 0x80 || i + 1 == bytes.size()) {
            text.push_back(bytes[i]);
        } else {
            text.push_back(static_cast<char16_t>(bytes[i] << 8 | bytes[i + 1]));
            ++i;
        }
    }
    return text;
}

void CheckLayout(const std::u16string& text, TZyrelIndicatorKind kind, int cells) {
    const std::vector<TIndicatorCell> laid = LayoutText(text, kind, cells);
    const std::size_t n = cells > 0 ? static_cast<std::size_t>(cells) : 0;
    FUZZ_CHECK(laid.size() <= n, "the text fills at most the indicator's cells");
    FUZZ_CHECK(laid.size() <= text.size(), "every cell comes from a character of the text");

    if (kind == ik5x7matrix) {
        for (std::size_t i = 0; i < laid.size(); ++i)
            FUZZ_CHECK(laid[i] == (TIndicatorCell{text[i], false}),
                       "the dot matrix shows the text's first characters, one cell each");
        FUZZ_CHECK(laid.size() == std::min(n, text.size()), "the dot matrix fills what it can");
    } else {
        // Written back with every point as ".", the cells are the start of the text.
        std::u16string written, normal;
        for (const TIndicatorCell& c : laid) {
            FUZZ_CHECK(!(c.point && IsPoint(c.character)), "a point cell carries no flag");
            written += IsPoint(c.character) ? u'.' : c.character;
            if (c.point)
                written += u'.';
        }
        for (char16_t c : text)
            normal += IsPoint(c) ? u'.' : c;
        FUZZ_CHECK(normal.starts_with(written), "the cells read back as the start of the text");
        FUZZ_CHECK(laid.size() == n || written == normal, "a short text is shown whole");
        for (std::size_t i = 0; i + 1 < laid.size(); ++i)
            FUZZ_CHECK(
                !(!IsPoint(laid[i].character) && !laid[i].point && IsPoint(laid[i + 1].character)),
                "a point after a digit without one is folded into it");
        if (!laid.empty() && written.size() < normal.size() && normal[written.size()] == u'.')
            FUZZ_CHECK(IsPoint(laid.back().character) || laid.back().point,
                       "a point after the last shown cell is folded into it when it can be");
    }
}

void CheckPatterns(const TIndicatorCell& cell, TZyrelIndicatorKind kind) {
    if (kind == ik5x7matrix) {
        const std::string_view glyph = MatrixPattern(cell.character);
        FUZZ_CHECK(glyph.size() == 41, "a glyph is seven rows of five dots");
        for (std::size_t i = 0; i < glyph.size(); ++i)
            FUZZ_CHECK(i % 6 == 5 ? glyph[i] == ' ' : (glyph[i] == '0' || glyph[i] == '1'),
                       "a glyph is rows of 0 and 1 parted by blanks");
        return;
    }
    const std::string pattern = SegmentPattern(cell, kind);
    FUZZ_CHECK(pattern.size() == (kind == ik9segment ? 10u : 8u), "one bit per segment");
    FUZZ_CHECK(pattern.find_first_not_of("01") == std::string::npos, "a pattern is 0 and 1");
    if (IsPoint(cell.character))
        FUZZ_CHECK(pattern == std::string(pattern.size() - 1, '0') + "1", "a point shows alone");
    else
        FUZZ_CHECK((pattern.back() == '1') == cell.point, "the last bit is the point flag");
    if (kind == ik7segment && cell.character == u':')
        FUZZ_CHECK(pattern.substr(0, 7) == "0000000", "seven segments have no colon");
}

int Lit(const TIndicatorCell& cell, TZyrelIndicatorKind kind) {
    if (kind == ik5x7matrix) {
        const std::string_view glyph = MatrixPattern(cell.character);
        return static_cast<int>(std::count(glyph.begin(), glyph.end(), '1'));
    }
    const std::string pattern = SegmentPattern(cell, kind);
    return static_cast<int>(std::count(pattern.begin(), pattern.end(), '1'));
}

void CheckList(const TPolyList& list, int vertices) {
    FUZZ_CHECK(list.n == static_cast<int>(list.counts.size()), "N is the number of counts");
    long long sum = 0;
    for (int count : list.counts) {
        FUZZ_CHECK(count == vertices, "every polygon has its kind's vertices");
        sum += count;
    }
    FUZZ_CHECK(sum == static_cast<long long>(list.vertices.size()), "the counts add up");
}

void CheckRegion(const TPolyList& list, int width, int height) {
    const std::vector<TSpan> spans = RasterizeEvenOdd(list, width, height);
    long long pixels = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const TSpan& s = spans[i];
        FUZZ_CHECK(s.y >= 0 && s.y < height && s.x0 >= 0 && s.x0 < s.x1 && s.x1 <= width,
                   "a region lies inside the control");
        if (i > 0)
            FUZZ_CHECK(spans[i - 1].y < s.y || (spans[i - 1].y == s.y && spans[i - 1].x1 <= s.x0),
                       "a region's runs come row by row, left to right, apart, so each pixel once");
        pixels += s.x1 - s.x0;
    }
    FUZZ_CHECK(pixels <= static_cast<long long>(width) * height, "no pixel twice");
}

struct Config {
    TIndicatorProperties p;
    bool moused = false;
    int controlWidth = 0;
    int controlHeight = 0;
    bool extreme = false;
};

template <typename T> T Pick(FuzzedDataProvider& in, int last) {
    return static_cast<T>(in.ConsumeIntegralInRange(0, last));
}

Config Read(FuzzedDataProvider& in) {
    Config c;
    TIndicatorProperties& p = c.p;
    c.extreme = in.ConsumeBool();
    p.indicatorKind = Pick<TZyrelIndicatorKind>(in, 2);
    p.indicatorStyle = Pick<TZyrelIndicatorStyle>(in, 2);
    p.outerBevel = Pick<TZyrelBevelKind>(in, 2);
    p.innerBevel = Pick<TZyrelBevelKind>(in, 2);
    p.mouseAction = Pick<TZyrelMouseAction>(in, 3);
    c.moused = in.ConsumeBool();
    const int controlMode = in.ConsumeIntegralInRange(0, 3);
    if (c.extreme) {
        p.signNumber = in.ConsumeIntegral<int>();
        p.indicatorWidth = in.ConsumeIntegral<int>();
        p.indicatorHeight = in.ConsumeIntegral<int>();
        p.indicatorGap = in.ConsumeIntegral<int>();
        p.outerBevelWidth = in.ConsumeIntegral<int>();
        p.innerBevelWidth = in.ConsumeIntegral<int>();
        p.indicatorAngle = in.ConsumeIntegral<int>();
    } else {
        p.signNumber = in.ConsumeIntegralInRange(1, 64);
        p.indicatorWidth = in.ConsumeIntegralInRange(1, kMaxIndicator);
        p.indicatorHeight = in.ConsumeIntegralInRange(1, kMaxIndicator / 2);
        p.indicatorGap = in.ConsumeIntegralInRange(-8, 40);
        p.outerBevelWidth = in.ConsumeIntegralInRange(1, 16);
        p.innerBevelWidth = in.ConsumeIntegralInRange(1, 16);
        p.indicatorAngle = in.ConsumeBool() ? 900 * in.ConsumeIntegralInRange(-8, 8)
                                            : in.ConsumeIntegralInRange(-7200, 7200);
    }
    const TSize bounding = BoundingSize(p.indicatorWidth, p.indicatorHeight, p.indicatorAngle);
    if (controlMode == 0) {
        c.controlWidth = bounding.width;
        c.controlHeight = bounding.height;
    } else if (controlMode == 1) {
        c.controlWidth = p.indicatorWidth;
        c.controlHeight = p.indicatorHeight;
    } else {
        c.controlWidth = in.ConsumeIntegralInRange(0, kMaxIndicator);
        c.controlHeight = in.ConsumeIntegralInRange(0, kMaxIndicator);
    }
    // A window has a size of its own, never negative.
    c.controlWidth = std::clamp(c.controlWidth, 0, kMaxWindow);
    c.controlHeight = std::clamp(c.controlHeight, 0, kMaxWindow);
    const std::vector<std::uint8_t> rest = in.ConsumeRemainingBytes<std::uint8_t>();
    p.indicatorString = TextFrom(rest);
    return c;
}

// Every vertex within reach of the indicator's centre, as turning keeps distances.
void CheckDistances(const Config& c, const TCellMetrics& m, double t, const TPolyList& list) {
    const TIndicatorProperties& p = c.p;
    const double cx = p.indicatorWidth / 2 + (c.controlWidth - p.indicatorWidth) / 2;
    const double cy = p.indicatorHeight / 2 + (c.controlHeight - p.indicatorHeight) / 2;
    const double reach = 2 * t + 8 + static_cast<double>(std::llabs(m.margin));
    const double limit = std::hypot(p.indicatorWidth + reach, p.indicatorHeight + reach) + 4;
    for (const TPoint& v : list.vertices)
        FUZZ_CHECK(std::hypot(v.x - cx, v.y - cy) <= limit,
                   "a vertex stays within its distance from the centre");
}

void CheckFullTurn(const Config& c, const TIndicatorScene& scene) {
    Config turned = c;
    turned.p.indicatorAngle += 3600;
    const TIndicatorScene again = BuildScene(turned.p, c.moused, c.controlWidth, c.controlHeight);
    for (const auto& [a, b] : {std::pair{&scene.lit, &again.lit}, {&scene.unlit, &again.unlit}}) {
        FUZZ_CHECK(a->counts == b->counts, "a full turn keeps the polygons");
        for (std::size_t i = 0; i < a->vertices.size(); ++i)
            FUZZ_CHECK(std::abs(a->vertices[i].x - b->vertices[i].x) <= 2 &&
                           std::abs(a->vertices[i].y - b->vertices[i].y) <= 2,
                       "a full turn moves no vertex beyond the rounding");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const Config c = Read(in);
    const TIndicatorProperties& p = c.p;

    CheckLayout(p.indicatorString, p.indicatorKind, p.signNumber);
    for (const TIndicatorCell& cell : LayoutText(p.indicatorString, p.indicatorKind, 64))
        CheckPatterns(cell, p.indicatorKind);
    CheckPatterns({u'.', true}, p.indicatorKind);

    const TIndicatorScene scene = BuildScene(p, c.moused, c.controlWidth, c.controlHeight);
    const bool matrix = p.indicatorKind == ik5x7matrix;
    const int perCell = matrix ? 35 : p.indicatorKind == ik9segment ? 10 : 8;
    CheckList(scene.lit, matrix ? 4 : 6);
    CheckList(scene.unlit, matrix ? 4 : 6);
    const long long polygons = static_cast<long long>(scene.lit.n) + scene.unlit.n;
    FUZZ_CHECK(polygons % perCell == 0, "the lists hold whole cells");
    FUZZ_CHECK(polygons / perCell <= std::max(p.signNumber, 0), "no more cells than the count");
    FUZZ_CHECK(scene.bevelSides.size() ==
                   4u * ((p.outerBevel != bkNone) + (p.innerBevel != bkNone)),
               "four sides to a bevel");
    const bool hoverColor = c.moused && (p.mouseAction == maColor || p.mouseAction == maBoth);
    FUZZ_CHECK(scene.litColorHover == hoverColor, "the hover colour only under the pointer");

    const TCellMetrics m =
        ComputeCellMetrics(p.indicatorWidth, p.indicatorHeight, p.signNumber, p.indicatorGap,
                           p.outerBevel, p.outerBevelWidth, p.innerBevel, p.innerBevelWidth);
    if (p.signNumber < 1 || m.cellWidth < 1 || m.cellHeight < 1)
        FUZZ_CHECK(polygons == 0, "an indicator without room for a cell draws none");

    CheckRegion(scene.lit, c.controlWidth, c.controlHeight);
    CheckRegion(scene.unlit, c.controlWidth, c.controlHeight);
    if (c.extreme)
        return 0;

    const bool hoverWidth = c.moused && (p.mouseAction == maWidth || p.mouseAction == maBoth);
    const double t = SegmentThickness(m.cellWidth, m.cellHeight, p.indicatorStyle, hoverWidth);
    CheckDistances(c, m, t, scene.lit);
    CheckDistances(c, m, t, scene.unlit);
    CheckFullTurn(c, scene);

    const TSize bounding = BoundingSize(p.indicatorWidth, p.indicatorHeight, p.indicatorAngle);
    if (p.indicatorAngle % 900 == 0) {
        const bool across = (p.indicatorAngle / 900) % 2 != 0;
        FUZZ_CHECK(bounding == (across ? TSize{p.indicatorHeight, p.indicatorWidth}
                                       : TSize{p.indicatorWidth, p.indicatorHeight}),
                   "a quarter turn swaps the sides");
    }

    // Unturned, in a control of its own size and with its cells inside: every cell is drawn,
    // lit exactly where the patterns say, and the text's cells are the rightmost ones.
    const std::int64_t inner = p.indicatorWidth - 2 * m.margin;
    const bool plain = p.indicatorAngle == 0 && c.controlWidth == p.indicatorWidth &&
                       c.controlHeight == p.indicatorHeight && m.margin >= 0 &&
                       inner / p.signNumber >= 1 && p.indicatorHeight - 2 * m.margin >= 1;
    if (plain) {
        FUZZ_CHECK(polygons == static_cast<long long>(p.signNumber) * perCell,
                   "an unturned indicator draws every cell");
        const std::vector<TIndicatorCell> text =
            LayoutText(p.indicatorString, p.indicatorKind, p.signNumber);
        int lit = 0;
        for (const TIndicatorCell& cell : text)
            lit += Lit(cell, p.indicatorKind);
        FUZZ_CHECK(scene.lit.n == lit, "the lit polygons are the patterns' lit segments");
        const double blanksEnd =
            static_cast<double>(m.margin) +
            static_cast<double>(p.signNumber - static_cast<int>(text.size())) * m.cellWidth;
        for (const TPoint& v : scene.lit.vertices) {
            FUZZ_CHECK(v.x >= -2 * t - 8 && v.x <= p.indicatorWidth + 2 * t + 8 &&
                           v.y >= -2 * t - 8 && v.y <= p.indicatorHeight + 2 * t + 8,
                       "an unturned indicator's segments lie on it");
            FUZZ_CHECK(v.x >= blanksEnd - 2 * t - 8, "the text is right-aligned behind blanks");
        }
    }
    return 0;
}
