// How soon a client hears of a new weight: the time from a weight change on the simulated
// terminal to the Changed signal at a client of the program's private bus, over 50 changes.
// The Ворлен poll sends a request about every 100 ms and reads its reply 100 ms after it, so
// a change waits for the next request and then for its reply: 100 to 200 ms.
//
//   build/bin/bench_reading          (about half a minute)

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
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
        harness::LiveProgram program(VESMERA_EXECUTABLE, bus.Address().toStdString());
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

// IScAuto.GetWeight against the running program in local mode, 1000 calls: the program
// answers between its poll ticks, and a Ворлен tick sleeps its 100 ms reply delay on the
// GUI thread, so most calls wait for a tick to end.
void BM_GetWeightRoundTripRunningProgram(benchmark::State& state) {
    test::PrivateBus bus;
    if (!bus.Running()) {
        state.SkipWithError("dbus-daemon cannot be started");
        return;
    }
    QDBusConnection client = bus.Connect("bench");
    harness::LiveProgram program(VESMERA_EXECUTABLE, bus.Address().toStdString());
    if (!test::WaitUntil(
            [&] { return client.interface()->isServiceRegistered("Vesmera.ScAuto").value(); },
            20000)) {
        state.SkipWithError("the program never served its names");
        return;
    }
    const QDBusMessage created = client.call(QDBusMessage::createMethodCall(
        "Vesmera.ScAuto", "/Vesmera/ScAuto", "Vesmera.ClassFactory", "CreateInstance"));
    const QString object = created.arguments().value(0).value<QDBusObjectPath>().path();
    QDBusMessage call =
        QDBusMessage::createMethodCall("Vesmera.ScAuto", object, "Vesmera.IScAuto", "GetWeight");
    call.setArguments({QVariant::fromValue(short(0)), QVariant::fromValue(short(0))});
    std::vector<double> millis;
    for (auto _ : state) {
        const auto start = Clock::now();
        const QDBusMessage reply = client.call(call, QDBus::Block, 10000);
        const auto end = Clock::now();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            state.SkipWithError("call failed");
            return;
        }
        millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    state.counters["median_ms"] = Percentile(millis, 0.5);
    state.counters["p90_ms"] = Percentile(millis, 0.9);
    state.counters["max_ms"] = Percentile(millis, 1.0);
    client.call(
        QDBusMessage::createMethodCall("Vesmera.ScAuto", object, "Vesmera.Object", "Release"));
}
BENCHMARK(BM_GetWeightRoundTripRunningProgram)->Iterations(1000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "bench_reading.moc"
