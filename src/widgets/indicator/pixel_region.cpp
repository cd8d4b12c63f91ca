#include "widgets/indicator/pixel_region.h"

#include <algorithm>
#include <climits>
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

// ceil(v) limited to 0..limit, without a library call in the inner loop.
int CeilWithin(double v, int limit) {
    if (!(v > 0)) // NaN too
        return 0;
    if (v >= limit)
        return limit;
    const int i = static_cast<int>(v);
    return i + (v > i ? 1 : 0);
}

// The first row (or column) whose centre lies at or after y, limited to 0..limit.
int RowAtOrBelow(double y, int limit) {
    return CeilWithin(y - 0.5, limit);
}

// The vertices are in logical pixels and the raster has `scale` raster pixels to one of them;
// at scale 1 every product below is the vertex itself.
void AddEdges(const TPoint* points, int count, int height, double scale, std::vector<Edge>& edges) {
    if (count < 3)
        return;
    for (int i = 0; i < count; ++i) {
        TPoint p = points[i], q = points[(i + 1) % count];
        if (p.y == q.y)
            continue;
        if (p.y > q.y)
            std::swap(p, q);
        const double px = p.x * scale, py = p.y * scale, qy = q.y * scale;
        // Rows whose centres satisfy p.y <= y + 0.5 < q.y.
        const int first = RowAtOrBelow(py, height);
        const int end = RowAtOrBelow(qy, height);
        if (first >= end)
            continue;
        // The slope is the same at every scale.
        const double dxdy = (static_cast<double>(q.x) - p.x) / (static_cast<double>(q.y) - p.y);
        edges.push_back({px, dxdy, py, first, end - 1});
    }
}

struct Crossing {
    double x;
    const Edge* edge;
};

// The classic active edge list: crossings are kept in x order from row to row, where they
// move little, so an insertion sort finds the new order in nearly linear time.
void Scan(std::vector<Edge>& edges, int width, std::vector<TSpan>& spans) {
    spans.clear();
    if (edges.empty())
        return;
    std::sort(edges.begin(), edges.end(),
              [](const Edge& a, const Edge& b) { return a.firstRow < b.firstRow; });
    // Kept from call to call: a rebuild rasterises many small polygons, and fresh buffers
    // for each would cost more than the rows themselves.
    thread_local std::vector<Crossing> active;
    active.clear();
    spans.reserve(static_cast<std::size_t>(edges.back().lastRow - edges.front().firstRow + 1));
    std::size_t next = 0;
    int row = edges.front().firstRow;
    int expiry = INT_MAX; // the first row after which an active edge ends
    while (next < edges.size() || !active.empty()) {
        if (active.empty())
            row = std::max(row, edges[next].firstRow);
        const double yc = row + 0.5;
        while (next < edges.size() && edges[next].firstRow <= row) {
            active.push_back({0, &edges[next]});
            expiry = std::min(expiry, edges[next++].lastRow);
        }
        // Each crossing from the edge's own start, so that no error builds up down the rows.
        for (Crossing& c : active)
            c.x = c.edge->x0 + (yc - c.edge->y0) * c.edge->dxdy;
        for (std::size_t i = 1; i < active.size(); ++i) {
            const Crossing c = active[i];
            std::size_t j = i;
            for (; j > 0 && active[j - 1].x > c.x; --j)
                active[j] = active[j - 1];
            active[j] = c;
        }
        for (std::size_t i = 0; i + 1 < active.size(); i += 2) {
            // Pixels whose centre x + 0.5 lies in [xa, xb).
            const int a = RowAtOrBelow(active[i].x, width);
            const int b = RowAtOrBelow(active[i + 1].x, width);
            if (a < b)
                spans.push_back({row, a, b});
        }
        if (row >= expiry) {
            std::erase_if(active, [row](const Crossing& c) { return c.edge->lastRow <= row; });
            expiry = INT_MAX;
            for (const Crossing& c : active)
                expiry = std::min(expiry, c.edge->lastRow);
        }
        ++row;
    }
}

std::vector<Edge>& EdgeBuffer() {
    thread_local std::vector<Edge> edges;
    edges.clear();
    return edges;
}

} // namespace

void RasterizeEvenOdd(const TPolyList& polygons, int width, int height, std::vector<TSpan>& out,
                      double scale) {
    out.clear();
    if (width <= 0 || height <= 0)
        return;
    std::vector<Edge>& edges = EdgeBuffer();
    edges.reserve(polygons.vertices.size());
    std::size_t at = 0;
    for (int i = 0; i < polygons.n && i < static_cast<int>(polygons.counts.size()); ++i) {
        const int count = polygons.counts[static_cast<std::size_t>(i)];
        if (count <= 0 || at + static_cast<std::size_t>(count) > polygons.vertices.size())
            break;
        AddEdges(polygons.vertices.data() + at, count, height, scale, edges);
        at += static_cast<std::size_t>(count);
    }
    Scan(edges, width, out);
}

void RasterizeEvenOdd(const TPoint* points, int count, int width, int height,
                      std::vector<TSpan>& out, double scale) {
    out.clear();
    if (width <= 0 || height <= 0)
        return;
    std::vector<Edge>& edges = EdgeBuffer();
    AddEdges(points, count, height, scale, edges);
    Scan(edges, width, out);
}

std::vector<TSpan> RasterizeEvenOdd(const TPolyList& polygons, int width, int height) {
    std::vector<TSpan> spans;
    RasterizeEvenOdd(polygons, width, height, spans);
    return spans;
}

std::vector<TSpan> RasterizeEvenOdd(const TPoint* points, int count, int width, int height) {
    std::vector<TSpan> spans;
    RasterizeEvenOdd(points, count, width, height, spans);
    return spans;
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
