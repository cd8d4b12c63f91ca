// Time to show the settings dialog (the showing steps and the first paint-ready show) on
// Qt's offscreen platform, against a temporary executable directory.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>
#include <fstream>

#include "app/file_system.h"
#include "app/settings_store.h"
#include "app/terminal_list.h"
#include "app/tform2.h"

using namespace vesmera;

static void BM_ShowSettingsDialog(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "vesmera-bench-dialog";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "ZidOzod.ini", std::ios::binary) << "Весы 1\r\nВесы 2\r\nВесы 3\r\n";
    const std::string d = dir.string() + "/";
    SettingsStore store([d] { return d; }, RealFileSystem());
    HeldSettings held = store.Load();
    TerminalListFile list;
    TForm2Deps deps{&held, &store, &list, [] {}, [] {}, [] { return std::vector<std::string>{}; }};
    TForm2 dialog(deps);
    for (auto _ : state) {
        dialog.show();
        QApplication::processEvents();
        dialog.hide();
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ShowSettingsDialog)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
