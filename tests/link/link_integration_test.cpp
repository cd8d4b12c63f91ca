// The poll cycle on a real serial port: TComPort on a pseudo-terminal, with the simulated
// terminal's protocol code answering on the master side in this process.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/shown_messages.h"
#include "link/comport.h"
#include "link/serial_link.h"
#include "link_fakes.h"
#include "terminal-sim/sim_pty.h"
#include "terminal-sim/sim_terminal.h"

namespace vesmera {
namespace {

constexpr int kSafetyMs = 5000; // only a bound for a broken test, never a timing rule

// Passes everything to the port and counts the bytes that went out, so the terminal side
// knows how much of a request it still has to wait for.
class CountingChannel final : public ISerialChannel {
public:
    explicit CountingChannel(ISerialChannel& port) : port_(port) {}
    void Open() override { port_.Open(); }
    void Close() override { port_.Close(); }
    bool Connected() const override { return port_.Connected(); }
    int WriteStr(const std::string& bytes) override {
        const int n = port_.WriteStr(bytes);
        written += static_cast<std::size_t>(n);
        return n;
    }
    int ReadStr(std::string& bytes, int count) override { return port_.ReadStr(bytes, count); }
    std::uint32_t DrainMs() override { return port_.DrainMs(); }

    std::size_t written = 0;

private:
    ISerialChannel& port_;
};

// The terminal on the far end of the line: a pseudo-terminal under a stable link name.
class Terminal {
public:
    Terminal(SimProtocol protocol, const CountingChannel& channel)
        : sim(protocol, 1), channel_(channel), pty_(SimPty::Slave::Held) {
        char dir[] = "/tmp/vesmera-link-XXXXXX";
        dir_ = ::mkdtemp(dir);
        link = dir_ + "/ttyTerminal";
        Appear();
    }
    ~Terminal() {
        pty_.Close();
        std::filesystem::remove_all(dir_);
    }

    void Appear() {
        pty_.Open();
        std::filesystem::remove(link);
        std::filesystem::create_symlink(pty_.SlavePath(), link);
        received_ = channel_.written;
    }
    void Vanish() { pty_.Close(); }
    // Pulled out: the node and its folder go, as udev removes an empty by-id folder.
    void Unplug() {
        pty_.Close();
        std::filesystem::remove_all(dir_);
    }
    void Plug() {
        std::filesystem::create_directories(dir_);
        Appear();
    }

    // Takes everything the program has written so far and answers it; returns once the
    // answer can be read on the program's side.
    void Serve() {
        if (!pty_.IsOpen())
            return;
        std::string answer;
        while (received_ < channel_.written) {
            ASSERT_TRUE(pty_.WaitReadable(kSafetyMs));
            const std::string bytes = pty_.ReadAvailable();
            received_ += bytes.size();
            answer += sim.Receive(bytes);
        }
        if (answer.empty())
            return;
        const std::size_t target = pty_.PendingAtSlave() + answer.size();
        pty_.Write(answer);
        ASSERT_TRUE(pty_.WaitDelivered(target, kSafetyMs));
    }

    SimTerminal sim;
    std::string link;

private:
    const CountingChannel& channel_;
    SimPty pty_;
    std::string dir_;
    std::size_t received_ = 0;
};

class LinkIntegrationTest : public ::testing::TestWithParam<SimProtocol> {
protected:
    LinkIntegrationTest() : channel(port), terminal(GetParam(), channel) {
        rig.settings.protocol = GetParam() == SimProtocol::Vorlen ? kProtocolVorlen : kProtocol643;
        rig.settings.port = terminal.link;
        port.SetPort(terminal.link);
        port.Open();
        rig.timer1.enabled = false;
        rig.timer5.enabled = false;
    }
    bool Vorlen() const { return GetParam() == SimProtocol::Vorlen; }
    // Runs the exchanges to their ends; the terminal answers whenever the program waits.
    void Finish() {
        rig.Finish([this] { terminal.Serve(); });
    }
    void Tick() {
        if (Vorlen())
            rig.link.TickVorlen();
        else
            rig.link.Tick643();
        Finish();
    }
    void SupervisionTick() {
        rig.link.SupervisionTick();
        Finish();
    }

