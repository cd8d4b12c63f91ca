#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "widgets/lcd/dot_renderer.h"
#include "widgets/lcd/lcd_animator.h"
#include "widgets/lcd/lcd_colors.h"
#include "widgets/lcd/lcd_display.h"
#include "widgets/lcd/lcd_geometry.h"
#include "widgets/lcd/lcd_host.h"
#include "widgets/lcd/lcd_lines.h"
#include "widgets/lcd/lcd_script.h"
#include "widgets/lcd/lcd_types.h"
#include "widgets/lcd/mono_image.h"
#include "widgets/lcd/rgb_image.h"

namespace vesmera {

// The dot-matrix screen without a window: its properties and their setters, the parsed lines
// and their one-bit picture, the dot colours, the geometry, the composed picture and the
// animation tick. The window (TLCDScreen) supplies the host, the timer and the font renderer.
//
// "Repaint" in the setters means Paint at once, and only while AnimationEnabled is false; an
// animated screen is drawn by the window's own paint requests and at the end of each tick.
class TLCDScreenModel : private IAnimatorClient {
public:
    static constexpr std::uint32_t kInitialTimerInterval = 250;

    TLCDScreenModel(std::unique_ptr<ILinesRenderer> renderer,
                    std::unique_ptr<IAnimationTimer> timer);
    TLCDScreenModel(const TLCDScreenModel&) = delete;
    TLCDScreenModel& operator=(const TLCDScreenModel&) = delete;
    virtual ~TLCDScreenModel();

    void SetHost(ILCDHost* host) { FHost = host; }

