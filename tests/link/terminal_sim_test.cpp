#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "common/shown_messages.h"
#include "link/protocol_643.h"
#include "link/vorlen_protocol.h"
#include "link_fakes.h"
#include "terminal-sim/sim_pty.h"
#include "terminal-sim/sim_terminal.h"

namespace vesmera {
namespace {

using testing::Bytes;
using testing::Hex;

SimWeight W(const char* text) {
    return ParseSimWeight(text).value();
}

TEST(SimWeightText, ParsesWithinSixDigits) {
    EXPECT_EQ(W("1234.56").scaled, 123456);
    EXPECT_EQ(W("1234.56").decimals, 2);
    EXPECT_EQ(W("-12,5").scaled, -125);
    EXPECT_EQ(W("000012").scaled, 12);
    EXPECT_EQ(FormatSimWeight(W("0.05")), "0.05");
    EXPECT_EQ(FormatSimWeight(W("-12.50")), "-12.50");
    for (const char* bad : {"", "-", "1234567", "1.23456", "12a", "1.2.3", "."})
        EXPECT_FALSE(ParseSimWeight(bad)) << bad;
}

struct SimReplyRow {
    const char* name;
    SimProtocol protocol;
    const char* weight;
    bool stable;
    bool overload;
    std::string reply; // as hex
};

class SimReplyTest : public ::testing::TestWithParam<SimReplyRow> {};

TEST_P(SimReplyTest, AnswersTheWeightRequest) {
    const auto& row = GetParam();
    SimTerminal sim(row.protocol, 10);
    sim.SetWeight(W(row.weight));
    sim.SetStable(row.stable);
    sim.SetOverload(row.overload);
    const std::string reply =
        sim.Receive(row.protocol == SimProtocol::Vorlen ? VorlenFrame(10, kVorlenWeightCommand)
                                                        : AddressText643(10) + kDle);
    if (row.protocol == SimProtocol::P643) {
        EXPECT_EQ(Hex(reply), row.reply);
        return;
    }
    // Seven bytes of content, the CRC over bytes 2 to 7, and the two end marks.
    ASSERT_EQ(reply.size(), 10u);
    EXPECT_EQ(Hex(reply.substr(0, 7)), row.reply);
    EXPECT_EQ(VorlenCrc8(std::string_view(reply).substr(1, 6)),
              static_cast<std::uint8_t>(reply[7]));
    EXPECT_EQ(Hex(reply.substr(8)), "FF FF");
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SimReplyTest,
    ::testing::Values(
        SimReplyRow{"VorlenStable", SimProtocol::Vorlen, "1234.56", true, false,
                    "FF 0A C3 56 34 12 12"},
        SimReplyRow{"VorlenNegative", SimProtocol::Vorlen, "-12345.6", true, false,
                    "FF 0A C3 56 34 12 91"},
        SimReplyRow{"VorlenUnstable", SimProtocol::Vorlen, "10.00", false, false,
                    "FF 0A C3 00 10 00 02"},
        SimReplyRow{"VorlenOverload", SimProtocol::Vorlen, "500", true, true,
                    "FF 0A C3 00 00 00 18"},
        SimReplyRow{"Stable643", SimProtocol::P643, "123.45", true, false, Hex("\x02 123.450\r")},
        SimReplyRow{"Unstable643", SimProtocol::P643, "123.45", false, false,
                    Hex("\x02 123.451\r")},
        SimReplyRow{"Negative643", SimProtocol::P643, "-12.5", true, false, Hex("\x02-  12.50\r")},
        SimReplyRow{"TooWide643", SimProtocol::P643, "12345.6", true, false, Hex("\x02-------0\r")},
        SimReplyRow{"Overload643", SimProtocol::P643, "1", true, true, Hex("\x02 OVERLD0\r")}),
    [](const auto& info) { return info.param.name; });

TEST(SimVorlen, IgnoresOtherAddressesBadFramesAndNoise) {
    SimTerminal sim(SimProtocol::Vorlen, 2);
    EXPECT_EQ(sim.Receive(Bytes({0xFF, 0x01, 0xC3, 0xE3, 0xFF, 0xFF})), "");
    EXPECT_EQ(sim.Receive("1"), "");
    EXPECT_TRUE(sim.Idle());
    EXPECT_EQ(sim.Receive(Bytes({0xFF, 0x02, 0xC3, 0x00, 0xFF, 0xFF})), ""); // bad CRC
    EXPECT_EQ(sim.WeightRequests(), 0);
    // Noise in front and a frame in two pieces still make one request.
    EXPECT_EQ(sim.Receive(Bytes({0x31, 0xFF, 0xFF, 0x02, 0xC3})), "");
    EXPECT_FALSE(sim.Idle());
    EXPECT_EQ(sim.Receive(Bytes({0xE6, 0xFF, 0xFF})).size(), 10u);
    EXPECT_TRUE(sim.Idle());
    EXPECT_EQ(sim.WeightRequests(), 1);
}

TEST(SimVorlen, ZeroRequestZeroesAndAcknowledges) {
    SimTerminal sim(SimProtocol::Vorlen, 50);
    sim.SetWeight(W("12.5"));
    EXPECT_EQ(Hex(sim.Receive(Bytes({0xFF, 0x32, 0xC0, 0x0D, 0xFF, 0xFF}))), "FF 32 C0 0D FF FF");
    EXPECT_EQ(sim.Weight().scaled, 0);
    EXPECT_EQ(sim.ZeroRequests(), 1);
}

TEST(SimTerminalModes, SilenceAnswersNothingGarbageAnswersNoise) {
    SimTerminal sim(SimProtocol::Vorlen, 1, 7);
    const std::string request = Bytes({0xFF, 0x01, 0xC3, 0xE3, 0xFF, 0xFF});
    sim.SetSilent(true);
    EXPECT_EQ(sim.Receive(request), "");
    sim.SetSilent(false);
    sim.SetGarbage(true);
    const std::string a = sim.Receive(request);
    const std::string b = sim.Receive(request);
    EXPECT_FALSE(a.empty());
    EXPECT_NE(a, b);
    sim.SetGarbage(false);
    EXPECT_EQ(sim.Receive(request).size(), 10u);
}

TEST(SimTerminalModes, NoiseIsRandomBytesOfTheAskedCountAndChangesNothingElse) {
    SimTerminal sim(SimProtocol::Vorlen, 1, 3);
    sim.SetWeight(W("12.5"));
    const std::string a = sim.Noise(100);
    const std::string b = sim.Noise(100);
    EXPECT_EQ(a.size(), 100u);
    EXPECT_NE(a, b);
    EXPECT_EQ(sim.Noise(0), "");
    // A run of equal bytes would be a poor stand-in for line noise.
    EXPECT_GT(std::set<char>(a.begin(), a.end()).size(), 20u);
    EXPECT_EQ(sim.WeightRequests(), 0);
    EXPECT_EQ(FormatSimWeight(sim.Weight()), "12.5");
    EXPECT_TRUE(sim.Idle());
    EXPECT_EQ(sim.Receive(Bytes({0xFF, 0x01, 0xC3, 0xE3, 0xFF, 0xFF})).size(), 10u);
}

TEST(SimTerminalModes, DriftMovesAfterEachReadingAndTurnsAtTheLimit) {
    SimTerminal sim(SimProtocol::Vorlen, 1);
    sim.SetWeight(W("9"));
    sim.SetDrift(W("0.5"), W("10"));
    const std::string request = Bytes({0xFF, 0x01, 0xC3, 0xE3, 0xFF, 0xFF});
    std::vector<std::string> seen;
    for (int i = 0; i < 5; ++i) {
        sim.Receive(request);
        seen.push_back(FormatSimWeight(sim.Weight()));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"9.5", "10.0", "9.5", "9.0", "8.5"}));
}

