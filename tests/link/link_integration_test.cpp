// The poll cycle on a real serial port: TComPort on a pseudo-terminal, with the simulated
// terminal's protocol code answering on the master side in this process.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "link/comport.h"
#include "link/link_display.h"
#include "link/serial_poller.h"
#include "link/serial_supervision.h"
#include "link/zero_command.h"
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

// The delay of a poll is when the terminal answers.
class ServingSleeper final : public ISleeper {
public:
    void Sleep(std::uint32_t ms) override {
        sleeps.push_back(ms);
        if (terminal)
            terminal->Serve();
    }
    Terminal* terminal = nullptr;
    std::vector<std::uint32_t> sleeps;
};

class LinkIntegrationTest : public ::testing::TestWithParam<SimProtocol> {
protected:
    LinkIntegrationTest() : channel(port), terminal(GetParam(), channel) {
        sleeper.terminal = &terminal;
        settings.protocol = GetParam() == SimProtocol::Vorlen ? kProtocolVorlen : kProtocol643;
        settings.port = terminal.link;
        port.SetPort(terminal.link);
        port.Open();
    }
    bool Vorlen() const { return GetParam() == SimProtocol::Vorlen; }
    void Tick() {
        if (Vorlen())
            poller.VorlenTick();
        else
            poller.Tick643();
    }

    TComPort port;
    CountingChannel channel;
    Terminal terminal;
    ServingSleeper sleeper;
    testing::FakeIndicator indicator;
    testing::FakeMessage message;
    testing::FakeTimer timer1;
    testing::FakeTimer timer5;
    HeldSettings settings;
    SharedWeightState state;
    SerialPoller poller{channel, settings, state, indicator, message, sleeper, ','};
    SerialSupervision supervision{channel, settings, state, indicator, message, timer1, timer5};
    ZeroCommand zero{channel, settings, sleeper, timer5};
};

TEST_P(LinkIntegrationTest, FullPollThenZero) {
    terminal.sim.SetWeight(ParseSimWeight("1234.5").value());
    Tick();
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_EQ(state.weight, 1234.5L);
    EXPECT_EQ(state.status, kStatusStable);
    EXPECT_EQ(indicator.text, "1234,5");
    EXPECT_EQ(sleeper.sleeps.size(), Vorlen() ? 1u : 2u);

    terminal.sim.SetWeight(ParseSimWeight("-12.5").value());
    terminal.sim.SetStable(false);
    Tick();
    EXPECT_EQ(indicator.text, "-12,5");
    EXPECT_EQ(state.status, kStatusUnstable);

    timer5.enabled = !Vorlen();
    zero.Run();
    terminal.Serve(); // the last write of a zero request has no delay after it
    EXPECT_EQ(terminal.sim.ZeroRequests(), 1);
    EXPECT_EQ(timer5.enabled, !Vorlen());
    Tick();
    if (Vorlen()) {
        // The answer to the zero frame comes first in this poll's reply.
        EXPECT_EQ(state.errorCounter, 1);
        Tick();
    }
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_EQ(indicator.text, "0");
    EXPECT_EQ(terminal.sim.WeightRequests(), Vorlen() ? 4 : 3);
}

TEST_P(LinkIntegrationTest, VanishedTerminalIsPickedUpAgainBySupervision) {
    terminal.sim.SetWeight(ParseSimWeight("5").value());
    Tick();
    ASSERT_EQ(state.errorCounter, 0);

    terminal.Vanish();
    Tick();
    EXPECT_EQ(state.errorCounter, 1);
    supervision.Tick();
    EXPECT_EQ(message.text, kMessagePortFailed);
    EXPECT_EQ(state.weight, kWeightPortFailed);
    EXPECT_FALSE(port.Connected());

    terminal.Appear();
    supervision.Tick();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(timer1.enabled, Vorlen());
    EXPECT_EQ(timer5.enabled, !Vorlen());
    Tick(); // the probe "1" is in front of this request; the terminal skips it
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_EQ(indicator.text, "5");
    EXPECT_TRUE(indicator.visible);
    EXPECT_FALSE(message.visible);
}

INSTANTIATE_TEST_SUITE_P(Protocols, LinkIntegrationTest,
                         ::testing::Values(SimProtocol::Vorlen, SimProtocol::P643),
                         [](const auto& info) {
                             return info.param == SimProtocol::Vorlen ? "Vorlen" : "P643";
                         });

} // namespace
} // namespace vesmera
