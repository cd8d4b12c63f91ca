#include "app/display_widgets.h"

#include "common/color.h"

namespace vesmera {

namespace {

// The stored configuration of the two LCD screens. Some values assigned equal the property's
// default (border space, display mode and intensity among them); a setter given the value the
// property holds changes nothing. The animation delay is assigned only to the animated screen:
// assigning it sets the timer's interval.
struct StoredScreen {
    const char* name;
    bool animated; // delay 30, animation on and repeating
    int fontHeight;
    TFontPitch fontPitch;
    TFontQuality fontQuality;
    TAnimMode linesAnimMode;
    TPixelSize pixelSize;
    TPixelShape pixelShape;
    std::int8_t pixelSpacing;
    int width;
    int height;
};

constexpr StoredScreen kLCDScreen1{.name = "LCDScreen1",
                                   .animated = true,
                                   .fontHeight = -32,
                                   .fontPitch = fpFixed,
                                   .fontQuality = fqAntialiased,
                                   .linesAnimMode = amDynamic,
                                   .pixelSize = pix3x3,
                                   .pixelShape = psRound,
                                   .pixelSpacing = 0,
                                   .width = 153,
                                   .height = 45};
constexpr StoredScreen kLCDScreen2{.name = "LCDScreen2",
                                   .animated = false,
                                   .fontHeight = -11,
                                   .fontPitch = fpDefault,
                                   .fontQuality = fqDefault,
                                   .linesAnimMode = amStatic,
                                   .pixelSize = pix2x2,
                                   .pixelShape = psSquare,
                                   .pixelSpacing = 1,
                                   .width = 185,
                                   .height = 83};

// Property by property in form-file order.
void ConfigureLCDScreen(TLCDScreen& s, const StoredScreen& stored, TLCDAnimator* animator) {
    s.setObjectName(stored.name);
    if (stored.animated) {
        s.SetAnimationDelay(30);
        s.SetAnimationEnabled(true);
        s.SetAnimationRepeating(true);
    }
    s.SetBitmapAnimMode(amStatic);
    s.SetBorderSpace(3);
    s.SetBorderStyle(bsNone);
    s.SetDisplayMode(dmText);
    TLCDFont font = s.Font();
    font.Name = "Tahoma";
    font.Height = stored.fontHeight;
    font.Pitch = stored.fontPitch;
    font.Quality = stored.fontQuality;
    s.SetFont(font);
    s.SetIntensity(127);
    s.SetLCDAnimator(animator);
    s.SetLinesAnimMode(stored.linesAnimMode);
    s.SetPixelSize(stored.pixelSize);
    s.SetPixelShape(stored.pixelShape);
    s.SetPixelSpacing(stored.pixelSpacing);
    s.SetBounds(0, 0, stored.width, stored.height);
}

void ConfigureIndicator(TZyrelLiquidIndicator& z) {
    z.setObjectName("ZyrelLiquidIndicator1");
    z.SetColorScheme(csPlasma);
    z.SetSignNumber(7);
    z.SetIndicatorKind(ik9segment);
    z.SetOuterBevel(bkDown);
    z.SetBevelColor(clMaroon);
    z.SetBackColor(clBlack);
    z.SetNumberForeColor(clRed);
    z.SetNumberForeColor1(RGB(255, 255, 128));
    z.SetNumberBackColor(clBlack);
    z.SetIndicatorStyle(isThick);
}

} // namespace

DisplayWidgets::DisplayWidgets(QWidget& window)
    : animator(std::make_unique<TLCDAnimator>()), tabControl(new TSTabControl(&window)) {
    tabControl->setGeometry(window.rect());
    animator->SetCode({"[HorzScroll(-1); ]"});
    lcdScreen1 = new TLCDScreen(tabControl);
    lcdScreen2 = new TLCDScreen(tabControl);
    indicator = new TZyrelLiquidIndicator(tabControl);
    ConfigureLCDScreen(*lcdScreen1, kLCDScreen1, animator.get());
    ConfigureLCDScreen(*lcdScreen2, kLCDScreen2, nullptr);
    ConfigureIndicator(*indicator);
    // Windows drew these three without clipping each other; in Qt a sibling above clips the
    // ones below, so the backdrop goes lowest and the message screen above it, leaving the
    // indicator on top.
    lcdScreen2->lower();
    lcdScreen1->stackUnder(indicator);
}

} // namespace vesmera
