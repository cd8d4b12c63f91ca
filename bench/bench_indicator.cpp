// Rebuild and repaint of the segment indicator at 403 x 107, against Qt's own QLCDNumber
// painting seven digits at the same size onto the same kind of picture.
#include <memory>

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QLCDNumber>
#include <benchmark/benchmark.h>

#include "widgets/indicator/zyrel_liquid_indicator.h"

namespace {

using namespace vesmera;

constexpr int kWidth = 403;
constexpr int kHeight = 107;

enum class Look { Plain, MainWindow, TiledMaterial };

struct Stage {
    explicit Stage(Look look) {
        parent.resize(kWidth + 20, kHeight + 20);
        parent.show();
        indicator = new TZyrelLiquidIndicator(&parent);
        indicator->show();
        indicator->SetColorScheme(csPlasma);
        indicator->SetSignNumber(7);
        indicator->SetIndicatorKind(ik9segment);
        indicator->SetOuterBevel(look == Look::Plain ? bkNone : bkDown);
        indicator->SetInnerBevel(look == Look::Plain ? bkNone : bkDown);
        // Without bevels a wider gap keeps the cells where the bevels would leave them, so
        // that only the bevels differ.
        indicator->SetIndicatorGap(look == Look::Plain ? 6 : 2);
        indicator->SetBevelColor(clMaroon);
        indicator->SetBackColor(clBlack);
        indicator->SetNumberForeColor(clRed);
        indicator->SetNumberForeColor1(RGB(255, 255, 128));
        indicator->SetNumberBackColor(clBlack);
        indicator->SetIndicatorStyle(isThick);
        if (look == Look::TiledMaterial) {
            QImage tile(16, 16, QImage::Format_RGB32);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    tile.setPixel(x, y, qRgb(x * 16, y * 16, 128));
            indicator->SetMaterialMode(mmTile);
            indicator->SetBackMaterial(tile);
        }
        indicator->Loaded();
        indicator->setGeometry(0, 0, kWidth, kHeight);
        indicator->SetIndicatorstring("1234,56");
        QCoreApplication::sendPostedEvents();
    }
    QWidget parent;
    TZyrelLiquidIndicator* indicator = nullptr;
};

// Each write of a new digit colour is one rebuild of the cached picture.
void Rebuild(benchmark::State& state, Look look) {
    Stage stage(look);
    bool flip = false;
    for (auto _ : state) {
        stage.indicator->SetNumberForeColor(flip ? clRed : clLime);
        flip = !flip;
        benchmark::DoNotOptimize(stage.indicator->CanvasBitmap().constBits());
    }
}

void BM_IndicatorRebuild(benchmark::State& state) {
    Rebuild(state, Look::Plain);
}
void BM_IndicatorRebuildMainWindow(benchmark::State& state) {
    Rebuild(state, Look::MainWindow);
}
void BM_IndicatorRebuildTiledMaterial(benchmark::State& state) {
    Rebuild(state, Look::TiledMaterial);
}

void BM_IndicatorRepaint(benchmark::State& state) {
    Stage stage(Look::MainWindow);
    QImage target(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        stage.indicator->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}

void BM_QLCDNumberPaint(benchmark::State& state) {
    QWidget parent;
    parent.resize(kWidth + 20, kHeight + 20);
    parent.show();
    auto* lcd = new QLCDNumber(7, &parent);
    lcd->setSegmentStyle(QLCDNumber::Filled);
    lcd->setGeometry(0, 0, kWidth, kHeight);
    lcd->display(QStringLiteral("1234.56"));
    lcd->show();
    QCoreApplication::sendPostedEvents();
    QImage target(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        lcd->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}

BENCHMARK(BM_IndicatorRebuild);
BENCHMARK(BM_IndicatorRebuildMainWindow);
BENCHMARK(BM_IndicatorRebuildTiledMaterial);
BENCHMARK(BM_IndicatorRepaint);
BENCHMARK(BM_QLCDNumberPaint);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
