// vesmera-server under many clients, beside a minimal line-echo server in the same harness.
//
// Honest load: 1000 connections, each sending one poll every 100 ms (10,000 requests a second),
// phases spread evenly; a client whose reply is still out skips its tick. Latency is from the
// send to the last byte of the reply, counted after one second of warm-up. The server's CPU
// (user + system, % of one core) and resident memory come from /proc for the measured window.
//   Clean:   vesmera-server on two simulated terminals, then the echo server (one process that
//            writes every line back); the ratios are vesmera / echo of the same repetition.
//   Hostile: the same honest load on vesmera-server with 50 hostile clients alongside: 17 send
//            one byte a second, 17 send a 1 MiB line once a second (reconnecting when cut),
//            16 connect and vanish ten times a second (reset at once).
//   Accepts: 32 clients in turn connect, poll once, read the reply and reset, for 2 s.
//   ZeroFlood: the honest load alone, then beside 4 connections that send zero requests for
//            names the server does not know, 16 KiB of them (about 900) per connection every
//            10 ms, some 360,000 a second; the server's log goes to a file, and log_lines
//            counts its lines for the whole run.
//   StoppedLogReader: the same, with the server's standard error a pipe that is full before
//            the server starts and never read.
//   The rule for the hostile kinds: honest p99 within 20 % or 0.5 ms of the clean run of the
//   same repetition, whichever is larger (p99_within = 1), and under 100 log lines.
//
//   build/bin/bench_server                      (BENCH_SERVER_SECONDS=10 by default; each
//                                                repetition runs about three such windows)
//   build/bin/bench_server --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <queue>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_process.h"

extern char** environ;

namespace {

using bench::Child;
using bench::CpuMs;
using bench::RssMb;

using Clock = std::chrono::steady_clock;

constexpr int kHonestClients = 1000;
constexpr int kPeriodMs = 100;
constexpr int kWarmUpMs = 1000;

int Seconds() {
    const char* text = std::getenv("BENCH_SERVER_SECONDS");
    return text ? std::max(2, std::atoi(text)) : 10;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

int ConnectTo(std::uint16_t port, bool blocking) {
    const int fd =
        ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Closes with a reset, so the client side keeps no TIME_WAIT entry.
void Reset(int fd) {
    const linger now{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    ::close(fd);
}

// The minimal server of the comparison: one epoll loop that writes every line back.
[[noreturn]] void EchoServe(int listener) {
    const int ep = ::epoll_create1(0);
    epoll_event ev{EPOLLIN, {.fd = listener}};
    ::epoll_ctl(ep, EPOLL_CTL_ADD, listener, &ev);
    std::vector<std::string> pending(65536);
    epoll_event events[256];
    for (;;) {
        const int n = ::epoll_wait(ep, events, 256, -1);
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listener) {
                for (int c; (c = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
                    epoll_event cev{EPOLLIN, {.fd = c}};
                    ::epoll_ctl(ep, EPOLL_CTL_ADD, c, &cev);
                }
                continue;
            }
            char buffer[16384];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                pending[fd].clear();
                ::close(fd);
                continue;
            }
            std::string& in = pending[fd];
            in.append(buffer, static_cast<std::size_t>(got));
            const auto end = in.rfind('\n');
            if (end != std::string::npos) {
                ::send(fd, in.data(), end + 1, MSG_NOSIGNAL);
                in.erase(0, end + 1);
            }
        }
    }
}

// The echo server in a child process of its own, so that its CPU and memory are its own.
std::unique_ptr<Child> StartEcho(std::uint16_t& port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, SOMAXCONN);
    socklen_t length = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
    const pid_t pid = ::fork();
    if (pid == 0)
        EchoServe(listener);
    ::close(listener);
    return std::make_unique<Child>(pid);
}

// vesmera-server on two simulated terminals, in a folder of its own.
struct VesmeraSetup {
    // The server's standard error goes to serverErr when one is given.
    explicit VesmeraSetup(int serverErr = -1) {
        char pattern[] = "/tmp/vesmera-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        vorlen = std::make_unique<Child>(
            std::vector<std::string>{VESMERA_TERMINAL_SIM, "--weight", "1234.56"});
        p643 = std::make_unique<Child>(std::vector<std::string>{
            VESMERA_TERMINAL_SIM, "--protocol", "643", "--weight", "12.5", "--unstable"});
        const std::string config = dir + "/vesmera-server.ini";
        std::ofstream(config) << "[Server]\nListen=127.0.0.1:0\nMaxClients=4096\n[Весы 1]\nПорт="
                              << vorlen->Line() << "\n[Весы 2]\nПорт=" << p643->Line()
                              << "\nПротокол=6.43\n";
        server = std::make_unique<Child>(
            std::vector<std::string>{VESMERA_SERVER_BIN, "--config", config}, serverErr);
        const std::string listening = server->Line();
        port = static_cast<std::uint16_t>(
            std::atoi(listening.substr(listening.rfind(':') + 1).c_str()));
    }
    ~VesmeraSetup() {
        server.reset();
        vorlen.reset();
        p643.reset();
        std::remove((dir + "/vesmera-server.ini").c_str());
        ::rmdir(dir.c_str());
    }
    std::string dir;
    std::unique_ptr<Child> vorlen, p643, server;
    std::uint16_t port = 0;
};

