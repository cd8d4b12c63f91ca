#include <chrono>
#include <string>

#include <gtest/gtest.h>

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

} // namespace
} // namespace vesmera
