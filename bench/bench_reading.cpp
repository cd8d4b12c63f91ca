// How soon a client hears of a new weight: the time from a weight change on the simulated
// terminal to the Changed signal at a client of the program's private bus, over 50 changes.
// The Ворлен poll sends a request about every 100 ms and reads its reply 100 ms after it, so
// a change waits for the next request and then for its reply: 100 to 200 ms.
//
// Also IScAuto.GetWeight's round trip while the program polls, beside the bus's floor.
//
//   build/bin/bench_reading          (about a minute)
//   VESMERA_BENCH_PROGRAM=<other build's vesmera> build/bin/bench_reading   (the same for it)

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
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
#include "live_program.h"

namespace {

using namespace vesmera;
using Clock = std::chrono::steady_clock;

class Arrivals : public QObject {
    Q_OBJECT
public slots:
    void Changed(const QDBusMessage& message) {
        texts.push_back(message.arguments().value(2).toString());
        times.push_back(Clock::now());
    }

public:
    std::vector<QString> texts;
    std::vector<Clock::time_point> times;
};

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

void BM_WeightChangeToSignal(benchmark::State& state) {
    constexpr int kChanges = 50;
    for (auto _ : state) {
        test::PrivateBus bus;
        if (!bus.Running()) {
            state.SkipWithError("dbus-daemon cannot be started");
            return;
        }
        QDBusConnection client = bus.Connect("bench");
        harness::LiveProgram program(harness::ProgramUnderTest(VESMERA_EXECUTABLE),
                                     bus.Address().toStdString());
        if (!test::WaitUntil(
                [&] { return client.interface()->isServiceRegistered("Vesmera.ScAuto").value(); },
                20000)) {
            state.SkipWithError("the program never served its names");
            return;
        }
        Arrivals arrivals;
        client.connect("Vesmera.ScAuto", "/Vesmera/Reading", "Vesmera.Reading", "Changed",
                       &arrivals, SLOT(Changed(QDBusMessage)));
        std::vector<double> delays;
        std::mt19937 random(7);
        std::uniform_int_distribution<int> pause(0, 250);
        for (int i = 0; i < kChanges; ++i) {
            // 210,5 .. 259,5: each a weight the display has not shown just before.
            const std::string weight = std::to_string(210 + i) + ".5";
            const QString shown = QString::fromStdString(weight).replace('.', ',');
            // A change lands anywhere in the poll cycle, not just after the last signal.
            test::WaitUntil([] { return false; }, pause(random));
            const std::size_t seen = arrivals.texts.size();
            const auto changed = Clock::now();
            program.Terminal().SetWeight(weight);
            const bool arrived = test::WaitUntil(
                [&] {
                    for (std::size_t k = seen; k < arrivals.texts.size(); ++k)
                        if (arrivals.texts[k] == shown)
                            return true;
                    return false;
                },
                5000);
            if (!arrived) {
                std::string got;
                for (const QString& t : arrivals.texts)
                    got += " [" + t.toStdString() + "]";
                state.SkipWithError(("a change never reached the client: want " +
                                     shown.toStdString() + ", got" + got)
                                        .c_str());
                return;
            }
            for (std::size_t k = seen; k < arrivals.texts.size(); ++k)
                if (arrivals.texts[k] == shown)
                    delays.push_back(
                        std::chrono::duration<double, std::milli>(arrivals.times[k] - changed)
                            .count());
        }
        state.counters["median_ms"] = Percentile(delays, 0.5);
        state.counters["p90_ms"] = Percentile(delays, 0.9);
        state.counters["max_ms"] = *std::max_element(delays.begin(), delays.end());
        state.counters["min_ms"] = *std::min_element(delays.begin(), delays.end());
    }
}
BENCHMARK(BM_WeightChangeToSignal)->Iterations(1)->Unit(benchmark::kMillisecond);

// IScAuto.GetWeight against the running program while it polls, beside the bus's own floor
// (Peer.Ping of the bus daemon) timed in the same run, alternating. Arguments: protocol (0
// Ворлен, 1 "6.43") and the reply delay in ms. The calls land anywhere in the poll cycle: a
// random pause of up to 10 ms goes before each pair.
void BM_GetWeightWhilePolling(benchmark::State& state) {
    constexpr int kCalls = 300;
    const auto protocol = state.range(0) == 0 ? SimProtocol::Vorlen : SimProtocol::P643;
    const int delayMs = static_cast<int>(state.range(1));
    for (auto _ : state) {
        test::PrivateBus bus;
        if (!bus.Running()) {
            state.SkipWithError("dbus-daemon cannot be started");
            return;
        }
        QDBusConnection client = bus.Connect("bench");
        harness::LiveProgram program(harness::ProgramUnderTest(VESMERA_EXECUTABLE),
                                     bus.Address().toStdString(), protocol, delayMs);
        if (!test::WaitUntil(
                [&] { return client.interface()->isServiceRegistered("Vesmera.ScAuto").value(); },
                20000)) {
            state.SkipWithError("the program never served its names");
            return;
        }
        const QDBusMessage created = client.call(QDBusMessage::createMethodCall(
            "Vesmera.ScAuto", "/Vesmera/ScAuto", "Vesmera.ClassFactory", "CreateInstance"));
        const QString object = created.arguments().value(0).value<QDBusObjectPath>().path();
        // Polling in earnest before the first timed call.
        test::WaitUntil([&] { return program.Terminal().WeightRequests() >= 5; }, 20000);
        QDBusMessage call = QDBusMessage::createMethodCall("Vesmera.ScAuto", object,
                                                           "Vesmera.IScAuto", "GetWeight");
        call.setArguments({QVariant::fromValue(short(0)), QVariant::fromValue(short(0))});
        const QDBusMessage ping = QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Peer", "Ping");
        std::vector<double> weight, floor;
        std::mt19937 random(11);
        std::uniform_int_distribution<int> pause(0, 10);
        const auto timed = [&client](const QDBusMessage& m, std::vector<double>& into) {
            const auto start = Clock::now();
            const QDBusMessage reply = client.call(m, QDBus::Block, 10000);
            into.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            return reply.type() == QDBusMessage::ReplyMessage;
        };
        for (int i = 0; i < kCalls; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
            if (!timed(call, weight) || !timed(ping, floor)) {
                state.SkipWithError("call failed");
                return;
            }
        }
        const double median = Percentile(weight, 0.5);
        const double floorMedian = Percentile(floor, 0.5);
        state.counters["median_ms"] = median;
        state.counters["p99_ms"] = Percentile(weight, 0.99);
        state.counters["max_ms"] = Percentile(weight, 1.0);
        state.counters["floor_median_ms"] = floorMedian;
        state.counters["median_over_floor"] = median / floorMedian;
        state.counters["requests"] = program.Terminal().WeightRequests();
    }
    state.SetLabel(std::string(protocol == SimProtocol::Vorlen ? "Ворлен" : "6.43") + ", delay " +
                   std::to_string(delayMs) + " ms");
}
BENCHMARK(BM_GetWeightWhilePolling)
    ->Args({0, 100})
    ->Args({1, 100})
    ->Args({0, 1000})
    ->Args({1, 1000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "bench_reading.moc"