    // Properties, each setter named after its property.
    std::uint32_t AnimationDelay() const { return FAnimationDelay; }
    void SetAnimationDelay(std::uint32_t value);
    bool AnimationEnabled() const { return FAnimationEnabled; }
    void SetAnimationEnabled(bool value);
    bool AnimationRepeating() const { return FAnimationRepeating; }
    void SetAnimationRepeating(bool value) { FAnimationRepeating = value; }
    const MonoImage& Bitmap() const { return FBitmap; }
    void SetBitmap(const MonoImage& value);
    TBitmapCopyMode BitmapCopyMode() const { return FBitmapCopyMode; }
    void SetBitmapCopyMode(TBitmapCopyMode value) { SetAndRepaint(FBitmapCopyMode, value); }
    TAnimMode BitmapAnimMode() const { return FBitmapAnimMode; }
    void SetBitmapAnimMode(TAnimMode value) { SetAndRepaint(FBitmapAnimMode, value); }
    std::int8_t BitmapXOffset() const { return FBitmapXOffset; }
    void SetBitmapXOffset(std::int8_t value) { SetAndRepaint(FBitmapXOffset, value); }
    std::int8_t BitmapYOffset() const { return FBitmapYOffset; }
    void SetBitmapYOffset(std::int8_t value) { SetAndRepaint(FBitmapYOffset, value); }
    std::int8_t BorderSpace() const { return FBorderSpace; }
    void SetBorderSpace(std::int8_t value) { SetAndRepaint(FBorderSpace, value); }
    TLCDBorder BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TLCDBorder value) { SetAndRepaint(FBorderStyle, value); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { SetAndRepaint(FColor, value); }
    TDisplayMode DisplayMode() const { return FDisplayMode; }
    void SetDisplayMode(TDisplayMode value) { SetAndRepaint(FDisplayMode, value); }
    const TLCDFont& Font() const { return FFont; }
    void SetFont(const TLCDFont& value);
    void SetFontName(const std::string& name);
    void SetFontHeight(int height);
    void SetFontSize(int points);
    void SetFontColor(TColor color);
    void SetFontPitch(TFontPitch pitch);
    void SetFontQuality(TFontQuality quality);
    std::int8_t Intensity() const { return FIntensity; }
    void SetIntensity(std::int8_t value);
    TLCDAnimator* LCDAnimator() const { return FAnimator; }
    void SetLCDAnimator(TLCDAnimator* animator);
    TLCDLines& Lines() { return FLines; }
    const TLCDLines& Lines() const { return FLines; }
    TAnimMode LinesAnimMode() const { return FLinesAnimMode; }
    void SetLinesAnimMode(TAnimMode value) { SetAndRepaint(FLinesAnimMode, value); }
    std::int8_t LinesXOffset() const { return FLinesXOffset; }
    void SetLinesXOffset(std::int8_t value) { SetAndRepaint(FLinesXOffset, value); }
    std::int8_t LinesYOffset() const { return FLinesYOffset; }
    void SetLinesYOffset(std::int8_t value) { SetAndRepaint(FLinesYOffset, value); }
    TPixelSize PixelSize() const { return FPixelSize; }
    void SetPixelSize(TPixelSize value) { SetAndRepaint(FPixelSize, value); }
    std::int8_t PixelWidth() const { return FPixelWidth; }
    void SetPixelWidth(std::int8_t value) { SetPixelDimension(FPixelWidth, value); }
    std::int8_t PixelHeight() const { return FPixelHeight; }
    void SetPixelHeight(std::int8_t value) { SetPixelDimension(FPixelHeight, value); }
    TPixelShape PixelShape() const { return FPixelShape; }
    void SetPixelShape(TPixelShape value) { SetAndRepaint(FPixelShape, value); }
    std::int8_t PixelSpacing() const { return FPixelSpacing; }
    void SetPixelSpacing(std::int8_t value) { SetAndRepaint(FPixelSpacing, value); }
    TColor PixelOff() const { return FPixelOff; }
    void SetPixelOff(TColor value);
    TSpecialEffects SpecialEffects() const { return FSpecialEffects; }
    void SetSpecialEffects(TSpecialEffects value);
    std::string About() const { return "About LCDAnimator"; }

    // The control's size as the window last set it or the geometry step snapped it.
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetSize(int width, int height);

    void Reset(TResetMode value);

    // Paint: asks the host for a synchronous repaint, whose handler calls Compose.
    void Paint();
    // The whole control as one off-screen picture: background, border and, when enabled, the
    // dots. Runs the geometry step, which may snap the size.
    // With a scale (the screen's device pixel ratio) the picture has that many pixels to a
    // logical one, each dot drawn at them.
    RgbImage Compose(bool enabled, double scale = 1.0);

    // One event of the animation timer. A script error is shown as a message box and ends the
    // tick; ticks that arrive while that box is open do nothing.
    void TimerTick();
    // The tick itself; a script error propagates as EConvertError.
    void AnimationTick();

    // Internal state, read by tests and the window.
    std::int32_t PixHRef() const { return FRefs.H; }
    std::int32_t PixVRef() const { return FRefs.V; }
    const Display& DisplayCells() const { return FDisplay; }
    const MonoImage& LinesImage() const { return FLinesImage; }
    const DotColors& TrueColors() const { return FTrueColors; }
    bool BlinkingStatus() const { return FBlinkingStatus; }
    const DotGeometry& Geometry() const { return FGeometry; }

private:
    // Stores a changed value; an equal one leaves everything as it was.
    template <typename T> static bool Store(T& field, const T& value) {
        if (field == value)
            return false;
        field = value;
        return true;
    }
    template <typename T> void SetAndRepaint(T& field, T value) {
        if (Store(field, value))
            Repaint();
    }
    void ChangeFont(const std::function<void(TLCDFont&)>& change);
    void Recolor();
    void SetPixelDimension(std::int8_t& field, std::int8_t value);
    void Repaint();
    void LinesChanged();
    void FontChanged();
    void DeriveColors();
    void RenderLinesImage();
    void RunGeometry();
    void Execute(const ScriptStatement& statement, TLCDAnimator& animator);
    void AnimatorRemoved(TLCDAnimator& animator) override;

    std::unique_ptr<ILinesRenderer> FRenderer;
    std::unique_ptr<IAnimationTimer> FTimer;
    ILCDHost* FHost = nullptr;

    std::uint32_t FAnimationDelay = 251;
    bool FAnimationEnabled = false;
    bool FAnimationRepeating = false;
    MonoImage FBitmap;
    TBitmapCopyMode FBitmapCopyMode = cmNotTransparent;
    TAnimMode FBitmapAnimMode = amDynamic;
    std::int8_t FBitmapXOffset = 0;
    std::int8_t FBitmapYOffset = 0;
    std::int8_t FBorderSpace = 3;
    TLCDBorder FBorderStyle = bsLowered;
    TColor FColor = clSystemColor | 11; // the inactive-border system colour
    TDisplayMode FDisplayMode = dmText;
    TLCDFont FFont;
    std::int8_t FIntensity = 127;
    TLCDAnimator* FAnimator = nullptr;
    TLCDLines FLines;
    TAnimMode FLinesAnimMode = amDynamic;
    std::int8_t FLinesXOffset = 0;
    std::int8_t FLinesYOffset = 0;
    TPixelSize FPixelSize = pix2x2;
    std::int8_t FPixelWidth = 2;
    std::int8_t FPixelHeight = 2;
    TPixelShape FPixelShape = psSquare;
    std::int8_t FPixelSpacing = 1;
    TColor FPixelOff = RGB(170, 170, 170);
    TSpecialEffects FSpecialEffects;

    int FWidth = 145;
    int FHeight = 65;
    DotGeometry FGeometry;
    ScrollReferences FRefs;
    Display FDisplay;
    MonoImage FLinesImage;
    DotColors FTrueColors{};
    bool FBlinkingStatus = false;
    bool FErrorBoxOpen = false;
};

} // namespace vesmera
