#include "widgets/indicator/indicator_painter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <cwchar>

namespace vesmera {

namespace {

QRgb ToRgb(TColor c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

bool Present(const QImage& material) {
    return material.width() != 0;
}

// Every blue, green and red byte moved by delta within 0..255, on a 32-bit copy.
QImage ShiftBytes(const QImage& source, int delta) {
    QImage out = source.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const auto ch = [delta](int v) { return std::clamp(v + delta, 0, 255); };
            row[x] = qRgb(ch(qRed(row[x])), ch(qGreen(row[x])), ch(qBlue(row[x])));
        }
    }
    return out;
}

// A material drawn over a whole Width x Height picture: stretched, or tiled unscaled from the
// top-left corner (the tiles never overlap, so each pixel is the tile's pixel at the same
// offset).
QImage MaterialLayer(const QImage& material, TZyrelMaterialMode mode, int width, int height) {
    QImage layer(width, height, QImage::Format_RGB32);
    if (layer.isNull())
        return layer;
    if (mode == mmStretch) {
        const QImage src = material.convertToFormat(QImage::Format_RGB32);
        layer = src.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        return layer.convertToFormat(QImage::Format_RGB32);
    }
    const QImage src = material.convertToFormat(QImage::Format_RGB32);
    const int bw = src.width(), bh = src.height();
    for (int y = 0; y < height; ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(src.constScanLine(y % bh));
        auto* to = reinterpret_cast<QRgb*>(layer.scanLine(y));
        for (int x = 0; x < width; x += bw)
            std::copy_n(from, std::min(bw, width - x), to + x);
    }
    return layer;
}

// Row y of a 32-bit picture; the picture is detached once by the caller taking bits().
QRgb* Row(uchar* bits, qsizetype stride, int y) {
    return reinterpret_cast<QRgb*>(bits + stride * y);
}

void FillSpans(QImage& canvas, const std::vector<TSpan>& spans, TColor color) {
    // The C library's wide fill stores a long 32-bit pattern far faster than a plain loop;
    // the few pixels of a bevel's or a segment's edge row are quicker stored directly.
    static_assert(sizeof(wchar_t) == sizeof(QRgb));
    const QRgb rgb = ToRgb(color);
    uchar* bits = canvas.bits();
    const qsizetype stride = canvas.bytesPerLine();
    for (const TSpan& s : spans) {
        QRgb* to = Row(bits, stride, s.y) + s.x0;
        const int n = s.x1 - s.x0;
        if (n <= 8) {
            for (int i = 0; i < n; ++i)
                to[i] = rgb;
        } else {
            std::wmemset(reinterpret_cast<wchar_t*>(to), static_cast<wchar_t>(rgb),
                         static_cast<std::size_t>(n));
        }
    }
}

void CopySpans(QImage& canvas, const std::vector<TSpan>& spans, const QImage& layer) {
    if (layer.size() != canvas.size())
        return;
    uchar* bits = canvas.bits();
    const qsizetype stride = canvas.bytesPerLine();
    const uchar* from = layer.constBits();
    const qsizetype fromStride = layer.bytesPerLine();
    for (const TSpan& s : spans) {
        const auto* src = reinterpret_cast<const QRgb*>(from + fromStride * s.y);
        std::copy(src + s.x0, src + s.x1, Row(bits, stride, s.y) + s.x0);
    }
}

enum Slot : std::size_t { kBack, kLight, kDark, kShade, kFore };

// A layer of the canvas's own size and format over the whole canvas, into its own memory.
void CopyAll(QImage& canvas, const QImage& layer) {
    if (layer.size() == canvas.size() && layer.bytesPerLine() == canvas.bytesPerLine())
        std::memcpy(canvas.bits(), layer.constBits(),
                    static_cast<std::size_t>(layer.sizeInBytes()));
}

} // namespace

const QImage& TMaterialLayers::Get(const QImage& material, TZyrelMaterialMode mode,
                                   std::size_t slot, QSize size, double scale) {
    Layer& l = layers_[slot];
    if (!l.made || l.mode != mode || l.image.size() != size) {
        // A tiled material keeps its logical size on a screen of more pixels.
        const QImage tile = mode == mmStretch || scale == 1.0 || !Present(material)
                                ? material
                                : material.scaled(DevicePixels(material.width(), scale),
                                                  DevicePixels(material.height(), scale),
                                                  Qt::IgnoreAspectRatio, Qt::FastTransformation);
        l.image = MaterialLayer(tile, mode, size.width(), size.height());
        l.mode = mode;
        l.made = true;
    }
    return l.image;
}

