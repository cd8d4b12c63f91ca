// Round trip of IScAuto.GetWeight over a private bus to a server without poll timers, so the
// figure is the bus layer's own cost. The median of the timed calls is reported as
// "median_us"; the mean is Google Benchmark's own time column.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "private_bus.h"

namespace {

struct Server {
    vesmera::test::PrivateBus bus;
    QProcess program;
    QDBusConnection client{QString()};
    QString object;

    Server() {
        if (!bus.Running())
            return;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.Address());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.start(VESMERA_HARNESS, {});
        client = bus.Connect("bench");
        vesmera::test::WaitUntil(
            [&] { return client.interface()->isServiceRegistered("Vesmera.ScAuto").value(); });
        const QDBusMessage reply = client.call(QDBusMessage::createMethodCall(
            "Vesmera.ScAuto", "/Vesmera/ScAuto", "Vesmera.ClassFactory", "CreateInstance"));
        object = reply.arguments().value(0).value<QDBusObjectPath>().path();
    }
    ~Server() {
        program.terminate();
        program.waitForFinished(5000);
    }
};

void BM_ScAutoGetWeightRoundTrip(benchmark::State& state) {
    static Server server;
    if (server.object.isEmpty()) {
        state.SkipWithError("no automation server on the private bus");
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("Vesmera.ScAuto", server.object,
                                                       "Vesmera.IScAuto", "GetWeight");
    call.setArguments({QVariant::fromValue(short(0)), QVariant::fromValue(short(0))});
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const QDBusMessage reply = server.client.call(call, QDBus::Block);
        const auto end = std::chrono::steady_clock::now();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            state.SkipWithError("call failed");
            break;
        }
        benchmark::DoNotOptimize(reply);
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    if (micros.empty())
        return;
    std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
}
BENCHMARK(BM_ScAutoGetWeightRoundTrip)->Iterations(1000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