TEST(Sim643, OtherAddressesAndZero) {
    SimTerminal sim(SimProtocol::P643, 7);
    sim.SetWeight(W("5"));
    EXPECT_EQ(sim.Receive("\x02\x01"
                          "0008\x10"),
              "");
    EXPECT_EQ(sim.Receive("\x02\x01"
                          "0007\r"),
              "\x06");
    EXPECT_EQ(sim.Weight().scaled, 0);
    SimTerminal negative(SimProtocol::P643, -3);
    EXPECT_EQ(negative
                  .Receive("\x02\x01"
                           "000-3\x10")
                  .size(),
              10u);
}

// The poll cycle against the simulator's protocol code, the line replaced by a fake channel
// that hands every write to the terminal.
class PollAgainstSimTest : public ::testing::TestWithParam<SimProtocol> {
protected:
    PollAgainstSimTest() : sim(GetParam(), 1) {
        channel.responder = [this](const std::string& bytes) { return sim.Receive(bytes); };
        settings.protocol = GetParam() == SimProtocol::Vorlen ? kProtocolVorlen : kProtocol643;
        sim.SetWeight(W("1234.5"));
    }
    void Tick() {
        if (GetParam() == SimProtocol::Vorlen)
            rig.link.TickVorlen();
        else
            rig.link.Tick643();
        rig.Finish();
    }