void TMaterialLayers::Forget() {
    for (Layer& l : layers_)
        l = Layer{};
}

void TIndicatorMaterials::Prepare(TZyrelMaterialShadowMode shadowMode) {
    layers.Forget();
    if (!Present(back)) {
        backL = backD = backLD = QImage();
        return;
    }
    backD = ShiftBytes(back, -64);
    backL = ShiftBytes(back, 64);
    backLD = ShiftBytes(back, shadowMode == msmDark ? -32 : shadowMode == msmLight ? 32 : 0);
}

int DevicePixels(int logical, double scale) {
    // At scale 1 the size itself; otherwise enough pixels to cover the logical size.
    return scale == 1.0 ? logical : static_cast<int>(std::ceil(logical * scale - 1e-9));
}

void RenderScene(const TIndicatorScene& scene, TIndicatorMaterials& materials,
                 TZyrelMaterialMode backMode, TZyrelMaterialMode foreMode, QImage& canvas,
                 std::optional<TPixelMask>& clip, double scale) {
    // The polygons are in logical pixels; the canvas has the device's pixels, so that every
    // edge is rasterised at the screen's own resolution.
    const int w = DevicePixels(scene.width, scale), h = DevicePixels(scene.height, scale);
    clip.reset();
    if (scene.transparentMode != tmNone)
        clip.emplace(w, h);
    // A picture of the right size is drawn over completely, so its memory can serve again.
    if (canvas.size() != QSize(w, h) || canvas.format() != QImage::Format_RGB32)
        canvas = QImage(std::max(w, 0), std::max(h, 0), QImage::Format_RGB32);
    if (canvas.isNull())
        return;
    canvas.setDevicePixelRatio(scale);
    TMaterialLayers& layers = materials.layers;
    const QSize size(w, h);
    const bool backMaterial = Present(materials.back);

    if (backMaterial)
        CopyAll(canvas, layers.Get(materials.back, backMode, kBack, size, scale));
    else
        canvas.fill(ToRgb(scene.backColor));

    std::vector<TSpan> spans;
    for (const TBevelQuad& side : scene.bevelSides) {
        RasterizeEvenOdd(side.quad.data(), 4, w, h, spans, scale);
        if (clip)
            clip->Add(spans);
        if (backMaterial)
            CopySpans(canvas, spans,
                      side.light ? layers.Get(materials.backL, backMode, kLight, size, scale)
                                 : layers.Get(materials.backD, backMode, kDark, size, scale));
        else
            FillSpans(canvas, spans, side.light ? scene.bevelLight : scene.bevelDark);
    }

    if (scene.lit.n > 0) {
        RasterizeEvenOdd(scene.lit, w, h, spans, scale);
        if (clip)
            clip->Add(spans);
        if (Present(materials.fore) && !scene.litColorHover)
            CopySpans(canvas, spans, layers.Get(materials.fore, foreMode, kFore, size, scale));
        else
            FillSpans(canvas, spans, scene.litColor);
    }

    if (scene.unlit.n > 0) {
        RasterizeEvenOdd(scene.unlit, w, h, spans, scale);
        if (clip && scene.transparentMode == tmBackOnly)
            clip->Add(spans);
        if (backMaterial)
            CopySpans(canvas, spans, layers.Get(materials.backLD, backMode, kShade, size, scale));
        else
            FillSpans(canvas, spans, scene.unlitColor);
    }
}

QRegion RegionFromSpans(const std::vector<TSpan>& spans) {
    // Rows with the same runs become one band, as a region wants its rectangles.
    std::vector<QRect> rects;
    std::size_t i = 0;
    while (i < spans.size()) {
        const int y = spans[i].y;
        std::size_t j = i;
        while (j < spans.size() && spans[j].y == y)
            ++j;
        int bottom = y;
        std::size_t k = j;
        for (;;) {
            std::size_t e = k;
            while (e < spans.size() && spans[e].y == bottom + 1)
                ++e;
            if (e - k != j - i || spans.empty() || k >= spans.size() || spans[k].y != bottom + 1)
                break;
            bool same = true;
            for (std::size_t q = 0; q < j - i && same; ++q)
                same = spans[k + q].x0 == spans[i + q].x0 && spans[k + q].x1 == spans[i + q].x1;
            if (!same)
                break;
            ++bottom;
            k = e;
        }
        for (std::size_t q = i; q < j; ++q)
            rects.emplace_back(QPoint(spans[q].x0, y), QPoint(spans[q].x1 - 1, bottom));
        i = k;
    }
    QRegion region;
    if (!rects.empty())
        region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

} // namespace vesmera
