// vesmera-server's HTTP interface under load, beside the line protocol and a minimal epoll
// writer in the same run.
//
//   Requests: GET /v1/terminals/{name} on 50 keep-alive connections at 5,000 requests a second
//             (each connection every 10 ms, phases spread; a connection whose reply is still
//             out skips its tick), and the line protocol's poll of the same terminal at the
//             same rate on 50 connections, a second of each in turn. Latency is from the send
//             to the last byte of the reply, after a warm-up: p50 and p99 of each, HTTP p99 /
//             line p99, and the server's CPU per request.
//   Streams:  1,000 clients on GET /v1/events while 10 simulated terminals change at every
//             poll (10 times a second each). Delay is from the server's decode of a reply (the
//             reading's "time", given in whole ms) to a client's receipt of the event: p50 and
//             p99. The server's resident memory at the end, and its CPU (user + system, % of
//             one core) beside a minimal epoll program that writes events of the same size at
//             the same rate to the same 1,000 clients (ratio server / writer); the writer's
//             events carry their time too, so its delays show what the machine and this one
//             reading thread add to the server's.
//
//   build/bin/bench_http          (BENCH_HTTP_SECONDS=5 per measured window by default)

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_process.h"

extern char** environ;

namespace {

using bench::Child;
using bench::CpuMs;
using bench::RssMb;

using Clock = std::chrono::steady_clock;

constexpr int kRequestConnections = 50;
constexpr int kRequestRate = 5000;
constexpr int kStreamClients = 1000;
constexpr int kStreamTerminals = 10;
constexpr int kWarmUpMs = 1000;
const std::string kScalesPath = "/v1/terminals/%D0%92%D0%B5%D1%81%D1%8B%201"; // "Весы 1"

int Seconds() {
    const char* text = std::getenv("BENCH_HTTP_SECONDS");
    return text ? std::max(2, std::atoi(text)) : 5;
}

int Connect(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = bench::Loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

std::uint16_t PortOf(const std::string& line) {
    return static_cast<std::uint16_t>(std::atoi(line.c_str() + line.rfind(':') + 1));
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

double WallMsNow() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// "2026-12-10T13:00:00.123Z" at text, in ms since the epoch.
double WallMsOf(const char* text) {
    std::tm tm{};
    int ms = 0;
    if (std::sscanf(text, "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &ms) != 7)
        return 0;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<double>(::timegm(&tm)) * 1000.0 + ms;
}

// The weight server on simulated terminals, with HTTP on.
struct Server {
    explicit Server(int terminals) {
        dir = std::filesystem::temp_directory_path() / ("bench-http-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::string ini = "[Server]\nListen=127.0.0.1:0\n[HTTP]\nListen=127.0.0.1:0\n"
                          "MaxConnections=2048\nMaxStreams=2048\n";
        for (int i = 0; i < terminals; ++i) {
            sims.push_back(std::make_unique<Child>(
                std::vector<std::string>{VESMERA_TERMINAL_SIM, "--weight", "100", "--drift", "0.1",
                                         "--drift-limit", "100000"}));
            ini += "[" + (i == 0 ? std::string("Весы 1") : "T" + std::to_string(i)) +
                   "]\nПорт=" + sims.back()->Line() + "\n";
        }
        std::ofstream(dir / "vesmera-server.ini") << ini;
        process = std::make_unique<Child>(std::vector<std::string>{
            VESMERA_SERVER_BIN, "--config", (dir / "vesmera-server.ini").string()});
        linePort = PortOf(process->Line());
        httpPort = PortOf(process->Line());
        ::usleep(500000); // every terminal answers its first polls
    }
    ~Server() {
        process.reset();
        sims.clear();
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    std::vector<std::unique_ptr<Child>> sims;
    std::unique_ptr<Child> process;
    std::uint16_t linePort = 0, httpPort = 0;
};

// How many bytes at the front of the input make one whole reply; 0 while incomplete.
using ReplyEnd = std::function<std::size_t(const std::string&)>;

std::size_t HttpReplyEnd(const std::string& in) {
    const auto headerEnd = in.find("\r\n\r\n");
    if (headerEnd == std::string::npos)
        return 0;
    const auto length = in.find("Content-Length: ");
    if (length == std::string::npos || length > headerEnd)
        return 0;
    const std::size_t total = headerEnd + 4 + std::strtoul(in.c_str() + length + 16, nullptr, 10);
    return in.size() >= total ? total : 0;
}

std::size_t LineReplyEnd(const std::string& in) {
    const auto first = in.find('\n');
    if (first == std::string::npos)
        return 0;
    const auto second = in.find('\n', first + 1);
    return second == std::string::npos ? 0 : second + 1;
}

// Open-loop requests at `rate` a second over `connections` connections; the latencies (ms) of
// the replies after the warm-up.
std::vector<double> Drive(std::uint16_t port, const std::string& request, const ReplyEnd& end,
                          int warmUpMs, int seconds) {
    struct Conn {
        int fd;
        std::string in;
        Clock::time_point sentAt, next;
        bool busy = false;
    };
    const auto period =
        std::chrono::nanoseconds(1'000'000'000LL * kRequestConnections / kRequestRate);
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    const auto start = Clock::now();
    std::vector<Conn> conns(kRequestConnections);
    for (int i = 0; i < kRequestConnections; ++i) {
        conns[i].fd = Connect(port);
        conns[i].next = start + period * i / kRequestConnections;
        epoll_event e{EPOLLIN, {.u32 = static_cast<std::uint32_t>(i)}};
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, conns[i].fd, &e);
    }
    const auto measureFrom = start + std::chrono::milliseconds(warmUpMs);
    const auto stopAt = measureFrom + std::chrono::seconds(seconds);
    std::vector<double> latencies;
    char buffer[65536];
    for (auto now = Clock::now(); now < stopAt; now = Clock::now()) {
        for (auto& c : conns)
            while (c.next <= now) {
                if (!c.busy && ::send(c.fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
                    c.busy = true;
                    c.sentAt = Clock::now();
                }
                c.next += period;
            }
        epoll_event events[64];
        const int n = ::epoll_wait(epoll, events, 64, 1);
        for (int i = 0; i < n; ++i) {
            Conn& c = conns[events[i].data.u32];
            for (ssize_t got; (got = ::recv(c.fd, buffer, sizeof buffer, 0)) > 0;)
                c.in.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t used; (used = end(c.in)) > 0;) {
                c.in.erase(0, used);
                const auto at = Clock::now();
                if (c.busy && c.sentAt >= measureFrom)
                    latencies.push_back(
                        std::chrono::duration<double, std::milli>(at - c.sentAt).count());
                c.busy = false;
            }
        }
    }
    for (auto& c : conns)
        ::close(c.fd);
    ::close(epoll);
    return latencies;
}

void BM_HttpGetBesideLinePoll(benchmark::State& state) {
    const int seconds = Seconds();
    for (auto _ : state) {
        Server server(2);
        const pid_t pid = server.process->Pid();
        // One second of each in turn, so both meet the same load of a shared machine.
        std::vector<double> http, line;
        double httpCpu = 0, lineCpu = 0;
        for (int round = 0; round < seconds; ++round) {
            const int warmUp = round == 0 ? kWarmUpMs : 100;
            double cpu = CpuMs(pid);
            const auto h = Drive(server.httpPort,
                                 "GET " + kScalesPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
                                 &HttpReplyEnd, warmUp, 1);
            httpCpu += CpuMs(pid) - cpu;
            cpu = CpuMs(pid);
            const auto l = Drive(server.linePort, "Весы 1\r\n", &LineReplyEnd, warmUp, 1);
            lineCpu += CpuMs(pid) - cpu;
            http.insert(http.end(), h.begin(), h.end());
            line.insert(line.end(), l.begin(), l.end());
        }
        // The server's CPU per answered request (µs), warm-ups included in both.
        state.counters["http_cpu_us"] = httpCpu * 1000 / std::max<double>(1, http.size());
        state.counters["line_cpu_us"] = lineCpu * 1000 / std::max<double>(1, line.size());
        const double httpP99 = Percentile(http, 0.99), lineP99 = Percentile(line, 0.99);
        state.counters["http_p50_ms"] = Percentile(http, 0.5);
        state.counters["http_p99_ms"] = httpP99;
        state.counters["line_p50_ms"] = Percentile(line, 0.5);
        state.counters["line_p99_ms"] = lineP99;
        state.counters["p99_ratio"] = lineP99 > 0 ? httpP99 / lineP99 : 0;
        state.counters["http_per_s"] = static_cast<double>(http.size()) / seconds;
        state.counters["line_per_s"] = static_cast<double>(line.size()) / seconds;
    }
}

// Reads every client's stream for `seconds` after the warm-up: the delays (ms) of the reading
// events from the server's decode to receipt, and the bytes received.
struct StreamResult {
    std::vector<double> delays;
    std::uint64_t bytes = 0;
    std::uint64_t events = 0;
};

StreamResult ReadStreams(const std::vector<int>& fds, int seconds, bool measureDelays) {
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<std::string> pending(fds.size());
    for (std::size_t i = 0; i < fds.size(); ++i) {
        epoll_event e{EPOLLIN, {.u32 = static_cast<std::uint32_t>(i)}};
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, fds[i], &e);
    }
    StreamResult result;
    const auto measureFrom = Clock::now() + std::chrono::milliseconds(kWarmUpMs);
    const auto stopAt = measureFrom + std::chrono::seconds(seconds);
    char buffer[65536];
    constexpr std::string_view kTime = "\"time\":\"";
    while (Clock::now() < stopAt) {
        epoll_event events[256];
        const int n = ::epoll_wait(epoll, events, 256, 10);
        const bool measuring = Clock::now() >= measureFrom;
        for (int i = 0; i < n; ++i) {
            const std::size_t k = events[i].data.u32;
            for (ssize_t got; (got = ::recv(fds[k], buffer, sizeof buffer, 0)) > 0;) {
                if (measuring)
                    result.bytes += static_cast<std::uint64_t>(got);
                if (!measureDelays)
                    continue;
                pending[k].append(buffer, static_cast<std::size_t>(got));
            }
            if (!measureDelays)
                continue;
            const double now = WallMsNow();
            std::size_t start = 0;
            for (std::size_t end; (end = pending[k].find("\n\n", start)) != std::string::npos;
                 start = end + 2) {
                if (pending[k].compare(start, 14, "event: reading") != 0)
                    continue;
                const auto t = pending[k].find(kTime, start);
                if (t == std::string::npos || t > end || !measuring)
                    continue;
                result.delays.push_back(now - WallMsOf(pending[k].c_str() + t + kTime.size()));
                ++result.events;
            }
            pending[k].erase(0, start);
        }
    }
    ::close(epoll);
    return result;
}

// An event of `size` bytes stamped with the time now, as the server stamps its readings.
std::string StampedEvent(std::size_t size) {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    std::tm tm{};
    ::gmtime_r(&seconds, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms.count() % 1000));
    std::string event = "event: reading\nid: x\ndata: {\"time\":\"" + std::string(text) + "\"";
    const std::size_t tail = 3; // "}\n\n"
    if (event.size() + tail < size)
        event += std::string(size - event.size() - tail, ' ');
    return event + "}\n\n";
}

// The least a server can do: accept the clients and write each event to every one of them
// with one write, from one epoll loop, at the same pace as the terminals change.
[[noreturn]] void MinimalWriter(int listener, std::size_t eventSize, int eventsPerSecond) {
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    const long periodNs = 1'000'000'000L / eventsPerSecond;
    itimerspec spec{{0, periodNs}, {0, periodNs}};
    ::timerfd_settime(timer, 0, &spec, nullptr);
    epoll_event e{EPOLLIN, {.fd = listener}};
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &e);
    e.data.fd = timer;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, timer, &e);
    std::vector<int> clients;
    for (;;) {
        epoll_event events[8];
        const int n = ::epoll_wait(epoll, events, 8, -1);
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == listener) {
                for (int fd; (fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;)
                    clients.push_back(fd);
            } else {
                // Events due while the writer waited go out together, as the server's would.
                std::uint64_t ticks = 0;
                if (::read(timer, &ticks, sizeof ticks) != sizeof ticks || ticks == 0)
                    continue;
                std::string bytes;
                for (std::uint64_t t = 0; t < ticks; ++t)
                    bytes += StampedEvent(eventSize);
                for (const int fd : clients)
                    [[maybe_unused]] const ssize_t sent =
                        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            }
        }
    }
}

void BM_EventStreamsBesideMinimalWriter(benchmark::State& state) {
    const int seconds = Seconds();
    for (auto _ : state) {
        std::vector<int> fds;
        double serverCpu = 0, rss = 0;
        StreamResult streams;
        std::size_t eventSize = 0;
        {
            Server server(kStreamTerminals);
            const std::string request = "GET /v1/events HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
            for (int i = 0; i < kStreamClients; ++i) {
                fds.push_back(Connect(server.httpPort));
                [[maybe_unused]] const ssize_t sent =
                    ::send(fds.back(), request.data(), request.size(), MSG_NOSIGNAL);
            }
            const double cpuBefore = CpuMs(server.process->Pid());
            const auto t0 = Clock::now();
            streams = ReadStreams(fds, seconds, true);
            serverCpu = (CpuMs(server.process->Pid()) - cpuBefore) /
                        std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            rss = RssMb(server.process->Pid());
            for (const int fd : fds)
                ::close(fd);
            fds.clear();
            eventSize = streams.events ? streams.bytes / streams.events : 300;
        }

        // The same clients' count, bytes and pace on the minimal writer.
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a = bench::Loopback(0);
        socklen_t length = sizeof a;
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), length);
        ::listen(listener, 4096);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
        const pid_t writer = ::fork();
        if (writer == 0)
            MinimalWriter(listener, eventSize, kStreamTerminals * 10);
        ::close(listener);
        for (int i = 0; i < kStreamClients; ++i)
            fds.push_back(Connect(ntohs(a.sin_port)));
        const double writerBefore = CpuMs(writer);
        const auto t1 = Clock::now();
        const StreamResult minimal = ReadStreams(fds, seconds, true);
        const double writerCpu =
            (CpuMs(writer) - writerBefore) /
            std::chrono::duration<double, std::milli>(Clock::now() - t1).count();
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        for (const int fd : fds)
            ::close(fd);

        state.counters["delay_p50_ms"] = Percentile(streams.delays, 0.5);
        state.counters["delay_p99_ms"] = Percentile(streams.delays, 0.99);
        // The same delays from the minimal writer: what the machine and this reader add.
        state.counters["writer_delay_p50_ms"] = Percentile(minimal.delays, 0.5);
        state.counters["writer_delay_p99_ms"] = Percentile(minimal.delays, 0.99);
        state.counters["events_per_s"] = static_cast<double>(streams.events) / seconds;
        state.counters["server_rss_mb"] = rss;
        state.counters["server_cpu_pct"] = serverCpu * 100;
        state.counters["writer_cpu_pct"] = writerCpu * 100;
        state.counters["cpu_ratio"] = writerCpu > 0 ? serverCpu / writerCpu : 0;
        state.counters["server_mb_per_s"] = static_cast<double>(streams.bytes) / seconds / 1e6;
        state.counters["writer_mb_per_s"] = static_cast<double>(minimal.bytes) / seconds / 1e6;
    }
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

const bool kLimitRaised = (RaiseDescriptorLimit(), true);

} // namespace

BENCHMARK(BM_HttpGetBesideLinePoll)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EventStreamsBesideMinimalWriter)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