    TComPort port;
    CountingChannel channel;
    Terminal terminal;
    testing::LinkRig rig{channel};
};

TEST_P(LinkIntegrationTest, FullPollThenZero) {
    terminal.sim.SetWeight(ParseSimWeight("1234.5").value());
    Tick();
    EXPECT_EQ(rig.state.errorCounter, 0);
    EXPECT_EQ(rig.state.weight, 1234.5L);
    EXPECT_EQ(rig.state.status, kStatusStable);
    EXPECT_EQ(rig.indicator.text, "1234,5");

    terminal.sim.SetWeight(ParseSimWeight("-12.5").value());
    terminal.sim.SetStable(false);
    Tick();
    EXPECT_EQ(rig.indicator.text, "-12,5");
    EXPECT_EQ(rig.state.status, kStatusUnstable);

    rig.timer5.enabled = !Vorlen();
    rig.link.Zero({});
    Finish();
    terminal.Serve(); // the last write of a zero request has no delay after it
    EXPECT_EQ(terminal.sim.ZeroRequests(), 1);
    EXPECT_EQ(rig.timer5.enabled, !Vorlen());
    // With "Ворлен" the answer to the zero frame comes first in this poll's reply and is
    // passed over.
    Tick();
    EXPECT_EQ(rig.state.errorCounter, 0);
    EXPECT_EQ(rig.indicator.text, "0");
    EXPECT_EQ(terminal.sim.WeightRequests(), 3);
}

// A terminal that answers random bytes (line noise, a wrong speed, two devices on one line)
// never shows a weight: every poll fails and the link is lost after the eleventh.
TEST_P(LinkIntegrationTest, GarbageRepliesAreNoWeightAndLoseTheLink) {
    terminal.sim.SetWeight(ParseSimWeight("5").value());
    Tick();
    ASSERT_EQ(rig.state.errorCounter, 0);
    terminal.sim.SetGarbage(true);
    for (int poll = 1; poll <= 11; ++poll) {
        Tick();
        ASSERT_EQ(rig.state.errorCounter, poll);
        ASSERT_EQ(rig.state.weight, poll <= 10 ? 5.0L : kNoTerminalLink);
    }
    EXPECT_EQ(rig.message.text, kMessageLinkLost);
}

TEST_P(LinkIntegrationTest, VanishedTerminalIsPickedUpAgainBySupervision) {
    terminal.sim.SetWeight(ParseSimWeight("5").value());
    Tick();
    ASSERT_EQ(rig.state.errorCounter, 0);

    terminal.Vanish();
    Tick();
    EXPECT_EQ(rig.state.errorCounter, 1);
    SupervisionTick();
    EXPECT_EQ(rig.message.text, kMessagePortFailed);
    EXPECT_EQ(rig.state.weight, kPortFailed);
    EXPECT_FALSE(port.Connected());

    terminal.Appear();
    SupervisionTick();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(rig.timer1.enabled, Vorlen());
    EXPECT_EQ(rig.timer5.enabled, !Vorlen());
    Tick(); // the probe "1" is in front of this request; the terminal skips it
    EXPECT_EQ(rig.state.errorCounter, 0);
    EXPECT_EQ(rig.indicator.text, "5");
    EXPECT_TRUE(rig.indicator.visible);
    EXPECT_FALSE(rig.message.visible);
}

// With the device watched, a pulled adapter's port is closed at once and a plugged one is
// opened, probed and polled again within the watch's gap, long before a supervision tick.
TEST_P(LinkIntegrationTest, ReplugReopensThePortWithoutWaitingForSupervision) {
    std::vector<std::string> notes;
    rig.link.WatchDevice([&notes](const std::string& text) { notes.push_back(text); });
    const auto pump = [this] {
        while (rig.scheduler.PumpDescriptors(50) > 0)
            Finish();
    };
    terminal.sim.SetWeight(ParseSimWeight("5").value());
    Tick();
    ASSERT_EQ(rig.state.errorCounter, 0);

    terminal.Unplug();
    pump();
    EXPECT_FALSE(port.Connected());
    Tick(); // polls on the closed port fail and count as before
    EXPECT_EQ(rig.state.errorCounter, 1);
    EXPECT_EQ(rig.state.weight, 5.0L);

    terminal.Plug();
    const std::int64_t pluggedAt = rig.scheduler.NowMs();
    for (int step = 0; step < 1000 && !port.Connected(); ++step) {
        pump();
        rig.scheduler.Advance(10);
    }
    EXPECT_TRUE(port.Connected());
    EXPECT_LT(rig.scheduler.NowMs() - pluggedAt, 200);
    Finish();
    EXPECT_EQ(rig.timer1.enabled, Vorlen());
    EXPECT_EQ(rig.timer5.enabled, !Vorlen());
    Tick();
    EXPECT_EQ(rig.state.errorCounter, 0);
    EXPECT_EQ(rig.indicator.text, "5");
    EXPECT_TRUE(notes.empty());
}

INSTANTIATE_TEST_SUITE_P(Protocols, LinkIntegrationTest,
                         ::testing::Values(SimProtocol::Vorlen, SimProtocol::P643),
                         [](const auto& info) {
                             return info.param == SimProtocol::Vorlen ? "Vorlen" : "P643";
                         });

} // namespace
} // namespace vesmera
