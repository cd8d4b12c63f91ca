// How fast the LCD message scrolls in the real program: it should move one dot every 30 ms
// whatever the serial line does. The program runs on a private Xvfb that this process also
// connects to; the window's area is grabbed every few milliseconds, and each change of the
// picture is one step of the message. Reported: the median time between steps.
//
//   build/bin/bench_message_pace                     (about 40 s)
//   VESMERA_BENCH_PROGRAM=<other build's vesmera> build/bin/bench_message_pace

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <benchmark/benchmark.h>

#include "program_harness.h"

namespace {

using namespace std::chrono_literals;
using namespace vesmera::harness;

const XServer* gX = nullptr;

// The far end of the line when no terminal answers: what the program writes is taken and
// dropped, as a cable to nowhere takes it.
class DeadLine {
public:
    DeadLine()
        : thread_([this] {
              while (!stop_)
                  line_.Read(20ms);
          }) {}
    ~DeadLine() {
        stop_ = true;
        thread_.join();
    }
    const std::string& Path() const { return line_.SlavePath(); }

private:
    PtyMaster line_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// A loopback port where nothing listens, so every connect is refused.
std::uint16_t RefusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Arguments: 0 the link is lost (nothing answers), 1 the port cannot be opened, 2 network
// mode while the weight server refuses connections.
void BM_MessageStep(benchmark::State& state) {
    if (!gX) {
        state.SkipWithError("no Xvfb");
        return;
    }
    const bool portMissing = state.range(0) == 1;
    const bool serverRefuses = state.range(0) == 2;
    for (auto _ : state) {
        DeadLine line;
        TempFolder folder;
        folder.CopyExecutable(ProgramUnderTest(VESMERA_EXECUTABLE), "vesmera");
        std::string settings = LocalSettings(portMissing ? "/nonexistent/ttyVesmera" : line.Path());
        if (serverRefuses) {
            const std::string local = "IP=\r\nPort=0\r\nСетевой режим=0";
            settings.replace(settings.find(local), local.size(),
                             "IP=127.0.0.1\r\nPort=" + std::to_string(RefusedPort()) +
                                 "\r\nСетевой режим=1");
        }
        folder.WriteFile("Vesmera.ini", settings);
        folder.WriteFile("ZidOzod.ini", "T1\r\n");
        ChildProcess program(folder.Path() + "/vesmera", {},
                             {"DISPLAY=" + gX->Display(), "QT_QPA_PLATFORM=xcb",
                              "LC_ALL=", "LC_NUMERIC=", "LANG=ru_RU.UTF-8",
                              "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/vesmera-bench"},
                             folder.Path());
        // Eleven failed polls lose the link; a port that never opens also fails the
        // supervision tick at 10 s. Both show a scrolling message by 12 s.
        std::this_thread::sleep_for(12s);
        QScreen* screen = QGuiApplication::primaryScreen();
        std::vector<double> steps;
        QImage last;
        auto lastChange = Clock::now();
        const auto until = Clock::now() + 5s;
        while (Clock::now() < until) {
            const QImage frame = screen->grabWindow(0, 0, 0, 403, 130).toImage();
            const auto now = Clock::now();
            if (!last.isNull() && frame != last) {
                steps.push_back(
                    std::chrono::duration<double, std::milli>(now - lastChange).count());
                lastChange = now;
            } else if (last.isNull()) {
                lastChange = now;
            }
            last = frame;
        }
        if (steps.size() < 10) {
            state.SkipWithError("the message did not move");
            return;
        }
        steps.erase(steps.begin()); // the first change is timed from the first grab
        const double median = Median(steps);
        state.counters["step_median_ms"] = median;
        state.counters["steps_per_s"] = static_cast<double>(steps.size()) / 5.0;
        state.counters["off_30ms_pct"] = 100.0 * (median - 30.0) / 30.0;
        state.SetIterationTime(median / 1000.0);
        if (!program.Running())
            state.SkipWithError("the program ended");
    }
    state.SetLabel(serverRefuses ? "server refuses connections"
                   : portMissing ? "port cannot be opened"
                                 : "link lost");
}
BENCHMARK(BM_MessageStep)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // This process draws nothing; it connects to the program's display only to look at it.
    const std::optional<XServer> x = XServer::Start();
    gX = x ? &*x : nullptr;
    if (gX) {
        setenv("DISPLAY", gX->Display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
