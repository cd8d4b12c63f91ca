#include <gtest/gtest.h>

#include "link/zero_command.h"
#include "link_fakes.h"

namespace vesmera {
namespace {

class ZeroCommandTest : public ::testing::Test {
protected:
    ZeroCommandTest() : channel(&log), sleeper(&log) {
        sleeper.onSleep = [this] { log.push_back(timer5.enabled ? "timer5 on" : "timer5 off"); };
    }

    testing::CallLog log;
    testing::FakeChannel channel;
    testing::FakeSleeper sleeper;
    testing::FakeTimer timer5;
    HeldSettings settings;
    ZeroCommand zero{channel, settings, sleeper, timer5};
};

TEST_F(ZeroCommandTest, VorlenWritesTheZeroFrameOnlyAndLeavesTheAnswerQueued) {
    settings.channel = 50;
    timer5.enabled = true;
    channel.responder = [](const std::string&) { return std::string("ack"); };
    zero.Run();
    EXPECT_EQ(log, (testing::CallLog{"write FF 32 C0 0D FF FF"}));
    EXPECT_EQ(channel.Queued(), "ack");
    EXPECT_TRUE(timer5.history.empty());
}

TEST_F(ZeroCommandTest, VorlenWriteFailureIsIgnored) {
    channel.open = false;
    EXPECT_NO_THROW(zero.Run());
    channel.open = true;
    channel.failWrite = true;
    EXPECT_NO_THROW(zero.Run());
}

TEST_F(ZeroCommandTest, Exchange643HoldsTimer5OffAndRestoresIt) {
    settings.protocol = kProtocol643;
    settings.channel = 1;
    settings.delayMs = 40;
    timer5.enabled = true;
    channel.responder = [](const std::string&) { return std::string("reply"); };
    zero.Run();
    EXPECT_EQ(log, (testing::CallLog{"sleep 40", "timer5 off", "write 02 01 30 30 30 31",
                                     "sleep 40", "timer5 off", "read 10", "write 0D"}));
    EXPECT_TRUE(timer5.enabled);
    EXPECT_EQ(channel.Queued(), "reply"); // the answer to CR is left for the next poll
}

TEST_F(ZeroCommandTest, Exchange643KeepsAStoppedTimer5Stopped) {
    settings.protocol = kProtocol643;
    timer5.enabled = false;
    zero.Run();
    EXPECT_FALSE(timer5.enabled);
}

struct FailRow {
    const char* name;
    bool portOpen;
    bool failWrite;
    bool failRead;
    std::size_t sleeps;
};

class Zero643FailureTest : public ZeroCommandTest, public ::testing::WithParamInterface<FailRow> {};

TEST_P(Zero643FailureTest, FailuresAreSwallowedAndSkipTheRest) {
    const auto& row = GetParam();
    settings.protocol = kProtocol643;
    channel.open = row.portOpen;
    channel.failWrite = row.failWrite;
    channel.failRead = row.failRead;
    timer5.enabled = true;
    EXPECT_NO_THROW(zero.Run());
    EXPECT_TRUE(timer5.enabled);
    EXPECT_EQ(sleeper.sleeps.size(), row.sleeps);
    EXPECT_EQ(std::count(log.begin(), log.end(), "write 0D"), 0);
}

INSTANTIATE_TEST_SUITE_P(Failures, Zero643FailureTest,
                         ::testing::Values(FailRow{"ClosedPort", false, false, false, 1},
                                           FailRow{"WriteFails", true, true, false, 1},
                                           FailRow{"ReadFails", true, false, true, 2}),
                         [](const auto& info) { return info.param.name; });

TEST_F(ZeroCommandTest, OtherProtocolSendsNothing) {
    settings.protocol = "Modbus";
    timer5.enabled = true;
    zero.Run();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(timer5.enabled);
}

} // namespace
} // namespace vesmera
