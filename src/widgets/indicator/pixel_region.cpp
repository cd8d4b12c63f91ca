#include "widgets/indicator/pixel_region.h"

#include <algorithm>
#include <cmath>

namespace vesmera {

namespace {

struct Edge {
    double x0;   // x at y0
    double dxdy; // change of x per row
    double y0;
    int firstRow;
    int lastRow; // inclusive
};

// The first row whose centre lies at or below y, limited to 0..limit.
int RowAtOrBelow(double y, int limit) {
    const double r = std::ceil(y - 0.5);
    return static_cast<int>(std::clamp(r, 0.0, static_cast<double>(limit)));
}

void AddEdges(const TPoint* points, int count, int height, std::vector<Edge>& edges) {
    if (count < 3)
        return;
    for (int i = 0; i < count; ++i) {
        TPoint p = points[i], q = points[(i + 1) % count];
        if (p.y == q.y)
            continue;
        if (p.y > q.y)
            std::swap(p, q);
        // Rows whose centres satisfy p.y <= y + 0.5 < q.y.
        const int first = RowAtOrBelow(p.y, height);
        const int end = RowAtOrBelow(q.y, height);
        if (first >= end)
            continue;
        const double dxdy = (static_cast<double>(q.x) - p.x) / (static_cast<double>(q.y) - p.y);
        edges.push_back({static_cast<double>(p.x), dxdy, static_cast<double>(p.y), first, end - 1});
    }
}

std::vector<TSpan> Scan(std::vector<Edge>& edges, int width) {
    std::vector<TSpan> spans;
    if (edges.empty())
        return spans;
    std::sort(edges.begin(), edges.end(),
              [](const Edge& a, const Edge& b) { return a.firstRow < b.firstRow; });
    std::vector<const Edge*> active;
    std::vector<double> xs;
    std::size_t next = 0;
    int row = edges.front().firstRow;
    while (next < edges.size() || !active.empty()) {
        if (active.empty() && next < edges.size())
            row = std::max(row, edges[next].firstRow);
        while (next < edges.size() && edges[next].firstRow <= row)
            active.push_back(&edges[next++]);
        xs.clear();
        const double yc = row + 0.5;
        for (const Edge* e : active)
            xs.push_back(e->x0 + (yc - e->y0) * e->dxdy);
        std::sort(xs.begin(), xs.end());
        for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
            // Pixels whose centre x + 0.5 lies in [xa, xb).
            const double a = std::clamp(std::ceil(xs[i] - 0.5), 0.0, static_cast<double>(width));
            const double b =
                std::clamp(std::ceil(xs[i + 1] - 0.5), 0.0, static_cast<double>(width));
            if (a < b)
                spans.push_back({row, static_cast<int>(a), static_cast<int>(b)});
        }
        std::erase_if(active, [row](const Edge* e) { return e->lastRow <= row; });
        ++row;
    }
    return spans;
}

} // namespace

std::vector<TSpan> RasterizeEvenOdd(const TPolyList& polygons, int width, int height) {
    std::vector<Edge> edges;
    if (width <= 0 || height <= 0)
        return {};
    edges.reserve(polygons.vertices.size());
    std::size_t at = 0;
    for (int i = 0; i < polygons.n && i < static_cast<int>(polygons.counts.size()); ++i) {
        const int count = polygons.counts[static_cast<std::size_t>(i)];
        if (count <= 0 || at + static_cast<std::size_t>(count) > polygons.vertices.size())
            break;
        AddEdges(polygons.vertices.data() + at, count, height, edges);
        at += static_cast<std::size_t>(count);
    }
    return Scan(edges, width);
}

std::vector<TSpan> RasterizeEvenOdd(const TPoint* points, int count, int width, int height) {
    if (width <= 0 || height <= 0)
        return {};
    std::vector<Edge> edges;
    AddEdges(points, count, height, edges);
    return Scan(edges, width);
}

TPixelMask::TPixelMask(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      bits_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0) {}

void TPixelMask::Add(const std::vector<TSpan>& spans) {
    for (const TSpan& s : spans) {
        if (s.y < 0 || s.y >= height_)
            continue;
        const int x0 = std::max(s.x0, 0), x1 = std::min(s.x1, width_);
        if (x0 < x1)
            std::fill_n(bits_.begin() + static_cast<std::ptrdiff_t>(s.y) * width_ + x0, x1 - x0, 1);
    }
}

bool TPixelMask::Contains(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return false;
    return bits_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                 static_cast<std::size_t>(x)] != 0;
}

std::vector<TSpan> TPixelMask::Spans() const {
    std::vector<TSpan> spans;
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* row = bits_.data() + static_cast<std::size_t>(y) * width_;
        int x = 0;
        while (x < width_) {
            while (x < width_ && !row[x])
                ++x;
            const int start = x;
            while (x < width_ && row[x])
                ++x;
            if (start < x)
                spans.push_back({y, start, x});
        }
    }
    return spans;
}

} // namespace vesmera
