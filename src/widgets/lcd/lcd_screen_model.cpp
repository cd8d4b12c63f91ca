#include "widgets/lcd/lcd_screen_model.h"

#include <algorithm>
#include <cmath>

#include "common/message_box.h"

namespace vesmera {

namespace {

// The border lines are `thickness` pixels wide: one logical pixel at the picture's scale.
void DrawBorder(RgbImage& picture, TLCDBorder style, int thickness) {
    if (style == bsNone || picture.Empty())
        return;
    const auto highlight = RgbImage::FromColor(clBtnHighlight);
    const auto shadow = RgbImage::FromColor(clBtnShadow);
    const auto bottomRight = style == bsLowered ? highlight : shadow;
    const auto topLeft = style == bsLowered ? shadow : highlight;
    const int w = picture.Width(), h = picture.Height(), t = thickness;
    picture.FillRect(w - t, 0, t, h, bottomRight);
    picture.FillRect(0, h - t, w, t, bottomRight);
    picture.FillRect(0, 0, w, t, topLeft);
    picture.FillRect(0, 0, t, h, topLeft);
}

std::int8_t LowByte(std::int32_t value) {
    return static_cast<std::int8_t>(value & 0xFF);
}

} // namespace

TLCDScreenModel::TLCDScreenModel(std::unique_ptr<ILinesRenderer> renderer,
                                 std::unique_ptr<IAnimationTimer> timer)
    : FRenderer(std::move(renderer)), FTimer(std::move(timer)) {
    FLines.SetOnChange([this] { LinesChanged(); });
    FTimer->SetInterval(kInitialTimerInterval);
    FTimer->SetEnabled(false);
    DeriveColors();
    RenderLinesImage();
    RunGeometry();
}

TLCDScreenModel::~TLCDScreenModel() {
    if (FAnimator)
        FAnimator->RemoveClient(*this);
}

void TLCDScreenModel::SetAnimationDelay(std::uint32_t value) {
    if (Store(FAnimationDelay, value))
        FTimer->SetInterval(value);
}

void TLCDScreenModel::SetAnimationEnabled(bool value) {
    if (Store(FAnimationEnabled, value))
        FTimer->SetEnabled(value);
}

void TLCDScreenModel::SetBitmap(const MonoImage& value) {
    FBitmap = value;
    Paint();
}

void TLCDScreenModel::SetFont(const TLCDFont& value) {
    if (Store(FFont, value))
        FontChanged();
}

void TLCDScreenModel::SetFontName(const std::string& name) {
    ChangeFont([&](TLCDFont& f) { f.Name = name; });
}
void TLCDScreenModel::SetFontHeight(int height) {
    ChangeFont([&](TLCDFont& f) { f.Height = height; });
}
void TLCDScreenModel::SetFontSize(int points) {
    ChangeFont([&](TLCDFont& f) { f.SetSize(points); });
}
void TLCDScreenModel::SetFontColor(TColor color) {
    ChangeFont([&](TLCDFont& f) { f.Color = color; });
}
void TLCDScreenModel::SetFontPitch(TFontPitch pitch) {
    ChangeFont([&](TLCDFont& f) { f.Pitch = pitch; });
}
void TLCDScreenModel::SetFontQuality(TFontQuality quality) {
    ChangeFont([&](TLCDFont& f) { f.Quality = quality; });
}

void TLCDScreenModel::ChangeFont(const std::function<void(TLCDFont&)>& change) {
    TLCDFont f = FFont;
    change(f);
    SetFont(f);
}

void TLCDScreenModel::SetIntensity(std::int8_t value) {
    if (Store(FIntensity, value))
        Recolor();
}

void TLCDScreenModel::SetPixelOff(TColor value) {
    if (Store(FPixelOff, value))
        Recolor();
}

void TLCDScreenModel::Recolor() {
    DeriveColors();
    Repaint();
}

void TLCDScreenModel::SetSpecialEffects(TSpecialEffects value) {
    if (!Store(FSpecialEffects, value))
        return;
    RenderLinesImage();
    Repaint();
}

void TLCDScreenModel::SetLCDAnimator(TLCDAnimator* animator) {
    if (animator == FAnimator)
        return;
    if (FAnimator)
        FAnimator->RemoveClient(*this);
    // A warning about an animator whose CodeErrorFound is set belongs to designing a form; this
    // program has no form designer, so it attaches silently.
    FAnimator = animator;
    if (FAnimator)
        FAnimator->AddClient(*this);
}

void TLCDScreenModel::AnimatorRemoved(TLCDAnimator& animator) {
    if (FAnimator == &animator)
        FAnimator = nullptr;
}

void TLCDScreenModel::SetPixelDimension(std::int8_t& field, std::int8_t value) {
    if (value == field || FPixelSize != pixCustom)
        return;
    if (value < 1) {
        ShowErrorBox("Error", "Value must be between 1 and 255.");
        return;
    }
    field = value;
    Repaint();
}

void TLCDScreenModel::SetSize(int width, int height) {
    FWidth = width;
    FHeight = height;
}

void TLCDScreenModel::Reset(TResetMode value) {
    if (value == rmDisplay || value == rmDisplayAndCode) {
        FRefs = {};
        LinesChanged();
    }
    if ((value == rmCode || value == rmDisplayAndCode) && FAnimator)
        FAnimator->SetCurrentLine(0);
}

void TLCDScreenModel::Repaint() {
    if (!FAnimationEnabled)
        Paint();
}

void TLCDScreenModel::Paint() {
    if (FHost)
        FHost->Repaint();
}

void TLCDScreenModel::LinesChanged() {
    ParseLines(FLines.Items(), FDisplay);
    RenderLinesImage();
    Repaint();
}

void TLCDScreenModel::FontChanged() {
    DeriveColors();
    RenderLinesImage();
    Repaint();
}

void TLCDScreenModel::DeriveColors() {
    FTrueColors = DeriveDotColors(FPixelOff, FFont.Color, FIntensity);
}

void TLCDScreenModel::RenderLinesImage() {
    FLinesImage = FRenderer->Render(FDisplay, FFont, FSpecialEffects, FBlinkingStatus);
}

void TLCDScreenModel::RunGeometry() {
    if (FPixelSize != pixCustom) {
        FPixelWidth = static_cast<std::int8_t>(FPixelSize);
        FPixelHeight = static_cast<std::int8_t>(FPixelSize);
    }
    FGeometry =
        ComputeGeometry(FWidth, FHeight, {FPixelWidth, FPixelHeight, FPixelSpacing, FBorderSpace});
    if (FGeometry.Width == FWidth && FGeometry.Height == FHeight)
        return;
    FWidth = FGeometry.Width;
    FHeight = FGeometry.Height;
    if (FHost)
        FHost->SizeSnapped(FWidth, FHeight);
}

RgbImage TLCDScreenModel::Compose(bool enabled, double scale) {
    // Logical pixels to the picture's; at scale 1 every size is its own.
    const auto device = [scale](long long logical) {
        return static_cast<int>(std::llround(logical * scale));
    };
    const auto background = RgbImage::FromColor(FColor);
    RgbImage picture(device(FWidth), device(FHeight), background);
    DrawBorder(picture, FBorderStyle, std::max(device(1), 1));
    if (!enabled)
        return picture;
    const int innerLeft = device(FBorderSpace);
    RgbImage inner(device(FWidth - FBorderSpace) - innerLeft,
                   device(FHeight - FBorderSpace) - innerLeft, background);
    RunGeometry();
    if (FGeometry.HasDots() && !inner.Empty()) {
        const MonoImage frame =
            BuildDotFrame(FGeometry.NbXPixels, FGeometry.NbYPixels, FDisplayMode, FBitmapCopyMode,
                          {&FLinesImage, FLinesXOffset, FLinesYOffset, FLinesAnimMode},
                          {&FBitmap, FBitmapXOffset, FBitmapYOffset, FBitmapAnimMode}, FRefs);
        RenderDots(frame,
                   {FPixelWidth, FPixelHeight, FPixelSpacing, FPixelShape,
                    RgbImage::FromColor(FTrueColors.On), RgbImage::FromColor(FTrueColors.Off),
                    background},
                   inner, scale);
    }
    picture.CopyFrom(inner, 0, 0, inner.Width(), inner.Height(), innerLeft, innerLeft);
    return picture;
}

void TLCDScreenModel::TimerTick() {
    if (!FAnimationEnabled || FErrorBoxOpen)
        return;
    try {
        AnimationTick();
    } catch (const EConvertError& e) {
        // This is where the application's error box for a script comes from. A box that
        // stays open must not be joined by one more every 30 ms, so ticks wait for it.
        FErrorBoxOpen = true;
        ShowErrorBox("Vesmera", e.Message());
        FErrorBoxOpen = false;
    }
}

void TLCDScreenModel::AnimationTick() {
    if (!FAnimator)
        return;
    TLCDAnimator& animator = *FAnimator;
    const int current = animator.CurrentLine();
    // A line outside the code (after a jump below -1 or shorter code) runs as an empty line.
    const std::string line = current >= 0 && current < animator.LineCount()
                                 ? animator.Code()[static_cast<std::size_t>(current)]
                                 : std::string();
    const std::vector<ScriptStatement> statements = ParseScriptLine(line);
    for (const auto& s : statements)
        Execute(s, animator);

    if (animator.OnLineExecuted)
        animator.OnLineExecuted(animator, static_cast<std::uint16_t>(animator.CurrentLine()));
    // A handler may have detached the animator; then only the screen's part of the tick runs.
    if (FAnimator == &animator) {
        if (animator.CurrentLine() == animator.LineCount() - 1) {
            animator.SetCurrentLine(0);
            if (!FAnimationRepeating)
                SetAnimationEnabled(false);
            if (animator.OnEndCode)
                animator.OnEndCode(animator);
        } else {
            animator.SetCurrentLine(animator.CurrentLine() + 1);
        }
    }

    FBlinkingStatus = !FBlinkingStatus;
    if (FSpecialEffects.Has(spBlink) && FDisplayMode != dmBitmap)
        RenderLinesImage();
    Paint();
}

void TLCDScreenModel::Execute(const ScriptStatement& s, TLCDAnimator& animator) {
    if (s.Name == "horzscroll") {
        FRefs.H = AddWrapping(FRefs.H, LowByte(s.Argument));
    } else if (s.Name == "vertscroll") {
        FRefs.V = AddWrapping(FRefs.V, LowByte(s.Argument));
    } else if (s.Name == "setintensity") {
        SetIntensity(LowByte(s.Argument));
    } else if (s.Name == "animationdelay") {
        SetAnimationDelay(static_cast<std::uint32_t>(s.Argument));
    } else if (s.Name == "gotoline") {
        const auto target = static_cast<std::int16_t>(s.Argument & 0xFFFF);
        animator.SetCurrentLine(std::min<int>(target, animator.LineCount()));
    } else if (s.Name == "resetdisplay") {
        Reset(rmDisplay);
    }
}

} // namespace vesmera
