// vesmera-server publishing every terminal to a loopback mosquitto, beside the same run without
// MQTT.
//
// Load: 100 simulated terminals (terminal-sim --drift), each polled every 100 ms and changing
// its weight at every poll: 1,000 readings a second, each a retained QoS 1 message. A
// subscriber in this process (libmosquitto, QoS 1) takes every terminal's topic.
//   Delay:  from the server's decode of a reply (the reading's "time") to the subscriber's
//           receipt, p50 and p99 over the measured window (the time is given in whole ms).
//   Loss:   after the window the broker is stopped (SIGSTOP) for a second, so it is slower than
//           the terminals and the server's hand-off has to replace readings that have not gone
//           out; then the terminals stop changing. Each terminal's last reading must have
//           arrived (checked against a poll of the line protocol), and the readings missing from
//           each terminal's sequence are set beside the server's own count of readings replaced
//           (its closing log line): "lost" counts those missing beyond them.
//   CPU:    the server's user + system time over the window, with MQTT and then, on the same
//           terminals, without; the ratio is with / without.
//
//   build/bin/bench_mqtt          (BENCH_MQTT_SECONDS=5, BENCH_MQTT_TERMINALS=100 by default)

#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "bench_process.h"

extern char** environ;

namespace {

using bench::Child;
using bench::CpuMs;
using bench::Loopback;

int EnvInt(const char* name, int fallback, int min) {
    const char* text = std::getenv(name);
    return text ? std::max(min, std::atoi(text)) : fallback;
}

std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

int Connect(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(port);
    const timeval cap{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &cap, sizeof cap);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The weight line the line protocol answers for a terminal now.
std::string PollWeight(int fd, const std::string& name) {
    const std::string request = name + "\n";
    [[maybe_unused]] const ssize_t sent = ::send(fd, request.data(), request.size(), 0);
    std::string reply;
    char c;
    int lines = 0;
    while (lines < 2 && ::recv(fd, &c, 1, 0) == 1) {
        if (c == '\n')
            ++lines;
        reply += c;
    }
    return reply.substr(0, reply.find('\r'));
}

std::int64_t WallMsOf(const std::string& utc) {
    std::tm tm{};
    int ms = 0;
    if (std::sscanf(utc.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &ms) != 7)
        return 0;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<std::int64_t>(::timegm(&tm)) * 1000 + ms;
}

double WallMsNow() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Every reading the subscriber received: each terminal's seqs and last text, and the delays
// while measuring.
struct Received {
    std::mutex mutex;
    bool measuring = false;
    std::vector<double> delays;
    std::map<std::string, std::set<std::uint64_t>> seqs;
    std::map<std::string, std::string> lastText;
    std::uint64_t messages = 0;
};

void OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    const double now = WallMsNow();
    auto* r = static_cast<Received*>(self);
    const auto json =
        nlohmann::json::parse(static_cast<const char*>(m->payload),
                              static_cast<const char*>(m->payload) + m->payloadlen, nullptr, false);
    if (json.is_discarded())
        return;
    const std::string terminal = json["terminal"];
    const std::lock_guard lock(r->mutex);
    ++r->messages;
    r->seqs[terminal].insert(json["seq"].get<std::uint64_t>());
    r->lastText[terminal] = json["text"].is_string() ? json["text"].get<std::string>() : "";
    if (r->measuring && json["time"].is_string())
        r->delays.push_back(now - static_cast<double>(WallMsOf(json["time"])));
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

class Rig {
public:
    Rig(int terminals) : dir_(std::filesystem::temp_directory_path() / "vesmera-bench-mqtt") {
        std::filesystem::create_directories(dir_);
        ::chmod(dir_.c_str(), 0755); // a broker started as root reads as the user "mosquitto"
        brokerPort_ = FreePort();
        std::ofstream(dir_ / "mosquitto.conf")
            << "listener " << brokerPort_
            << " 127.0.0.1\npersistence false\nconnection_messages false\nlog_type error\n"
               "allow_anonymous true\nmax_queued_messages 100000\n";
        broker_ = std::make_unique<Child>(std::vector<std::string>{
            "/usr/sbin/mosquitto", "-c", (dir_ / "mosquitto.conf").string()});
        for (int i = 0; i < 100; ++i) {
            const int fd = Connect(brokerPort_);
            if (fd >= 0) {
                ::close(fd);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        for (int i = 0; i < terminals; ++i) {
            sims_.push_back(std::make_unique<Child>(
                std::vector<std::string>{VESMERA_TERMINAL_SIM, "--weight", "100", "--drift", "0.1",
                                         "--drift-limit", "100000"}));
            char name[16];
            std::snprintf(name, sizeof name, "T%03d", i + 1);
            names_.push_back(name);
            ports_.push_back(sims_.back()->Line());
        }
    }
    ~Rig() { std::filesystem::remove_all(dir_); }

    // Starts the server, with or without the [MQTT] section; returns its line port.
    std::uint16_t StartServer(bool mqtt) {
        std::ofstream ini(dir_ / "vesmera-server.ini");
        ini << "[Server]\nListen=127.0.0.1:0\n";
        if (mqtt)
            ini << "[MQTT]\nBroker=127.0.0.1:" << brokerPort_ << "\nTopic=bench\nHeartbeat=3600\n";
        for (std::size_t i = 0; i < names_.size(); ++i)
            ini << "[" << names_[i] << "]\nПорт=" << ports_[i] << "\n";
        ini.close();
        server_ = std::make_unique<Child>(
            std::vector<std::string>{VESMERA_SERVER_BIN, "--config",
                                     (dir_ / "vesmera-server.ini").string()},
            (dir_ / "server.log").string());
        const std::string listening = server_->Line();
        return static_cast<std::uint16_t>(
            std::atoi(listening.substr(listening.rfind(':') + 1).c_str()));
    }
    void StallBroker(std::chrono::milliseconds how) {
        ::kill(broker_->Pid(), SIGSTOP);
        std::this_thread::sleep_for(how);
        ::kill(broker_->Pid(), SIGCONT);
    }
    void Drift(bool on) {
        for (auto& sim : sims_)
            sim->Input(on ? "drift 0.1" : "drift 0");
    }
    // The server's log once it has stopped.
    std::string StopServer() {
        server_->Stop(SIGTERM);
        std::ifstream log(dir_ / "server.log");
        return std::string((std::istreambuf_iterator<char>(log)), {});
    }
    Child& Server() { return *server_; }
    const std::vector<std::string>& Names() const { return names_; }
    std::uint16_t BrokerPort() const { return brokerPort_; }

private:
    std::filesystem::path dir_;
    std::uint16_t brokerPort_ = 0;
    std::unique_ptr<Child> broker_;
    std::vector<std::unique_ptr<Child>> sims_;
    std::vector<std::string> names_, ports_;
    std::unique_ptr<Child> server_;
};

// The server's CPU (% of one core) over the window.
double MeasureCpu(Rig& rig, int seconds) {
    const double before = CpuMs(rig.Server().Pid());
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return (CpuMs(rig.Server().Pid()) - before) / (seconds * 10.0);
}

void BM_MqttPublishing(benchmark::State& state) {
    const int seconds = EnvInt("BENCH_MQTT_SECONDS", 5, 2);
    const int terminals = EnvInt("BENCH_MQTT_TERMINALS", 100, 1);
    mosquitto_lib_init();
    for (auto _ : state) {
        Rig rig(terminals);
        Received received;
        mosquitto* sub = mosquitto_new(nullptr, true, &received);
        mosquitto_message_callback_set(sub, &OnMessage);
        mosquitto_int_option(sub, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_max_inflight_messages_set(sub, 0);
        mosquitto_connect(sub, "127.0.0.1", rig.BrokerPort(), 60);
        mosquitto_subscribe(sub, nullptr, "bench/terminals/+", 1);
        mosquitto_loop_start(sub);

        const std::uint16_t linePort = rig.StartServer(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // every terminal linked
        {
            const std::lock_guard lock(received.mutex);
            received.measuring = true;
        }
        const double cpuMqtt = MeasureCpu(rig, seconds);
        {
            const std::lock_guard lock(received.mutex);
            received.measuring = false;
        }
        rig.StallBroker(std::chrono::seconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        rig.Drift(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the last readings settle
        int lastArrived = 0;
        const int line = Connect(linePort);
        for (const auto& name : rig.Names()) {
            const std::string weight = PollWeight(line, name);
            const std::lock_guard lock(received.mutex);
            lastArrived += received.lastText[name] == weight ? 1 : 0;
        }
        ::close(line);
        const std::string log = rig.StopServer();
        mosquitto_loop_stop(sub, true);
        mosquitto_destroy(sub);

        std::uint64_t published = 0, coalesced = 0;
        const auto at = log.find("publishing ends: ");
        if (at != std::string::npos)
            std::sscanf(log.c_str() + at, "publishing ends: %lu messages published, %lu replaced",
                        &published, &coalesced);
        std::uint64_t missing = 0;
        for (const auto& [name, seqs] : received.seqs)
            missing += *seqs.rbegin() - *seqs.begin() + 1 - seqs.size();

        rig.Drift(true);
        rig.StartServer(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const double cpuPlain = MeasureCpu(rig, seconds);
        rig.StopServer();

        state.counters["p50_ms"] = Percentile(received.delays, 0.50);
        state.counters["p99_ms"] = Percentile(received.delays, 0.99);
        state.counters["readings_per_s"] = static_cast<double>(received.delays.size()) / seconds;
        state.counters["received"] = static_cast<double>(received.messages);
        state.counters["published"] = static_cast<double>(published);
        state.counters["missing"] = static_cast<double>(missing);
        state.counters["coalesced"] = static_cast<double>(coalesced);
        state.counters["lost"] = static_cast<double>(missing > coalesced ? missing - coalesced : 0);
        state.counters["last_arrived"] = lastArrived;
        state.counters["terminals"] = terminals;
        state.counters["cpu_mqtt_pct"] = cpuMqtt;
        state.counters["cpu_plain_pct"] = cpuPlain;
        state.counters["cpu_ratio"] = cpuPlain > 0 ? cpuMqtt / cpuPlain : 0;
    }
}
BENCHMARK(BM_MqttPublishing)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
