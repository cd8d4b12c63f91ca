#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

#include <gtest/gtest.h>

#include "automation/private_bus.h"
#include "live_program.h"
#include "program_harness.h"
#include "terminal-sim/sim_terminal.h"

namespace vesmera {
namespace {

using namespace std::chrono_literals;
using namespace harness;

// The weight request for address 1 as it must appear on the line.
const std::string kRequest("\xFF\x01\xC3\xE3\xFF\xFF", 6);

// The real executable in a folder of its own, with its own Vesmera.ini pointing at a
// pseudo-terminal that the simulator's protocol code answers as a terminal at address 1
// weighing a stable 12,5.
TEST(EndToEnd, VorlenRequestsArriveAndTheStableWeightIsLit) {
    auto x = XServer::Start();
    if (!x) {
        GTEST_SKIP() << "Xvfb cannot be started here";
    }
    PtyMaster line;
    TempFolder folder;
    folder.CopyExecutable(VESMERA_EXECUTABLE, "vesmera");
    folder.WriteFile("Vesmera.ini", LocalSettings(line.SlavePath()));
    ChildProcess program(folder.Path() + "/vesmera", {},
                         {"DISPLAY=" + x->Display(), "QT_QPA_PLATFORM=xcb",
                          "LC_ALL=", "LC_NUMERIC=", "LANG=ru_RU.UTF-8",
                          "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/vesmera-no-bus"},
                         folder.Path());

    SimTerminal terminal(SimProtocol::Vorlen, 1);
    terminal.SetWeight(*ParseSimWeight("12.5"));
    terminal.SetStable(true);
    std::string received;
    const auto until = Clock::now() + 20s;
    while (terminal.WeightRequests() < 15 && Clock::now() < until && program.Running()) {
        const std::string bytes = line.Read(100ms);
        received += bytes;
        const std::string reply = terminal.Receive(bytes);
        if (!reply.empty()) {
            line.Write(reply);
        }
    }
    ASSERT_GE(terminal.WeightRequests(), 15) << "received: " << SpacedHex(received);
    // Nothing but whole weight requests (and the supervision's probe byte "1").
    std::string rest = received;
    for (std::size_t at; (at = rest.find(kRequest)) != std::string::npos;) {
        rest.erase(at, kRequest.size());
    }
    EXPECT_EQ(rest.find_first_not_of('1'), std::string::npos) << SpacedHex(rest);
    EXPECT_EQ(terminal.ZeroRequests(), 0);

    // The last replies have been drawn by now: the digits are lit in the stable colour.
    const QImage shot = Screenshot(x->Display());
    ASSERT_FALSE(shot.isNull());
    const QRect window(0, 0, 403, 150);
    EXPECT_GT(CountPixels(shot, window, QColor(0, 128, 0), 30), 1000);
    EXPECT_EQ(CountPixels(shot, window, QColor(255, 0, 0), 30), 0);
    EXPECT_TRUE(program.Running());
}

// The window's thread never waits on the line: a client's call made while a "6.43" exchange
// waits for its delay is answered before the exchange goes on to its next step. A program that
// slept through the delay would answer only after the DLE had gone out.
TEST(EndToEnd, ABusCallDuringA643ExchangeIsAnsweredBeforeItsNextStep) {
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Running());
    PtyMaster line;
    TempFolder folder;
    folder.CopyExecutable(VESMERA_EXECUTABLE, "vesmera");
    folder.WriteFile("Vesmera.ini", LocalSettings(line.SlavePath(), "6.43", 1000));
    ChildProcess program(folder.Path() + "/vesmera", {},
                         {"QT_QPA_PLATFORM=offscreen", "LC_ALL=", "LC_NUMERIC=", "LANG=ru_RU.UTF-8",
                          "DBUS_SESSION_BUS_ADDRESS=" + bus.Address().toStdString()},
                         folder.Path());
    QDBusConnection client = bus.Connect("client");
    ASSERT_TRUE(test::WaitUntil(
        [&] { return client.interface()->isServiceRegistered("Vesmera.ScAuto").value(); }, 20000));
    const QString object =
        client
            .call(QDBusMessage::createMethodCall("Vesmera.ScAuto", "/Vesmera/ScAuto",
                                                 "Vesmera.ClassFactory", "CreateInstance"))
            .arguments()
            .value(0)
            .value<QDBusObjectPath>()
            .path();
    ASSERT_FALSE(object.isEmpty());

    // The address text starts an exchange; the call goes out as soon as it is seen.
    const std::string address("\x02\x01"
                              "0001");
    std::string received;
    auto until = Clock::now() + 20s;
    while (received.find(address) == std::string::npos && Clock::now() < until)
        received += line.Read(20ms);
    ASSERT_NE(received.find(address), std::string::npos) << SpacedHex(received);
    received.erase(0, received.find(address) + address.size());
    QDBusMessage call =
        QDBusMessage::createMethodCall("Vesmera.ScAuto", object, "Vesmera.IScAuto", "GetWeight");
    call.setArguments({QVariant::fromValue(short(0)), QVariant::fromValue(short(0))});
    QDBusPendingCall pending = client.asyncCall(call, 20000);

    std::vector<std::string> order;
    bool answered = false;
    bool dleSeen = false;
    until = Clock::now() + 20s;
    while (!(answered && dleSeen) && Clock::now() < until) {
        QCoreApplication::processEvents();
        if (!answered && pending.isFinished()) {
            answered = true;
            order.push_back("answer");
        }
        received += line.Read(2ms);
        if (!dleSeen && received.find('\x10') != std::string::npos) {
            dleSeen = true;
            order.push_back("DLE");
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"answer", "DLE"}));
    EXPECT_FALSE(pending.isError()) << pending.error().message().toStdString();
    EXPECT_TRUE(program.Running());
}

// A service manager's SIGTERM or a Ctrl+C ends the program as "Выход" does: the port is closed
// and its exclusive flag cleared. A pseudo-terminal keeps the flag past the holder's death, so
// a program killed with the port open locks every later ordinary user out with EBUSY.
class Termination : public ::testing::TestWithParam<int> {};

TEST_P(Termination, EndsThroughTheExitPathAndLeavesThePortOpenable) {
    LiveProgram program(VESMERA_EXECUTABLE, "unix:path=/nonexistent/vesmera-no-bus");
    const auto until = Clock::now() + 20s;
    while (program.Terminal().WeightRequests() < 3 && Clock::now() < until &&
           program.Process().Running())
        std::this_thread::sleep_for(20ms);
    ASSERT_GE(program.Terminal().WeightRequests(), 3) << "the program never polled its port";

    ASSERT_EQ(::kill(program.Process().Pid(), GetParam()), 0);
    while (program.Process().Running() && Clock::now() < until + 10s)
        std::this_thread::sleep_for(20ms);
    ASSERT_FALSE(program.Process().Running());
    const int status = program.Process().Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFSIGNALED(status) ? "killed by signal " : "exit status ")
        << (WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));

    const int fd = ::open(program.Terminal().Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Signals, Termination, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

} // namespace
} // namespace vesmera