struct LoadResult {
    double p50 = 0, p99 = 0, cpuPercent = 0, rssMb = 0;
    long sent = 0, answered = 0, skipped = 0;
};

double Percentile(std::vector<double>& values, double q) {
    if (values.empty())
        return 0;
    const auto k = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(k), values.end());
    return values[k];
}

// The honest clients against one server for `seconds`; lines per reply: 2 for a poll, 1 for
// the echo.
LoadResult HonestLoad(std::uint16_t port, pid_t server, int replyLines, int seconds) {
    struct Client {
        int fd = -1;
        std::string request;
        Clock::time_point sentAt;
        bool waiting = false;
        int lines = 0;
    };
    std::vector<Client> clients(kHonestClients);
    const int ep = ::epoll_create1(0);
    for (int i = 0; i < kHonestClients; ++i) {
        clients[i].fd = ConnectTo(port, true);
        clients[i].request = i % 2 ? "Весы 2\r\n" : "Весы 1\r\n";
        ::fcntl(clients[i].fd, F_SETFL, O_NONBLOCK);
        epoll_event ev{EPOLLIN, {.u32 = static_cast<std::uint32_t>(i)}};
        ::epoll_ctl(ep, EPOLL_CTL_ADD, clients[i].fd, &ev);
    }
    using Due = std::pair<Clock::time_point, int>;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> due;
    const auto start = Clock::now();
    for (int i = 0; i < kHonestClients; ++i)
        due.emplace(start + std::chrono::microseconds(kPeriodMs * 1000L * i / kHonestClients), i);
    const auto measureFrom = start + std::chrono::milliseconds(kWarmUpMs);
    const auto end = measureFrom + std::chrono::seconds(seconds);
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(seconds) * 11000);
    LoadResult r;
    double cpuFrom = -1;
    epoll_event events[512];
    char buffer[4096];
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        if (cpuFrom < 0 && now >= measureFrom)
            cpuFrom = CpuMs(server);
        const int wait = std::max(0, static_cast<int>(Ms(due.top().first - now)));
        const int n = ::epoll_wait(ep, events, 512, wait);
        const auto at = Clock::now();
        for (int e = 0; e < n; ++e) {
            Client& c = clients[events[e].data.u32];
            const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, 0);
            for (ssize_t b = 0; b < got; ++b)
                if (buffer[b] == '\n' && ++c.lines == replyLines) {
                    c.lines = 0;
                    c.waiting = false;
                    ++r.answered;
                    if (c.sentAt >= measureFrom)
                        latencies.push_back(Ms(at - c.sentAt));
                }
        }
        while (!due.empty() && due.top().first <= at) {
            auto [when, i] = due.top();
            due.pop();
            Client& c = clients[i];
            if (c.waiting) {
                ++r.skipped;
            } else {
                c.waiting = true;
                c.sentAt = Clock::now();
                ::send(c.fd, c.request.data(), c.request.size(), MSG_NOSIGNAL);
                ++r.sent;
            }
            due.emplace(when + std::chrono::milliseconds(kPeriodMs), i);
        }
    }
    r.cpuPercent = (CpuMs(server) - cpuFrom) / (10.0 * seconds);
    r.rssMb = RssMb(server);
    for (auto& c : clients)
        ::close(c.fd);
    ::close(ep);
    r.p50 = Percentile(latencies, 0.50);
    r.p99 = Percentile(latencies, 0.99);
    return r;
}

