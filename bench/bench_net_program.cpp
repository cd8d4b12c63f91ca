// The real program (build/bin/vesmera) in network mode, followed over a private bus, against a
// weight server in this process that can misbehave on command:
//   DataGetWeight        Data.GetWeight round trip against a server that answers at once
//   SilentNameServer     "IP" a host name whose lookup never ends: ScAuto.GetWeight round trip,
//                        and the time from start to "Сервер не найден"
//   AcceptAndClose       the server turns into a forwarder whose back end is gone: time to
//                        "Сервер не найден"
//   LateStatusLine       one reply's status line comes 150 ms late: time from that line to the
//                        weight shown again
//
//   build/bin/bench_net_program                                  (about a minute)
//   VESMERA_BENCH_PROGRAM=<other build's vesmera> build/bin/bench_net_program

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>

#include <benchmark/benchmark.h>

#include "automation/private_bus.h"
#include "program_harness.h"

namespace {

using namespace vesmera;
using Clock = std::chrono::steady_clock;

constexpr const char* kServerNotFound = "Сервер не найден";

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

// A weight server on loopback, one thread, one connection at a time.
class MisbehavingServer {
public:
    enum class Mode { Normal, AcceptAndClose, LateStatusOnce };

    MisbehavingServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 16);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~MisbehavingServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::uint16_t Port() const { return port_; }
    void Set(Mode mode) { mode_ = mode; }
    // When the late status line of LateStatusOnce left.
    std::optional<Clock::time_point> LateLineSent() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lateSent_;
    }

