#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QObject>

#include "automation/reading_bus.h"
#include "automation/startup.h"
#include "event/qt_scheduler.h"
#include "fake_channels.h"
#include "private_bus.h"

namespace vesmera {
namespace {

constexpr int kCallTimeoutMs = 10000;

class ManualClock final : public IReadingClock {
public:
    std::int64_t SteadyMs() override { return steady; }
    std::int64_t WallMs() override { return wall; }
    std::int64_t steady = 0;
    std::int64_t wall = 1'765'000'000'123;
};

// Collects the Changed signals that reach a client.
class SignalSink : public QObject {
    Q_OBJECT
public slots:
    void Changed(const QDBusMessage& message) { received.push_back(message); }

public:
    std::vector<QDBusMessage> received;
};

class ReadingBus : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.Running());
        serverConnection = bus.Connect("server");
        client = bus.Connect("client");
        ASSERT_TRUE(serverConnection.isConnected());
        ASSERT_TRUE(client.isConnected());
    }

    void StartServer(LiveReading* served) {
        server = std::make_unique<AutomationServer>(
            StartSwitches{StartMode::smStandalone, false},
            AutomationContext{settings, weight, main, calls,
                              [](std::function<void()> done) { done(); }},
            [] {});
        server->SetReading(served);
        ASSERT_EQ(server->Start(serverConnection), BusStart::Serving);
    }

    QDBusMessage Call(const QString& path, const QString& iface, const QString& method,
                      const QVariantList& args = {}) {
        QDBusMessage message =
            QDBusMessage::createMethodCall("Vesmera.ScAuto", path, iface, method);
        message.setArguments(args);
        return client.call(message, QDBus::BlockWithGui, kCallTimeoutMs);
    }

    QDBusMessage Get() { return Call(kReadingPath, kReadingInterface, "Get"); }

    void Follow() {
        ASSERT_TRUE(client.connect("Vesmera.ScAuto", kReadingPath, kReadingInterface, "Changed",
                                   &sink, SLOT(Changed(QDBusMessage))));
    }

    test::PrivateBus bus;
    QDBusConnection serverConnection{QString()};
    QDBusConnection client{QString()};
    HeldSettings settings;
    SharedWeightState weight;
    test::MainChannelStub main;
    QtScheduler scheduler;
    test::ScriptedChannelFactory channels{scheduler};
    ServerCallPool calls{channels};
    ManualClock clock;
    LiveReading reading{clock};
    SignalSink sink;
    std::unique_ptr<AutomationServer> server;
};

TEST_F(ReadingBus, GetGivesTheLastChangeAndFreshness) {
    StartServer(&reading);
    reading.Observe({12.5, -5002, "12,5", false});
    reading.PollSucceeded();

    const QDBusMessage reply = Get();
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), "disxtb");
    const QVariantList out = reply.arguments();
    EXPECT_EQ(out[0].toDouble(), 12.5);
    EXPECT_EQ(out[1].toInt(), -5002);
    EXPECT_EQ(out[2].toString(), "12,5");
    EXPECT_EQ(out[3].toLongLong(), clock.wall);
    EXPECT_EQ(out[4].toULongLong(), 1u);
    EXPECT_TRUE(out[5].toBool());

    clock.steady += 5000; // no poll has succeeded for five seconds
    EXPECT_FALSE(Get().arguments().value(5).toBool());
}

TEST_F(ReadingBus, EveryChangeIsOneSignalAndRepeatsAreNone) {
    StartServer(&reading);
    Follow();
    reading.Observe({12.5, -5002, "12,5", false});
    reading.Observe({12.5, -5002, "12,5", false});
    reading.Observe({0, 0, "С терминалом нет связи", true});
    reading.Observe({0, 0, "С терминалом нет связи", true});
    ASSERT_TRUE(test::WaitUntil([&] { return sink.received.size() >= 2; }));
    // A round trip after the last observation: any further signal would have arrived by now.
    Get();
    ASSERT_EQ(sink.received.size(), 2u);
    const QDBusMessage& first = sink.received[0];
    EXPECT_EQ(first.signature(), "disxt");
    EXPECT_EQ(first.path(), kReadingPath);
    EXPECT_EQ(first.arguments().value(2).toString(), "12,5");
    EXPECT_EQ(first.arguments().value(4).toULongLong(), 1u);
    const QDBusMessage& second = sink.received[1];
    EXPECT_EQ(second.arguments().value(2).toString(), "С терминалом нет связи");
    EXPECT_EQ(second.arguments().value(4).toULongLong(), 2u);
}

