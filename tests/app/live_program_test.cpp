#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QObject>
#include <QProcess>

#include <gtest/gtest.h>

#include "automation/private_bus.h"
#include "live_program.h"

namespace vesmera {
namespace {

using namespace harness;

constexpr const char* kReadingPath = "/Vesmera/Reading";
constexpr const char* kReadingInterface = "Vesmera.Reading";
constexpr const char* kLinkLost = "С терминалом нет связи";

class SignalSink : public QObject {
    Q_OBJECT
public slots:
    void Changed(const QDBusMessage& message) { received.push_back(message.arguments()); }

public:
    std::vector<QVariantList> received;
};

// The real program reading a simulated terminal, followed over a private bus as a client
// would follow it.
class LiveProgramTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(bus.Running());
        client = bus.Connect("client");
        ASSERT_TRUE(client.isConnected());
        program = std::make_unique<LiveProgram>(VESMERA_EXECUTABLE, bus.Address().toStdString());
        ASSERT_TRUE(test::WaitUntil(
            [&] { return client.interface()->isServiceRegistered("Vesmera.ScAuto").value(); },
            20000))
            << "the program never served its names";
        ASSERT_TRUE(test::WaitUntil([&] { return Text() == "12,5"; }, 20000))
            << "shown: " << Text().toStdString();
    }

    QDBusMessage Call(const QString& path, const QString& iface, const QString& method) {
        const QDBusMessage call =
            QDBusMessage::createMethodCall("Vesmera.ScAuto", path, iface, method);
        return client.call(call, QDBus::BlockWithGui, 10000);
    }
    QVariantList Get() { return Call(kReadingPath, kReadingInterface, "Get").arguments(); }
    QString Text() { return Get().value(2).toString(); }

    void Follow() {
        ASSERT_TRUE(client.connect("Vesmera.ScAuto", kReadingPath, kReadingInterface, "Changed",
                                   &sink, SLOT(Changed(QDBusMessage))));
    }

    // Runs the event loop for a stretch in which nothing is expected to happen.
    static void Quietly(int ms) {
        test::WaitUntil([] { return false; }, ms);
    }

    // Starts vesmera-cli with `args` on the bus at `busAddress`.
    static void StartCli(QProcess& cli, const QStringList& args, const QString& busAddress) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        cli.setProcessEnvironment(env);
        cli.start(VESMERA_CLI, args);
    }

    test::PrivateBus bus;
    QDBusConnection client{QString()};
    std::unique_ptr<LiveProgram> program;
    SignalSink sink;
};

TEST_F(LiveProgramTest, AWeightChangeIsExactlyOneSignalAndASteadyWeightNone) {
    const quint64 before = Get().value(4).toULongLong();
    Follow();
    program->Terminal().SetWeight("13.7");
    ASSERT_TRUE(test::WaitUntil([&] { return !sink.received.empty(); }, 10000));
    // Two seconds of the same weight: nothing more.
    Quietly(2000);
    ASSERT_EQ(sink.received.size(), 1u);
    const QVariantList& change = sink.received[0];
    EXPECT_EQ(change.value(0).toDouble(), 13.7);
    EXPECT_EQ(change.value(1).toInt(), -5002);
    EXPECT_EQ(change.value(2).toString(), "13,7");
    EXPECT_EQ(change.value(4).toULongLong(), before + 1);
    EXPECT_TRUE(Get().value(5).toBool()) << "a weight read every poll is fresh";
}

TEST_F(LiveProgramTest, SilenceGivesOneLinkLostSignalAndAStaleReading) {
    Follow();
    program->Terminal().SetSilent(true);
    ASSERT_TRUE(test::WaitUntil(
        [&] { return !sink.received.empty() && sink.received.back().value(2) == kLinkLost; },
        20000));
    Quietly(1000);
    const auto lost = std::count_if(sink.received.begin(), sink.received.end(),
                                    [](const QVariantList& c) { return c.value(2) == kLinkLost; });
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(sink.received.back().value(2).toString(), kLinkLost);
    const QVariantList now = Get();
    EXPECT_EQ(now.value(2).toString(), kLinkLost);
    EXPECT_FALSE(now.value(5).toBool());

    // The terminal answers again: the weight comes back as a change.
    program->Terminal().SetSilent(false);
    ASSERT_TRUE(test::WaitUntil([&] { return sink.received.back().value(2) == "12,5"; }, 20000));
    EXPECT_TRUE(Get().value(5).toBool());
}

