#pragma once

#include <array>
#include <optional>
#include <vector>

#include <QImage>
#include <QRegion>

#include "widgets/indicator/indicator_model.h"
#include "widgets/indicator/pixel_region.h"

namespace vesmera {

// Materials drawn over a whole picture, kept while the picture's size, the mode and the
// materials stay the same, so that a rebuild only copies their pixels.
class TMaterialLayers {
public:
    // `size` in device pixels, `scale` device pixels to a logical one.
    const QImage& Get(const QImage& material, TZyrelMaterialMode mode, std::size_t slot, QSize size,
                      double scale = 1.0);
    void Forget();

private:
    struct Layer {
        QImage image;
        TZyrelMaterialMode mode = mmStretch;
        bool made = false;
    };
    std::array<Layer, 5> layers_;
};

// The user's material pictures and the shaded variants made from the back picture.
struct TIndicatorMaterials {
    QImage back;   // FBackMaterial
    QImage backL;  // FBackMaterialL: lightened by 64 per byte
    QImage backD;  // FBackMaterialD: darkened by 64 per byte
    QImage backLD; // FBackMaterialLD: shaded by the shadow mode
    QImage fore;   // FForeMaterial
    TMaterialLayers layers;

    // Makes the three variants again from the back picture.
    void Prepare(TZyrelMaterialShadowMode shadowMode);
};

// Logical pixels to device pixels at a scale: the size itself at scale 1, otherwise rounded
// up, so that the device pixels cover it.
int DevicePixels(int logical, double scale);

// Draws the scene into the canvas (made Width x Height, 32 bits per pixel) and, when the
// scene is transparent, collects the pixels that painting may touch. With a scale (the screen's
// device pixel ratio) the canvas has that many pixels to a logical one and carries the ratio;
// the scene's polygons are rasterised at those pixels, and at scale 1 every pixel is as
// without one.
void RenderScene(const TIndicatorScene& scene, TIndicatorMaterials& materials,
                 TZyrelMaterialMode backMode, TZyrelMaterialMode foreMode, QImage& canvas,
                 std::optional<TPixelMask>& clip, double scale = 1.0);

// Row runs as a region.
QRegion RegionFromSpans(const std::vector<TSpan>& spans);

} // namespace vesmera
