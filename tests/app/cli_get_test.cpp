#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>

#include <gtest/gtest.h>

#include "automation/private_bus.h"

namespace vesmera {
namespace {

// A program on the bus as vesmera-cli meets it: the name Vesmera.ScAuto and the live reading
// /Vesmera/Reading with the values a row gives.
class FakeReading : public QDBusVirtualObject {
public:
    QVariantList get;
    QString terminal;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != "Vesmera.Reading")
            return false;
        if (message.member() == "Get")
            return connection.send(message.createReply(get));
        if (message.member() == "Terminal")
            return connection.send(message.createReply(terminal));
        return false;
    }
    QString introspect(const QString&) const override { return QString(); }
};

struct GetRow {
    const char* name;
    double weight;
    int status;
    const char* text;
    qulonglong sequence;
    bool fresh;
    const char* terminal;
    const char* line;
};

class CliGetTest : public ::testing::TestWithParam<GetRow> {};

// `get` prints what the window shows in either mode, never the local-mode automation value.
TEST_P(CliGetTest, PrintsTheLiveReading) {
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Running());
    QDBusConnection program = bus.Connect("program");
    FakeReading reading;
    const GetRow& row = GetParam();
    reading.get = {row.weight,   row.status, QString::fromUtf8(row.text), qlonglong{1765368000000},
                   row.sequence, row.fresh};
    reading.terminal = QString::fromUtf8(row.terminal);
    ASSERT_TRUE(program.registerVirtualObject("/Vesmera/Reading", &reading));
    ASSERT_TRUE(program.registerService("Vesmera.ScAuto"));

    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    cli.setProcessEnvironment(env);
    cli.start(VESMERA_CLI, {"get"});
    // The fake answers from this thread's event loop.
    ASSERT_TRUE(test::WaitUntil([&] { return cli.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(cli.readAllStandardOutput()), QString::fromUtf8(row.line) + "\n");
    program.unregisterObject("/Vesmera/Reading");
}

INSTANTIATE_TEST_SUITE_P(
    Readings, CliGetTest,
    ::testing::Values(
        GetRow{"LocalFresh", 12.5, -5002, "12,5", 7, true, "",
               "weight 12.5  status -5002 (stable)"},
        GetRow{"NetworkNamesTheTerminal", 1234.56, -5003, "1234,56", 3, true, "Весы 1",
               "Весы 1: weight 1234.56  status -5003 (unstable)"},
        GetRow{"ARealZero", 0, -5002, "0", 4, true, "", "weight 0  status -5002 (stable)"},
        GetRow{"NothingShownYet", 0, 0, "", 0, false, "", "no reading yet"},
        GetRow{"StartedButNotPolled", 0, 0, "0", 1, false, "", "no reading yet"},
        GetRow{"NetworkNotPolled", 0, 0, "0", 1, false, "T1", "T1: no reading yet"},
        GetRow{"MessageInPlace", 12.5, -5002, "С терминалом нет связи", 9, false, "",
               "weight 12.5  status -5002 (stable)  \"С терминалом нет связи\" (not fresh)"},
        GetRow{"ServerErrorShown", -5001, -5003, "Нет связи", 5, false, "Весы 2",
               "Весы 2: weight -5001  status -5003 (unstable)  \"Нет связи\" (not fresh)"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace vesmera
