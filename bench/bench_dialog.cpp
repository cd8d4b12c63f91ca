// Time to show the settings dialog (the showing steps and the show until its events are
// processed) on Qt's offscreen platform, against a temporary executable directory. The dialog
// is made once, as the program makes it at start; each repetition times one showing, so the
// median aggregate is the median of 20 showings. Beside it, the save of "Применить" on the same
// disk: the twelve keys in one replacement of the file, against the baseline of one replacement
// per key.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/settings_store.h"
#include "app/terminal_list.h"
#include "app/tform2.h"
#include "settings/file_system.h"

using namespace vesmera;

namespace {

struct Setup {
    std::filesystem::path dir;
    std::unique_ptr<SettingsStore> store;
    HeldSettings held;
    TerminalListFile list;
    std::unique_ptr<TForm2> dialog;
};

Setup* setup = nullptr;

void BM_ShowSettingsDialog(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        setup->dialog->show();
        QApplication::processEvents();
        const auto shown = std::chrono::steady_clock::now();
        setup->dialog->hide();
        QApplication::processEvents();
        state.SetIterationTime(std::chrono::duration<double>(shown - start).count());
    }
}
BENCHMARK(BM_ShowSettingsDialog)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true);

const SettingsTexts kTexts{"Com3",    "9600",    "4",          "200",  "Нет", "clRed",
                           "clGreen", "clBlack", "192.0.2.10", "5000", true,  "6.43"};

void BM_SaveAllKeysOnce(benchmark::State& state) {
    for (auto _ : state)
        setup->store->SaveAll(kTexts);
}
BENCHMARK(BM_SaveAllKeysOnce)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

// The baseline: twelve replacements of one key each, as many as there are keys.
void BM_SaveKeyByKey(benchmark::State& state) {
    for (auto _ : state)
        for (int key = 0; key < 12; ++key)
            setup->store->SaveSkin("Нет");
}
BENCHMARK(BM_SaveKeyByKey)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Setup s;
    s.dir = std::filesystem::temp_directory_path() /
            ("vesmera-bench-dialog-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(s.dir);
    std::ofstream(s.dir / "ZidOzod.ini", std::ios::binary) << "Весы 1\r\nВесы 2\r\nВесы 3\r\n";
    const std::string d = s.dir.string() + "/";
    s.store = std::make_unique<SettingsStore>([d] { return d; }, RealFileSystem());
    s.held = s.store->Load();
    s.dialog = std::make_unique<TForm2>(TForm2Deps{&s.held, s.store.get(), &s.list, [] {}, [] {},
                                                   [] { return std::vector<std::string>{}; }});
    setup = &s;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    s.dialog.reset();
    std::filesystem::remove_all(s.dir);
    return 0;
}
