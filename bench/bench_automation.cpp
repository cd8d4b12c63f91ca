// Round trip of IScAuto.GetWeight over a private bus to a server without poll timers, so the
// figure is the bus layer's own cost. The median of the timed calls is reported as
// "median_us"; the mean is Google Benchmark's own time column.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "automation/scauto_object.h"
#include "event/qt_scheduler.h"
#include "fake_channels.h"
#include "loopback_server.h"
#include "net/tcp_line_channel.h"
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

// GetWeightNet over the real line channel against a loopback server that answers at once:
// its cost is set by the connect wait step of the 100 ms connect time-out.
void BM_GetWeightNetLoopback(benchmark::State& state) {
    vesmera::test::LoopbackServer server([](vesmera::test::LoopbackServer::Connection& c) {
        c.ReadLine();
        c.Send("12,5\r\n-5002\r\n");
        c.ReadToEnd();
    });
    vesmera::HeldSettings settings;
    settings.networkMode = true;
    settings.ip = "127.0.0.1";
    settings.serverPort = server.Port();
    vesmera::SharedWeightState weight;
    vesmera::test::MainChannelStub main;
    vesmera::QtScheduler scheduler;
    vesmera::test::NoResolver resolver;
    vesmera::TcpLineChannelFactory channels{scheduler, resolver};
    vesmera::ServerCallPool calls{channels};
    const vesmera::AutomationContext context{settings, weight, main, calls,
                                             [](std::function<void()> done) { done(); }};
    const vesmera::TScAuto scauto(context);
    std::vector<double> millis;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::string answer;
        QEventLoop loop;
        scauto.GetWeightNet("T1", [&](const std::string& text) {
            answer = text;
            loop.quit();
        });
        if (answer.empty())
            loop.exec();
        const auto end = std::chrono::steady_clock::now();
        if (answer != "12,5") {
            state.SkipWithError("no weight from the loopback server");
            break;
        }
        millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    if (millis.empty())
        return;
    std::nth_element(millis.begin(), millis.begin() + millis.size() / 2, millis.end());
    state.counters["median_ms"] = millis[millis.size() / 2];
}
BENCHMARK(BM_GetWeightNetLoopback)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
