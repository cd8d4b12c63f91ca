// Figures of the real program (build/bin/vesmera) running under a private Xvfb against a
// pseudo-terminal answered by the terminal simulator's protocol code: time from start to the
// first request, request spacing per protocol, resident memory after a minute, and CPU load
// with the indicator shown and with the link-lost message scrolling.
//
//   build/bin/bench_program                      (about two minutes)
//   build/bin/bench_program --benchmark_filter=Spacing
//   VESMERA_BENCH_PROGRAM=<other build's vesmera> build/bin/bench_program   (the same for it)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "program_harness.h"
#include "terminal-sim/sim_terminal.h"

namespace {

using namespace std::chrono_literals;
using namespace vesmera;
using namespace vesmera::harness;

// One program run: its own folder and settings, a pty, and the simulator behind the pty.
class ProgramRun {
public:
    ProgramRun(const XServer& x, SimProtocol protocol, bool silent) : terminal_(protocol, 1) {
        terminal_.SetWeight(*ParseSimWeight("12.5"));
        terminal_.SetStable(true);
        terminal_.SetSilent(silent);
        folder_.CopyExecutable(ProgramUnderTest(VESMERA_EXECUTABLE), "vesmera");
        folder_.WriteFile(
            "Vesmera.ini",
            LocalSettings(line_.SlavePath(), protocol == SimProtocol::Vorlen ? "Ворлен" : "6.43"));
        started_ = Clock::now();
        program_.emplace(folder_.Path() + "/vesmera", std::vector<std::string>{},
                         std::vector<std::string>{
                             "DISPLAY=" + x.Display(), "QT_QPA_PLATFORM=xcb",
                             "LC_ALL=", "LC_NUMERIC=", "LANG=ru_RU.UTF-8",
                             "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/vesmera-bench"},
                         folder_.Path());
    }

    // Answers the line until `until`, or until `enough` weight requests have been served.
    void Serve(Clock::time_point until, int enough = 1 << 30) {
        while (Clock::now() < until && terminal_.WeightRequests() < enough) {
            const std::string bytes = line_.Read(5ms);
            if (bytes.empty()) {
                continue;
            }
            if (!firstByte_) {
                firstByte_ = Clock::now();
            }
            const int before = terminal_.WeightRequests();
            const std::string reply = terminal_.Receive(bytes);
            if (terminal_.WeightRequests() != before) {
                requestTimes_.push_back(Clock::now());
            }
            if (!reply.empty()) {
                line_.Write(reply);
            }
        }
    }

    std::optional<double> StartToFirstByteMs() const {
        if (!firstByte_) {
            return std::nullopt;
        }
        return std::chrono::duration<double, std::milli>(*firstByte_ - started_).count();
    }
    double MedianSpacingMs() const {
        std::vector<double> gaps;
        for (std::size_t i = 1; i < requestTimes_.size(); ++i) {
            gaps.push_back(
                std::chrono::duration<double, std::milli>(requestTimes_[i] - requestTimes_[i - 1])
                    .count());
        }
        if (gaps.empty()) {
            return 0;
        }
        std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
        return gaps[gaps.size() / 2];
    }
    int Pid() const { return program_->Pid(); }

private:
    PtyMaster line_;
    TempFolder folder_;
    SimTerminal terminal_;
    Clock::time_point started_;
    std::optional<Clock::time_point> firstByte_;
    std::vector<Clock::time_point> requestTimes_;
    std::optional<ChildProcess> program_;
};

// Each benchmark runs the program on a private X server of its own.
std::optional<XServer> StartX(benchmark::State& state) {
    auto x = XServer::Start();
    if (!x) {
        state.SkipWithError("no Xvfb");
    }
    return x;
}

double CpuPercent(int pid, std::chrono::seconds span, ProgramRun& run) {
    const long before = CpuTicks(pid);
    run.Serve(Clock::now() + span);
    const long ticks = CpuTicks(pid) - before;
    return 100.0 * static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK)) /
           static_cast<double>(span.count());
}

void BM_StartToFirstRequest(benchmark::State& state) {
    const auto x = StartX(state);
    if (!x) {
        return;
    }
    for (auto _ : state) {
        ProgramRun run(*x, SimProtocol::Vorlen, false);
        run.Serve(Clock::now() + 10s, 1);
        const auto ms = run.StartToFirstByteMs();
        if (!ms) {
            state.SkipWithError("no request within 10 s");
            return;
        }
        state.SetIterationTime(*ms / 1000.0);
    }
}
BENCHMARK(BM_StartToFirstRequest)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

void BM_RequestSpacing(benchmark::State& state) {
    const auto x = StartX(state);
    if (!x) {
        return;
    }
    const auto protocol = state.range(0) == 0 ? SimProtocol::Vorlen : SimProtocol::P643;
    for (auto _ : state) {
        ProgramRun run(*x, protocol, false);
        run.Serve(Clock::now() + 5s);
        const double median = run.MedianSpacingMs();
        state.SetIterationTime(median / 1000.0);
        state.counters["spacing_ms"] = median;
    }
    state.SetLabel(protocol == SimProtocol::Vorlen ? "Ворлен, delay 100 ms" : "6.43, delay 100 ms");
}
BENCHMARK(BM_RequestSpacing)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// One minute with a stable weight: CPU over its second half, resident memory at its end.
void BM_StableMinute(benchmark::State& state) {
    const auto x = StartX(state);
    if (!x) {
        return;
    }
    for (auto _ : state) {
        ProgramRun run(*x, SimProtocol::Vorlen, false);
        run.Serve(Clock::now() + 30s);
        state.counters["cpu_pct_stable"] = CpuPercent(run.Pid(), 30s, run);
        state.counters["rss_MB_after_1min"] =
            static_cast<double>(ResidentKilobytes(run.Pid())) / 1024.0;
    }
}
BENCHMARK(BM_StableMinute)->Iterations(1)->Unit(benchmark::kSecond);

// A silent terminal: after eleven failed polls "С терминалом нет связи" scrolls every 30 ms.
void BM_ScrollingMessage(benchmark::State& state) {
    const auto x = StartX(state);
    if (!x) {
        return;
    }
    for (auto _ : state) {
        ProgramRun run(*x, SimProtocol::Vorlen, true);
        run.Serve(Clock::now() + 5s);
        state.counters["cpu_pct_scrolling"] = CpuPercent(run.Pid(), 30s, run);
    }
}
BENCHMARK(BM_ScrollingMessage)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
