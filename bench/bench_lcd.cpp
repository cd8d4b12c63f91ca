#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>

#include "widgets/lcd/lcd_screen.h"
#include "widgets/lcd/qt_lines_renderer.h"

namespace {

using namespace vesmera;

constexpr const char* kMessage = "С терминалом нет связи";

// LCDScreen1 as the main window sets it up, 402 x 126 with 132 x 40 round 3 x 3 dots.
void ConfigureMessageScreen(TLCDScreen& s, TLCDAnimator& animator) {
    animator.SetCode({"[HorzScroll(-1); ]"});
    s.SetLCDAnimator(&animator);
    s.SetAnimationDelay(30);
    s.SetAnimationRepeating(true);
    s.SetBorderStyle(bsNone);
    s.SetPixelSize(pix3x3);
    s.SetPixelShape(psRound);
    s.SetPixelSpacing(0);
    s.SetColor(clBlack);
    s.SetPixelOff(clBlack);
    s.SetFont(MessageScreenFont(clRed));
    s.SetBounds(0, 0, 402, 126);
    s.SetText(kMessage);
}

struct MessageScreen {
    MessageScreen() { ConfigureMessageScreen(screen, animator); }
    TLCDAnimator animator;
    TLCDScreen screen;
};

// The composition of one paint: background, dot frame with wrap-around, dot cells.
void BM_ComposeMessageScreen(benchmark::State& state) {
    MessageScreen m;
    for (auto _ : state)
        benchmark::DoNotOptimize(m.screen.Compose(true).Data());
}
BENCHMARK(BM_ComposeMessageScreen)->Unit(benchmark::kMicrosecond);

// One whole paint as the widget does it: compose, wrap, copy onto the window's surface.
void BM_PaintMessageScreen(benchmark::State& state) {
    MessageScreen m;
    QImage surface(402, 126, QImage::Format_RGB32);
    for (auto _ : state) {
        m.screen.render(&surface);
        benchmark::DoNotOptimize(surface.constBits());
    }
}
BENCHMARK(BM_PaintMessageScreen)->Unit(benchmark::kMicrosecond);

// One animation tick of the script line with its composition.
void BM_AnimationTick(benchmark::State& state) {
    MessageScreen m;
    m.screen.SetAnimationEnabled(true);
    for (auto _ : state) {
        m.screen.AnimationTick();
        benchmark::DoNotOptimize(m.screen.Compose(true).Data());
    }
}
BENCHMARK(BM_AnimationTick)->Unit(benchmark::kMicrosecond);

// Rendering the lines picture of the message with the 32-pixel Tahoma.
void BM_RenderLinesImage(benchmark::State& state) {
    vesmera::Display display;
    ParseLines({kMessage}, display);
    QtLinesRenderer renderer;
    const TLCDFont font = MessageScreenFont(clRed);
    for (auto _ : state) {
        MonoImage image = renderer.Render(display, font, {}, false);
        benchmark::DoNotOptimize(image.Row(0));
    }
}
BENCHMARK(BM_RenderLinesImage)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