    SimTerminal sim;
    testing::FakeChannel channel;
    testing::LinkRig rig{channel};
    HeldSettings& settings = rig.settings;
    SharedWeightState& state = rig.state;
    testing::FakeIndicator& indicator = rig.indicator;
    testing::FakeMessage& message = rig.message;
};

TEST_P(PollAgainstSimTest, ReadsZeroesAndLosesTheSilentTerminal) {
    Tick();
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_EQ(indicator.text, "1234,5");
    EXPECT_EQ(state.status, kStatusStable);

    rig.link.Zero({});
    rig.Finish();
    EXPECT_EQ(sim.ZeroRequests(), 1);
    // A "Ворлен" zero frame's answer sits in front of the reply and is passed over.
    Tick();
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_EQ(indicator.text, "0");

    sim.SetSilent(true);
    for (int i = 0; i < 11; ++i)
        Tick();
    EXPECT_EQ(message.text, kMessageLinkLost);
    sim.SetSilent(false);
    sim.SetStable(false);
    sim.SetWeight(W("-7.25"));
    Tick();
    EXPECT_EQ(indicator.text, "-7,25");
    EXPECT_EQ(state.status, kStatusUnstable);
    EXPECT_TRUE(indicator.visible);
}

INSTANTIATE_TEST_SUITE_P(Protocols, PollAgainstSimTest,
                         ::testing::Values(SimProtocol::Vorlen, SimProtocol::P643));

TEST(SimPtyDevice, CarriesBytesBothWaysAndVanishes) {
    SimPty pty(SimPty::Slave::Held);
    pty.Open();
    const std::string path = pty.SlavePath();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const std::string request = Bytes({0xFF, 0x01, 0xC3, 0xE3, 0xFF, 0xFF, 0x0D, 0x00});
    ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    ASSERT_TRUE(pty.WaitReadable(5000));
    EXPECT_EQ(Hex(pty.ReadAvailable()), Hex(request)); // raw: no CR translation, NUL kept
    pty.Write("\x0D\xFF");
    ASSERT_TRUE(pty.WaitDelivered(2, 5000));
    EXPECT_EQ(pty.PendingAtSlave(), 2u);
    char buf[8];
    EXPECT_EQ(::read(fd, buf, sizeof buf), 2);
    EXPECT_EQ(Hex(std::string(buf, 2)), "0D FF");
    pty.Close();
    EXPECT_LT(::write(fd, "x", 1), 0); // the far end is gone
    ::close(fd);
    struct stat st {};
    EXPECT_NE(::stat(path.c_str(), &st), 0);
}

} // namespace
} // namespace vesmera