// The 50 hostile clients, on a thread of their own until `stop`.
void HostileLoad(std::uint16_t port, const std::atomic<bool>& stop) {
    constexpr int kSlow = 17, kHuge = 17, kVanish = 16;
    constexpr std::size_t kHugeLine = 1 << 20;
    std::vector<int> slow(kSlow);
    for (int& fd : slow)
        fd = ConnectTo(port, false);
    struct Huge {
        int fd = -1;
        std::size_t sent = 0;
        Clock::time_point next;
    };
    std::vector<Huge> huge(kHuge);
    const std::string chunk(65536, 'x');
    auto lastSlow = Clock::now();
    auto lastVanish = Clock::now();
    while (!stop) {
        const auto now = Clock::now();
        if (now - lastSlow >= std::chrono::seconds(1)) {
            lastSlow = now;
            for (int fd : slow)
                ::send(fd, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        for (auto& h : huge) {
            if (h.fd < 0 && now >= h.next) {
                h.fd = ConnectTo(port, false);
                h.sent = 0;
                h.next = now + std::chrono::seconds(1);
            }
            if (h.fd < 0)
                continue;
            const ssize_t n = ::send(h.fd, chunk.data(), std::min(chunk.size(), kHugeLine - h.sent),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                h.sent += static_cast<std::size_t>(n);
            if ((n < 0 && errno != EAGAIN && errno != EINPROGRESS && errno != ENOTCONN) ||
                h.sent >= kHugeLine) {
                Reset(h.fd);
                h.fd = -1;
            }
        }
        if (now - lastVanish >= std::chrono::milliseconds(100)) {
            lastVanish = now;
            for (int i = 0; i < kVanish; ++i)
                if (const int fd = ConnectTo(port, false); fd >= 0)
                    Reset(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (int fd : slow)
        ::close(fd);
    for (auto& h : huge)
        if (h.fd >= 0)
            ::close(h.fd);
}

// Zero requests for unknown names on 4 connections, a 16 KiB chunk on each every 10 ms, on a
// thread of their own until `stop`.
void ZeroFlood(std::uint16_t port, const std::atomic<bool>& stop) {
    constexpr int kConnections = 4;
    std::string chunk;
    for (int i = 0; chunk.size() < 16384; ++i)
        chunk += "SetNullnobody " + std::to_string(i % 1000) + "\n";
    std::vector<pollfd> fds;
    for (int i = 0; i < kConnections; ++i)
        fds.push_back(pollfd{ConnectTo(port, false), POLLOUT, 0});
    ::poll(fds.data(), fds.size(), 1000); // connected
    std::vector<std::size_t> offset(kConnections, 0);
    auto next = Clock::now();
    while (!stop) {
        next += std::chrono::milliseconds(10);
        for (int i = 0; i < kConnections; ++i) {
            // A whole chunk each time, so every connection sends the same rate.
            for (std::size_t sent = 0; sent < chunk.size() && !stop;) {
                const ssize_t n = ::send(fds[i].fd, chunk.data() + offset[i],
                                         chunk.size() - offset[i], MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n <= 0) {
                    pollfd one{fds[i].fd, POLLOUT, 0};
                    ::poll(&one, 1, 10);
                    continue;
                }
                sent += static_cast<std::size_t>(n);
                offset[i] = (offset[i] + static_cast<std::size_t>(n)) % chunk.size();
            }
        }
        std::this_thread::sleep_until(next);
    }
    for (auto& p : fds)
        ::close(p.fd);
}

// Lines in a file.
long Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::count(std::istreambuf_iterator<char>(in), {}, '\n');
}

// Connections that connect, poll once, read the reply and reset, 32 at a time, per second.
double AcceptsPerSecond(std::uint16_t port, int replyLines) {
    constexpr int kParallel = 32;
    const auto end = Clock::now() + std::chrono::seconds(2);
    const auto start = Clock::now();
    long done = 0;
    std::vector<pollfd> fds(kParallel, pollfd{-1, POLLIN, 0});
    std::vector<int> lines(kParallel, 0);
    const std::string request = "Весы 1\r\n";
    char buffer[256];
    while (Clock::now() < end) {
        for (int i = 0; i < kParallel; ++i)
            if (fds[i].fd < 0) {
                fds[i].fd = ConnectTo(port, true);
                lines[i] = 0;
                ::send(fds[i].fd, request.data(), request.size(), MSG_NOSIGNAL);
            }
        if (::poll(fds.data(), fds.size(), 100) <= 0)
            continue;
        for (int i = 0; i < kParallel; ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            const ssize_t got = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
            for (ssize_t b = 0; b < got; ++b)
                lines[i] += buffer[b] == '\n';
            if (got <= 0 || lines[i] >= replyLines) {
                done += got > 0;
                Reset(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    for (auto& p : fds)
        if (p.fd >= 0)
            ::close(p.fd);
    return static_cast<double>(done) / std::chrono::duration<double>(Clock::now() - start).count();
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

void Report(benchmark::State& state, const char* prefix, const LoadResult& r) {
    const std::string p(prefix);
    state.counters[p + "p50_ms"] = r.p50;
    state.counters[p + "p99_ms"] = r.p99;
    state.counters[p + "cpu_pct"] = r.cpuPercent;
    state.counters[p + "rss_MB"] = r.rssMb;
    state.counters[p + "skipped"] = static_cast<double>(r.skipped);
}

void BM_ServerCleanVsEcho(benchmark::State& state) {
    RaiseDescriptorLimit();
    const int seconds = Seconds();
    for (auto _ : state) {
        LoadResult server, echo;
        double serverAccepts = 0, echoAccepts = 0;
        {
            VesmeraSetup setup;
            server = HonestLoad(setup.port, setup.server->Pid(), 2, seconds);
            serverAccepts = AcceptsPerSecond(setup.port, 2);
        }
        {
            std::uint16_t port = 0;
            auto child = StartEcho(port);
            echo = HonestLoad(port, child->Pid(), 1, seconds);
            echoAccepts = AcceptsPerSecond(port, 1);
        }
        Report(state, "", server);
        Report(state, "echo_", echo);
        state.counters["accepts_per_s"] = serverAccepts;
        state.counters["echo_accepts_per_s"] = echoAccepts;
        state.counters["ratio_p50"] = server.p50 / echo.p50;
        state.counters["ratio_p99"] = server.p99 / echo.p99;
        state.counters["ratio_cpu"] = server.cpuPercent / echo.cpuPercent;
        state.counters["ratio_rss"] = server.rssMb / echo.rssMb;
        state.counters["ratio_accepts"] = serverAccepts / echoAccepts;
        state.SetIterationTime(1);
    }
}
BENCHMARK(BM_ServerCleanVsEcho)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The honest load alone, then beside `attack` (on a thread until it is told to stop), on one
// server; both runs reported under their prefixes, with the rule: the attacked p99 within
// 20 % or 0.5 ms of the clean one, whichever is larger.
void CleanThenAttacked(benchmark::State& state, VesmeraSetup& setup,
                       void (*attack)(std::uint16_t, const std::atomic<bool>&),
                       const char* prefix) {
    const int seconds = Seconds();
    const LoadResult clean = HonestLoad(setup.port, setup.server->Pid(), 2, seconds);
    std::atomic<bool> stop = false;
    std::thread hostile(attack, setup.port, std::cref(stop));
    const LoadResult attacked = HonestLoad(setup.port, setup.server->Pid(), 2, seconds);
    stop = true;
    hostile.join();
    Report(state, "clean_", clean);
    Report(state, prefix, attacked);
    const double allowed = std::max(clean.p99 * 0.2, 0.5);
    state.counters["p99_growth_ms"] = attacked.p99 - clean.p99;
    state.counters["p99_within"] = attacked.p99 - clean.p99 <= allowed ? 1 : 0;
    state.counters["answered_ratio"] =
        attacked.sent > 0 ? static_cast<double>(attacked.answered) / attacked.sent : 0;
}

void BM_ServerHostile(benchmark::State& state) {
    RaiseDescriptorLimit();
    for (auto _ : state) {
        VesmeraSetup setup;
        CleanThenAttacked(state, setup, HostileLoad, "hostile_");
        state.SetIterationTime(1);
    }
}
BENCHMARK(BM_ServerHostile)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_ServerZeroFlood(benchmark::State& state) {
    RaiseDescriptorLimit();
    for (auto _ : state) {
        char pattern[] = "/tmp/vesmera-bench-log-XXXXXX";
        const int logFd = ::mkstemp(pattern);
        const std::string logPath = pattern;
        {
            VesmeraSetup setup(logFd);
            CleanThenAttacked(state, setup, ZeroFlood, "flood_");
        }
        state.counters["log_lines"] = static_cast<double>(Lines(logPath));
        ::close(logFd);
        std::remove(logPath.c_str());
        state.SetIterationTime(1);
    }
}
BENCHMARK(BM_ServerZeroFlood)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_ServerStoppedLogReader(benchmark::State& state) {
    RaiseDescriptorLimit();
    for (auto _ : state) {
        // A pipe the parent shares with the server, full before it starts, never read.
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            std::abort();
        ::fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
        const std::string filler(4096, '.');
        while (::write(pipeFds[1], filler.data(), filler.size()) > 0) {
        }
        ::fcntl(pipeFds[1], F_SETFL, 0);
        {
            VesmeraSetup setup(pipeFds[1]);
            CleanThenAttacked(state, setup, ZeroFlood, "flood_");
        }
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        state.SetIterationTime(1);
    }
}
BENCHMARK(BM_ServerStoppedLogReader)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
