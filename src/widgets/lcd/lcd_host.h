#pragma once

#include <cstdint>

#include "widgets/lcd/lcd_display.h"
#include "widgets/lcd/lcd_types.h"
#include "widgets/lcd/mono_image.h"

namespace vesmera {

// The window the screen model draws into: a synchronous repaint, and the size the geometry
// step snapped the control to.
class ILCDHost {
public:
    virtual void Repaint() = 0;
    virtual void SizeSnapped(int width, int height) = 0;

protected:
    ~ILCDHost() = default;
};

// The screen's animation timer.
class IAnimationTimer {
public:
    virtual ~IAnimationTimer() = default;
    virtual void SetInterval(std::uint32_t ms) = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

// Turns the parsed lines into the one-bit lines picture with a real font: each character on
// its own at its advance width, styles as the effects allow, inverse video for inverse cells
// and for blink cells while the blinking status is on.
class ILinesRenderer {
public:
    virtual ~ILinesRenderer() = default;
    virtual MonoImage Render(const Display& display, const TLCDFont& font, TSpecialEffects effects,
                             bool blinkingStatus) = 0;
};

} // namespace vesmera
