// How soon the real program shows fresh readings after its weight server comes back: the
// program (build/bin/vesmera) in network mode against the weight-server simulator on loopback,
// followed over a private bus. Each round stops the server, waits until the program shows
// "Сервер не найден", starts a server with a new weight on the same port at a random moment,
// and times from the moment the new server listens to the Changed signal carrying the new
// weight. Timer2 retries the connect on every tick, so the wait is expected well within one
// Timer3 period (3 s).
//
//   build/bin/bench_net_restart          (about half a minute)

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QObject>
#include <QProcess>

#include <benchmark/benchmark.h>

#include "automation/private_bus.h"
#include "program_harness.h"

namespace {

using namespace vesmera;
using Clock = std::chrono::steady_clock;

constexpr const char* kServerNotFound = "Сервер не найден";

class Arrivals : public QObject {
    Q_OBJECT
public slots:
    void Changed(const QDBusMessage& message) {
        texts.push_back(message.arguments().value(2).toString());
        times.push_back(Clock::now());
    }

public:
    // The first change at or after `from` whose text is `text`, if any.
    const Clock::time_point* Find(std::size_t from, const QString& text) const {
        for (std::size_t k = from; k < texts.size(); ++k)
            if (texts[k] == text)
                return &times[k];
        return nullptr;
    }

    std::vector<QString> texts;
    std::vector<Clock::time_point> times;
};

// One simulator process, answering "T1" with `weight` stable; ended by its own pid.
class Server {
public:
    Server(std::uint16_t port, const QString& weight) {
        QStringList args{"--terminal", "T1", weight, "-5002"};
        if (port != 0)
            args << "--port" << QString::number(port);
        process_.start(VESMERA_WEIGHT_SERVER_SIM, args);
        // The first line is the port, written once the server listens.
        if (process_.waitForReadyRead(10000) || process_.canReadLine()) {
            listening_ = Clock::now();
            port_ = static_cast<std::uint16_t>(process_.readLine().trimmed().toUInt());
        }
    }
    ~Server() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    std::uint16_t Port() const { return port_; }
    Clock::time_point Listening() const { return listening_; }

private:
    QProcess process_;
    std::uint16_t port_ = 0;
    Clock::time_point listening_;
};

std::string NetworkSettings(std::uint16_t port) {
    return "[Настройки порта]\r\nПорт=/nonexistent/vesmera-bench-port\r\n[Общие]\r\n"
           "Скин=Cold\r\nЦвет1=clRed\r\nЦвет2=clGreen\r\nФон=clBlack\r\nIP=127.0.0.1\r\nPort=" +
           std::to_string(port) + "\r\nСетевой режим=1\r\n";
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

void BM_ServerRestartToFreshReading(benchmark::State& state) {
    constexpr int kRounds = 8;
    for (auto _ : state) {
        test::PrivateBus bus;
        if (!bus.Running()) {
            state.SkipWithError("dbus-daemon cannot be started");
            return;
        }
        QDBusConnection client = bus.Connect("bench");
        auto server = std::make_unique<Server>(0, "100,5");
        const std::uint16_t port = server->Port();
        if (port == 0) {
            state.SkipWithError("the weight-server simulator did not start");
            return;
        }
        harness::TempFolder folder;
        folder.CopyExecutable(VESMERA_EXECUTABLE, "vesmera");
        folder.WriteFile("Vesmera.ini", NetworkSettings(port));
        folder.WriteFile("ZidOzod.ini", "T1\r\n");
        harness::ChildProcess program(folder.Path() + "/vesmera", {},
                                      {"QT_QPA_PLATFORM=offscreen", "DISPLAY=", "WAYLAND_DISPLAY=",
                                       "LC_ALL=", "LC_NUMERIC=", "LANG=ru_RU.UTF-8",
                                       "DBUS_SESSION_BUS_ADDRESS=" + bus.Address().toStdString()},
                                      folder.Path());
        if (!test::WaitUntil(
                [&] { return client.interface()->isServiceRegistered("Vesmera.ScAuto").value(); },
                20000)) {
            state.SkipWithError("the program never served its names");
            return;
        }
        Arrivals arrivals;
        client.connect("Vesmera.ScAuto", "/Vesmera/Reading", "Vesmera.Reading", "Changed",
                       &arrivals, SLOT(Changed(QDBusMessage)));
        if (!test::WaitUntil([&] { return arrivals.Find(0, "100,5") != nullptr; }, 10000)) {
            state.SkipWithError("the program never showed the first reading");
            return;
        }
        std::vector<double> delays;
        std::mt19937 random(11);
        std::uniform_int_distribution<int> pause(0, 300);
        for (int round = 0; round < kRounds; ++round) {
            const std::size_t before = arrivals.texts.size();
            server.reset();
            if (!test::WaitUntil([&] { return arrivals.Find(before, kServerNotFound) != nullptr; },
                                 10000)) {
                state.SkipWithError("the program never noticed the server was gone");
                return;
            }
            // The server comes back anywhere in the program's tick cycle.
            test::WaitUntil([] { return false; }, pause(random));
            const QString weight = QString::number(200 + round) + ",5";
            const std::size_t seen = arrivals.texts.size();
            server = std::make_unique<Server>(port, weight);
            if (server->Port() != port) {
                state.SkipWithError("the restarted simulator could not listen on its port");
                return;
            }
            if (!test::WaitUntil([&] { return arrivals.Find(seen, weight) != nullptr; }, 10000)) {
                state.SkipWithError("no fresh reading after the restart");
                return;
            }
            delays.push_back(std::chrono::duration<double, std::milli>(
                                 *arrivals.Find(seen, weight) - server->Listening())
                                 .count());
        }
        state.counters["median_ms"] = Percentile(delays, 0.5);
        state.counters["max_ms"] = Percentile(delays, 1.0);
        state.counters["min_ms"] = Percentile(delays, 0.0);
    }
}
BENCHMARK(BM_ServerRestartToFreshReading)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "bench_net_restart.moc"