TEST_F(ReadingBus, TerminalAnswersTheSelectedName) {
    StartServer(&reading);
    std::string tab = "Весы 2";
    reading.SetTerminalSource([&tab] { return tab; });
    EXPECT_EQ(Call(kReadingPath, kReadingInterface, "Terminal").arguments().value(0).toString(),
              "Весы 2");
}

TEST_F(ReadingBus, WrongCallsAreErrorsNotCrashes) {
    StartServer(&reading);
    EXPECT_EQ(Call(kReadingPath, kReadingInterface, "Get", {QString("x")}).type(),
              QDBusMessage::ErrorMessage);
    EXPECT_EQ(Call(kReadingPath, kReadingInterface, "SetWeight").type(),
              QDBusMessage::ErrorMessage);
}

TEST_F(ReadingBus, IntrospectionShowsTheObjectAndItsSignal) {
    StartServer(&reading);
    const QString root = Call("/Vesmera", "org.freedesktop.DBus.Introspectable", "Introspect")
                             .arguments()
                             .value(0)
                             .toString();
    EXPECT_TRUE(root.contains("<node name=\"Reading\"/>")) << root.toStdString();
    const QString xml = Call(kReadingPath, "org.freedesktop.DBus.Introspectable", "Introspect")
                            .arguments()
                            .value(0)
                            .toString();
    EXPECT_TRUE(xml.contains("<interface name=\"Vesmera.Reading\">")) << xml.toStdString();
    EXPECT_TRUE(xml.contains("<signal name=\"Changed\">"));
    EXPECT_TRUE(xml.contains("<arg name=\"sequence\" type=\"t\"/>"));
    EXPECT_TRUE(xml.contains("<method name=\"Terminal\">"));
}

TEST_F(ReadingBus, WithoutAReadingThereIsNoObject) {
    StartServer(nullptr);
    EXPECT_EQ(Get().type(), QDBusMessage::ErrorMessage);
}

TEST_F(ReadingBus, ARevokedServerStopsSpeaking) {
    StartServer(&reading);
    Follow();
    reading.Observe({2, -5002, "2", false});
    ASSERT_TRUE(test::WaitUntil([&] { return sink.received.size() == 1; }));
    server.reset();
    // Changed from any sender (the name may be gone with the server), and a marker.
    SignalSink late, marker;
    ASSERT_TRUE(client.connect(QString(), kReadingPath, kReadingInterface, "Changed", &late,
                               SLOT(Changed(QDBusMessage))));
    ASSERT_TRUE(client.connect(QString(), "/Marker", "Vesmera.Test", "Marker", &marker,
                               SLOT(Changed(QDBusMessage))));
    // A round trip to the bus: the subscriptions are in place before anything is sent.
    Get();

    // The reading outlives the server: observing must not reach the layer that is gone.
    reading.Observe({1, -5002, "1", false});
    EXPECT_EQ(reading.Last().sequence, 2u);
    // The marker leaves the server's connection after the observation; once it has arrived,
    // a Changed sent before it would have arrived too.
    serverConnection.send(QDBusMessage::createSignal("/Marker", "Vesmera.Test", "Marker"));
    ASSERT_TRUE(test::WaitUntil([&] { return !marker.received.empty(); }));
    EXPECT_TRUE(late.received.empty());
    EXPECT_EQ(sink.received.size(), 1u);
}

} // namespace
} // namespace vesmera

#include "reading_bus_test.moc"