private:
    void Serve() {
        struct Peer {
            int fd;
            std::string pending;
        };
        std::vector<Peer> peers;
        while (!stop_) {
            // The back end went away: the open connections end at once, between polls.
            if (mode_ == Mode::AcceptAndClose) {
                for (const Peer& peer : peers)
                    ::close(peer.fd);
                peers.clear();
            }
            std::vector<pollfd> fds{{listener_, POLLIN, 0}};
            for (const Peer& peer : peers)
                fds.push_back({peer.fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 1) <= 0)
                continue;
            if (fds[0].revents) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (mode_ == Mode::AcceptAndClose) {
                    ::close(fd);
                } else {
                    const int one = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    peers.push_back({fd, {}});
                }
            }
            for (std::size_t i = 1; i < fds.size() && i - 1 < peers.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                Peer& peer = peers[i - 1];
                char bytes[4096];
                const long n = ::recv(peer.fd, bytes, sizeof bytes, MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN)) {
                    ::close(peer.fd);
                    peer.fd = -1;
                    continue;
                }
                if (n < 0)
                    continue;
                peer.pending.append(bytes, static_cast<std::size_t>(n));
                for (auto lf = peer.pending.find('\n'); lf != std::string::npos;
                     lf = peer.pending.find('\n')) {
                    peer.pending.erase(0, lf + 1);
                    Answer(peer.fd);
                }
            }
            std::erase_if(peers, [](const Peer& peer) { return peer.fd < 0; });
        }
        for (const Peer& peer : peers)
            ::close(peer.fd);
    }
    void Answer(int peer) {
        if (mode_ == Mode::LateStatusOnce) {
            mode_ = Mode::Normal;
            Send(peer, "12,5\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            Send(peer, "-5002\r\n");
            std::lock_guard<std::mutex> lock(mutex_);
            lateSent_ = Clock::now();
            return;
        }
        Send(peer, "12,5\r\n-5002\r\n");
    }
    static void Send(int peer, const std::string& bytes) {
        ::send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<Mode> mode_{Mode::Normal};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::optional<Clock::time_point> lateSent_;
    std::thread thread_;
};

// What the program shows, as its Changed signals tell it.
class Display : public QObject {
    Q_OBJECT
public slots:
    void Changed(const QDBusMessage& message) {
        texts.push_back(message.arguments().value(2).toString());
        times.push_back(Clock::now());
    }

public:
    // The first change at or after `from` whose text is `text`.
    std::optional<std::size_t> Find(std::size_t from, const QString& text) const {
        for (std::size_t k = from; k < texts.size(); ++k)
            if (texts[k] == text)
                return k;
        return std::nullopt;
    }
    std::vector<QString> texts;
    std::vector<Clock::time_point> times;
};

// The program in network mode in a folder of its own, on a private bus.
class NetworkProgram {
public:
    NetworkProgram(const std::string& ip, std::uint16_t port, bool silentNameServer = false) {
        if (!bus_.Running())
            return;
        client = bus_.Connect("bench");
        folder_.CopyExecutable(harness::ProgramUnderTest(VESMERA_EXECUTABLE), "vesmera");
        folder_.WriteFile("Vesmera.ini",
                          "[Настройки порта]\r\nПорт=/nonexistent/vesmera-bench-port\r\n[Общие]\r\n"
                          "IP=" +
                              ip + "\r\nPort=" + std::to_string(port) + "\r\nСетевой режим=1\r\n");
        folder_.WriteFile("ZidOzod.ini", "T1\r\n");
        std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen",
                                     "DISPLAY=",
                                     "WAYLAND_DISPLAY=",
                                     "LC_ALL=",
                                     "LC_NUMERIC=",
                                     "LANG=ru_RU.UTF-8",
                                     "DBUS_SESSION_BUS_ADDRESS=" + bus_.Address().toStdString()};
        if (silentNameServer)
            env.push_back(std::string("LD_PRELOAD=") + VESMERA_BLACKHOLE_RESOLVER);
        started = Clock::now();
        program_.emplace(folder_.Path() + "/vesmera", std::vector<std::string>{}, env,
                         folder_.Path());
        serving = test::WaitUntil(
            [&] { return client.interface()->isServiceRegistered("Vesmera.ScAuto").value(); },
            20000);
        if (!serving)
            return;
        served = Clock::now();
        client.connect("Vesmera.ScAuto", "/Vesmera/Reading", "Vesmera.Reading", "Changed", &display,
                       SLOT(Changed(QDBusMessage)));
    }

    // A new object of the class ("Data" or "ScAuto"); empty when none came within the time.
    QString Create(const QString& cls, int timeoutMs = 5000) {
        const QDBusMessage reply =
            client.call(QDBusMessage::createMethodCall("Vesmera." + cls, "/Vesmera/" + cls,
                                                       "Vesmera.ClassFactory", "CreateInstance"),
                        QDBus::Block, timeoutMs);
        return reply.arguments().value(0).value<QDBusObjectPath>().path();
    }
    // Milliseconds of one call, or nothing when it failed or took longer than timeoutMs.
    std::optional<double> Time(const QDBusMessage& call, int timeoutMs, QString* text = nullptr) {
        const auto start = Clock::now();
        const QDBusMessage reply = client.call(call, QDBus::Block, timeoutMs);
        const auto end = Clock::now();
        if (reply.type() != QDBusMessage::ReplyMessage)
            return std::nullopt;
        if (text)
            *text = reply.arguments().value(0).toString();
        return Ms(end - start);
    }
    bool WaitFor(std::size_t from, const QString& text, int ms) {
        return test::WaitUntil([&] { return display.Find(from, text).has_value(); }, ms);
    }

    test::PrivateBus bus_;
    QDBusConnection client{QString()};
    harness::TempFolder folder_;
    std::optional<harness::ChildProcess> program_;
    Display display;
    bool serving = false;
    Clock::time_point started, served;
};