TEST_F(LiveProgramTest, CliGetAndWatchFollowTheProgram) {
    QProcess get;
    StartCli(get, {"get"}, bus.Address());
    ASSERT_TRUE(get.waitForFinished(20000));
    EXPECT_EQ(get.exitCode(), 0) << get.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(get.readAllStandardOutput()).trimmed(),
              "weight 12.5  status -5002 (stable)");
    // The client released what it created: no object is left alive for the closing check.
    EXPECT_TRUE(client
                    .call(QDBusMessage::createMethodCall("Vesmera.ScAuto", "/Vesmera/ScAuto/1",
                                                         "Vesmera.IScAuto", "GetCount"))
                    .type() == QDBusMessage::ErrorMessage);

    QProcess watch;
    StartCli(watch, {"watch"}, bus.Address());
    QString out;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            out += QString::fromUtf8(watch.readAllStandardOutput());
            return out.contains("\"12,5\"");
        },
        20000))
        << out.toStdString();
    program->Terminal().SetWeight("20.25");
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            out += QString::fromUtf8(watch.readAllStandardOutput());
            return out.contains("\"20,25\"");
        },
        20000))
        << out.toStdString();
    EXPECT_TRUE(out.contains("weight 20.25  status -5002 (stable)")) << out.toStdString();
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(10000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}

TEST_F(LiveProgramTest, CliZeroLocalGetAndNetGetGoThroughTheProgram) {
    // The local mode's automation value, which this program in local mode holds: asked before
    // the zero, which the simulated terminal carries out by showing 0 from its next poll on.
    QProcess local;
    StartCli(local, {"local", "get"}, bus.Address());
    ASSERT_TRUE(local.waitForFinished(20000));
    EXPECT_EQ(local.exitCode(), 0) << local.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(local.readAllStandardOutput()).trimmed(),
              "weight 12.5  status -5002 (stable)");

    // Local mode: the program answers for the weight server with its "no answer" code.
    QProcess net;
    StartCli(net, {"net", "get", "T1"}, bus.Address());
    ASSERT_TRUE(net.waitForFinished(20000));
    EXPECT_EQ(net.exitCode(), 0) << net.readAllStandardError().toStdString();
    EXPECT_TRUE(net.readAllStandardOutput().startsWith("T1: weight -5008  status -5008\n"));

    QProcess zero;
    StartCli(zero, {"zero"}, bus.Address());
    ASSERT_TRUE(zero.waitForFinished(20000));
    EXPECT_EQ(zero.exitCode(), 0) << zero.readAllStandardError().toStdString();
    EXPECT_TRUE(test::WaitUntil([&] { return program->Terminal().ZeroRequests() == 1; }, 5000));
}

// The client's answers when nothing serves it: its own exit code and a line that says why.
TEST(CliWithoutProgram, SaysSoAndExitsWithTwo) {
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Running());
    for (const char* command : {"get", "watch", "zero"}) {
        QProcess cli;
        LiveProgramTest::StartCli(cli, {command}, bus.Address());
        ASSERT_TRUE(cli.waitForFinished(20000)) << command;
        EXPECT_EQ(cli.exitCode(), 2) << command;
        EXPECT_TRUE(cli.readAllStandardError().contains("Vesmera is not running")) << command;
        EXPECT_TRUE(cli.readAllStandardOutput().isEmpty()) << command;
    }

    QProcess noBus;
    LiveProgramTest::StartCli(noBus, {"get"}, "unix:path=/nonexistent/vesmera-no-bus");
    ASSERT_TRUE(noBus.waitForFinished(20000));
    EXPECT_EQ(noBus.exitCode(), 2);
    EXPECT_TRUE(noBus.readAllStandardError().contains("no session bus"));

    QProcess usage;
    usage.start(VESMERA_CLI, {"net", "get"});
    ASSERT_TRUE(usage.waitForFinished(20000));
    EXPECT_EQ(usage.exitCode(), 1);
    EXPECT_TRUE(usage.readAllStandardError().contains("usage: vesmera-cli"));
}

} // namespace
} // namespace vesmera

#include "live_program_test.moc"
