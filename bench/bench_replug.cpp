// How soon the real weight server reads a re-plugged terminal again: vesmera-server on a
// simulated terminal whose device is a link in a folder of its own, the way udev makes
// /dev/serial/by-id/ names. Each round pulls the device out (the link goes, the pseudo-terminal
// closes), waits half a second and a random part of a poll period (so that the plug falls at
// every phase of the server's 100 ms poll timer), gives the terminal a new weight and plugs it
// in again (a new pseudo-terminal under the same link), then times from the moment the link is
// back to the first answer of the server that carries the new weight, asking every millisecond
// over the line protocol. The floor is one poll's reply delay (100 ms); before the device was
// watched, the wait was for the next 10 s supervision tick.
//
//   build/bin/bench_replug          (20 re-plugs, about 15 s)

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_process.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kReplugs = 20;

// The weight line of one poll on a connected socket.
std::string Weight(int fd, const std::string& name) {
    const std::string request = name + "\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
        return {};
    std::string reply;
    char c = 0;
    for (int lines = 0; lines < 2 && ::recv(fd, &c, 1, 0) == 1;) {
        reply += c;
        lines += c == '\n';
    }
    return reply.substr(0, reply.find('\r'));
}

void BM_ReplugToFirstPoll(benchmark::State& state) {
    char pattern[] = "/tmp/vesmera-replug-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    const std::string link = (dir / "by-id" / "usb-Scale-if00-port0").string();
    std::filesystem::create_directories(dir / "by-id");
    bench::Child sim({VESMERA_TERMINAL_SIM, "--weight", "1", "--link", link});
    sim.Line(); // the device, linked
    const std::string ini = (dir / "vesmera-server.ini").string();
    std::ofstream(ini) << "[Server]\nListen=127.0.0.1:0\n[Весы]\nПорт=" << link << "\n";
    bench::Child server({VESMERA_SERVER_BIN, "--config", ini});
    const std::string listening = server.Line();
    const auto port =
        static_cast<std::uint16_t>(std::stoi(listening.substr(listening.rfind(':') + 1)));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = bench::Loopback(port);
    const timeval cap{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &cap, sizeof cap);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        state.SkipWithError("cannot connect to the server");
        return;
    }
    while (Weight(fd, "Весы") != "1")
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    std::vector<double> ms;
    std::mt19937 random(29);
    std::uniform_int_distribution<int> phase(0, 99);
    for (auto _ : state) {
        ms.clear();
        for (int round = 0; round < kReplugs; ++round) {
            const std::string weight = std::to_string(100 + round);
            sim.Input("vanish");
            std::this_thread::sleep_for(std::chrono::milliseconds(500 + phase(random)));
            sim.Input("weight " + weight);
            // The simulator prints the new device once the link points at it again.
            sim.Input("back");
            sim.Line();
            const auto back = Clock::now();
            while (Weight(fd, "Весы") != weight) {
                if (Clock::now() - back > std::chrono::seconds(15)) {
                    state.SkipWithError("the server did not read the terminal again");
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - back).count());
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = (ms[kReplugs / 2 - 1] + ms[kReplugs / 2]) / 2;
    state.counters["worst_ms"] = ms.back();
    state.counters["best_ms"] = ms.front();
    ::close(fd);
    std::filesystem::remove_all(dir);
}

BENCHMARK(BM_ReplugToFirstPoll)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