void BM_DataGetWeight(benchmark::State& state) {
    for (auto _ : state) {
        MisbehavingServer server;
        NetworkProgram program("127.0.0.1", server.Port());
        const QString data = program.serving ? program.Create("Data") : QString();
        if (data.isEmpty() || !program.WaitFor(0, "12,5", 10000)) {
            state.SkipWithError("the program never served or connected");
            return;
        }
        QDBusMessage call =
            QDBusMessage::createMethodCall("Vesmera.Data", data, "Vesmera.IData", "GetWeight");
        call.setArguments({QString("T1")});
        std::vector<double> ms;
        for (int i = 0; i < 40; ++i) {
            QString text;
            const auto took = program.Time(call, 5000, &text);
            if (!took || text != "12,5") {
                state.SkipWithError("no weight from the loopback server");
                return;
            }
            ms.push_back(*took);
        }
        state.counters["median_ms"] = Percentile(ms, 0.5);
        state.counters["p95_ms"] = Percentile(ms, 0.95);
        state.SetIterationTime(Percentile(ms, 0.5) / 1000.0);
    }
}
BENCHMARK(BM_DataGetWeight)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SilentNameServer(benchmark::State& state) {
    for (auto _ : state) {
        NetworkProgram program("waage.example", 5000, true);
        if (!program.serving) {
            state.SkipWithError("the program never served its names");
            return;
        }
        const QString sc = program.Create("ScAuto");
        QDBusMessage call =
            QDBusMessage::createMethodCall("Vesmera.ScAuto", sc, "Vesmera.IScAuto", "GetWeight");
        call.setArguments({QVariant::fromValue(short(0)), QVariant::fromValue(short(0))});
        std::vector<double> ms;
        int unanswered = 0;
        const auto until = Clock::now() + std::chrono::seconds(6);
        while (!sc.isEmpty() && Clock::now() < until) {
            if (const auto took = program.Time(call, 2000))
                ms.push_back(*took);
            else
                ++unanswered;
            test::WaitUntil([] { return false; }, 20);
        }
        state.counters["unanswered"] = unanswered + (sc.isEmpty() ? 1 : 0);
        if (!ms.empty()) {
            state.counters["median_ms"] = Percentile(ms, 0.5);
            state.counters["max_ms"] = Percentile(ms, 1.0);
        }
        if (const auto k = program.display.Find(0, kServerNotFound))
            state.counters["message_after_serving_ms"] =
                Ms(program.display.times[*k] - program.served);
        state.SetIterationTime(ms.empty() ? 0 : Percentile(ms, 0.5) / 1000.0);
    }
}
BENCHMARK(BM_SilentNameServer)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_AcceptAndClose(benchmark::State& state) {
    for (auto _ : state) {
        MisbehavingServer server;
        NetworkProgram program("127.0.0.1", server.Port());
        std::vector<double> ms;
        for (int round = 0; round < 4; ++round) {
            const std::size_t from = program.display.texts.size();
            server.Set(MisbehavingServer::Mode::Normal);
            if (round > 0 && !program.WaitFor(from, "12,5", 10000))
                break;
            if (round == 0 && !program.WaitFor(0, "12,5", 10000))
                break;
            // Anywhere in the Timer3 period.
            test::WaitUntil([] { return false; }, 700 * round + 300);
            const std::size_t before = program.display.texts.size();
            const auto turned = Clock::now();
            server.Set(MisbehavingServer::Mode::AcceptAndClose);
            if (!program.WaitFor(before, kServerNotFound, 10000))
                break;
            ms.push_back(
                Ms(program.display.times[*program.display.Find(before, kServerNotFound)] - turned));
        }
        if (ms.size() < 4) {
            state.SkipWithError("the stale weight was never replaced by the message");
            return;
        }
        state.counters["median_ms"] = Percentile(ms, 0.5);
        state.counters["max_ms"] = Percentile(ms, 1.0);
        state.SetIterationTime(Percentile(ms, 0.5) / 1000.0);
    }
}
BENCHMARK(BM_AcceptAndClose)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LateStatusLine(benchmark::State& state) {
    for (auto _ : state) {
        MisbehavingServer server;
        NetworkProgram program("127.0.0.1", server.Port());
        if (!program.WaitFor(0, "12,5", 10000)) {
            state.SkipWithError("the program never showed the weight");
            return;
        }
        const std::size_t before = program.display.texts.size();
        server.Set(MisbehavingServer::Mode::LateStatusOnce);
        if (!program.WaitFor(before, kServerNotFound, 5000)) {
            state.SkipWithError("the late line was never noticed");
            return;
        }
        const std::size_t message = *program.display.Find(before, kServerNotFound);
        if (!program.WaitFor(message, "12,5", 10000) || !server.LateLineSent()) {
            state.SkipWithError("the weight never came back");
            return;
        }
        const double ms = Ms(program.display.times[*program.display.Find(message, "12,5")] -
                             *server.LateLineSent());
        state.counters["late_line_to_weight_ms"] = ms;
        state.SetIterationTime(ms / 1000.0);
    }
}
BENCHMARK(BM_LateStatusLine)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "bench_net_program.moc"
