#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/color.h"
#include "widgets/indicator/indicator_geometry.h"
#include "widgets/indicator/indicator_types.h"

namespace vesmera {

// What the indicator model asks of the window that shows it.
class IIndicatorHost {
public:
    virtual ~IIndicatorHost() = default;
    virtual int ControlWidth() const = 0;
    virtual int ControlHeight() const = 0;
    // Keeps the window's position and gives it this size. A changed size comes back to the
    // model as HandleSize, as the window system reports it.
    virtual void SetControlSize(int width, int height) = 0;
    // Clips the window to the model's WindowPolygon.
    virtual void UpdateWindowRegion() = 0;
    // Redraws the cached picture from the model's scene.
    virtual void Rebuild() = 0;
    virtual void Invalidate() = 0;
    virtual void InvalidateParent() = 0;
    // Queues the refresh message to the window itself; it comes back as HandleRefresh.
    virtual void PostRefresh() = 0;
    virtual void SetOpaque(bool opaque) = 0;
    // Recomputes the shaded variants of the back material.
    virtual void PrepareMaterials() = 0;
};

// The stored properties, with the values a new indicator starts with.
struct TIndicatorProperties {
    TZyrelColorScheme colorScheme = csSilver;
    int signNumber = 10;
    int indicatorWidth = 172;
    int indicatorHeight = 36;
    int indicatorAngle = 0;
    int indicatorGap = 2;
    std::u16string indicatorString;
    TZyrelIndicatorKind indicatorKind = ik7segment;
    TZyrelBevelKind innerBevel = bkDown;
    TZyrelBevelKind outerBevel = bkUP;
    int innerBevelWidth = 2;
    int outerBevelWidth = 2;
    TColor bevelColor = 0xDDDDDD;
    TColor backColor = 0xDDDDDD;
    TColor numberForeColor = 0x363636;
    TColor numberForeColor1 = 0x0000FF;
    TColor numberBackColor = 0xD3D3D3;
    TZyrelIndicatorStyle indicatorStyle = isNormal;
    TZyrelMouseAction mouseAction = maNone;
    TZyrelTransparentMode transparentMode = tmNone;
    TZyrelMaterialShadowMode materialShadowMode = msmDark;
    TZyrelMaterialMode materialMode = mmStretch;
    TZyrelMaterialMode foreMaterialMode = mmStretch;
};

struct TBevelQuad {
    TQuad quad;
    bool light = false;
};

// Everything one rebuild draws, in control coordinates and in drawing order. Colours are
// plain RGB.
struct TIndicatorScene {
    int width = 0;
    int height = 0;
    TColor backColor = 0;
    std::vector<TBevelQuad> bevelSides; // outer bevel first, then inner
    TColor bevelLight = 0;
    TColor bevelDark = 0;
    TPolyList lit;   // BlackPolyPoly, blackVertex, BlackN
    TPolyList unlit; // GrayPOlyPoly, grayVertex, GrayN
    TColor litColor = 0;
    bool litColorHover = false; // the hover colour replaces the fore material too
    TColor unlitColor = 0;
    TZyrelTransparentMode transparentMode = tmNone;
};

// Builds the cells' polygons, placed in a control of the given size.
void CollectPolygons(const TIndicatorProperties& p, bool hoverWidth, int controlWidth,
                     int controlHeight, TPolyList& lit, TPolyList& unlit);

TIndicatorScene BuildScene(const TIndicatorProperties& p, bool moused, int controlWidth,
                           int controlHeight);

// The indicator's state and the effects of every property write, without any window.
class TIndicatorModel {
public:
    explicit TIndicatorModel(IIndicatorHost& host) : host_(host) {}

    // The last step of construction: the window takes the indicator size, then clips and draws.
    void Create();
    // After the owner has set the stored properties.
    void Loaded();
    // The window's size changed.
    void HandleSize();
    void HandleRefresh();
    void MouseEnter();
    void MouseLeave();

    void SetColorScheme(TZyrelColorScheme v);
    void SetSignNumber(int v);
    void SetIndicatorWidth(int v);
    void SetIndicatorHeight(int v);
    void SetIndicatorAngle(int v);
    void SetIndicatorGap(int v);
    void SetIndicatorstring(const std::u16string& v);
    void SetIndicatorKind(TZyrelIndicatorKind v);
    void SetInnerBevel(TZyrelBevelKind v);
    void SetOuterBevel(TZyrelBevelKind v);
    void SetInnerBevelWidth(int v);
    void SetOuterBevelWidth(int v);
    void SetBevelColor(TColor v);
    void SetBackColor(TColor v);
    void SetNumberForeColor(TColor v);
    void SetNumberForeColor1(TColor v);
    void SetNumberBackColor(TColor v);
    void SetIndicatorStyle(TZyrelIndicatorStyle v);
    void SetMouseAction(TZyrelMouseAction v);
    void SetTransparentMode(TZyrelTransparentMode v);
    void SetMaterialShadowMode(TZyrelMaterialShadowMode v);
    void SetMaterialMode(TZyrelMaterialMode v);
    void SetForeMaterialMode(TZyrelMaterialMode v);

    void SetOnMouseEnter(std::function<void()> f) { onMouseEnter_ = std::move(f); }
    void SetOnMouseExit(std::function<void()> f) { onMouseLeave_ = std::move(f); }

    const TIndicatorProperties& Properties() const { return p_; }
    bool Moused() const { return moused_; }
    bool Imloaded() const { return imloaded_; }

    TIndicatorScene Scene() const;
    TQuad WindowPolygon() const;

private:
    template <typename T> void Redraw(T& field, T v);
    void ResizeSequence();
    void SetIndicatorSize(int& field, int v);

    IIndicatorHost& host_;
    TIndicatorProperties p_;
    bool moused_ = false;
    bool imloaded_ = false;
    std::function<void()> onMouseEnter_;
    std::function<void()> onMouseLeave_;
};

} // namespace vesmera
