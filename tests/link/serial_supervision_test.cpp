#include <gtest/gtest.h>

#include <cerrno>

#include "common/shown_messages.h"
#include "comport_fake_backend.h"
#include "link/poll_timers.h"
#include "link_fakes.h"

namespace vesmera {
namespace {

class SerialSupervisionTest : public ::testing::Test {
protected:
    SerialSupervisionTest() : channel(&log) { timer5.enabled = false; }

    // One Timer4 tick, run to the end of its exchange.
    void Tick() {
        rig.link.SupervisionTick();
        rig.Finish();
    }
    void ExpectPortFailed() {
        EXPECT_FALSE(timer1.enabled);
        EXPECT_FALSE(timer5.enabled);
        EXPECT_EQ(state.weight, kPortFailed);
        EXPECT_FALSE(indicator.visible);
        EXPECT_TRUE(message.visible);
        EXPECT_EQ(message.text, kMessagePortFailed);
    }

    testing::CallLog log;
    testing::FakeChannel channel;
    testing::LinkRig rig{channel};
    testing::FakeIndicator& indicator = rig.indicator;
    testing::FakeMessage& message = rig.message;
    testing::FakeTimer& timer1 = rig.timer1;
    testing::FakeTimer& timer5 = rig.timer5;
    HeldSettings& settings = rig.settings;
    SharedWeightState& state = rig.state;
};

TEST_F(SerialSupervisionTest, OpensProbesAndSelectsThePollTimer) {
    settings.protocol = kProtocol643;
    Tick();
    EXPECT_EQ(log, (testing::CallLog{"open", "write 31"}));
    EXPECT_FALSE(timer1.enabled);
    EXPECT_TRUE(timer5.enabled);
    settings.protocol = kProtocolVorlen;
    Tick();
    EXPECT_TRUE(timer1.enabled);
    EXPECT_FALSE(timer5.enabled);
}

TEST_F(SerialSupervisionTest, OtherProtocolTextLeavesTimersAlone) {
    settings.protocol = "6.44";
    timer5.enabled = true;
    Tick();
    EXPECT_TRUE(timer1.enabled);
    EXPECT_TRUE(timer5.enabled);
    EXPECT_TRUE(timer1.history.empty());
}

TEST_F(SerialSupervisionTest, NetworkModeDoesNothing) {
    settings.networkMode = true;
    channel.open = false;
    channel.failOpen = true;
    state.weight = 12;
    Tick();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(state.weight, 12);
    EXPECT_TRUE(timer1.enabled);
    EXPECT_TRUE(message.text.empty());
}

struct FailureRow {
    const char* name;
    bool failOpen;
    bool failWrite;
    bool portOpen;
};

class SupervisionFailureTest : public SerialSupervisionTest,
                               public ::testing::WithParamInterface<FailureRow> {};

TEST_P(SupervisionFailureTest, StopsPollsClosesAndShowsTheMessage) {
    const auto& row = GetParam();
    channel.open = row.portOpen;
    channel.failOpen = row.failOpen;
    channel.failWrite = row.failWrite;
    state.status = kStatusStable;
    state.errorCounter = 4;
    timer5.enabled = true;
    EXPECT_NO_THROW(Tick());
    ExpectPortFailed();
    EXPECT_EQ(state.status, kStatusStable);
    EXPECT_EQ(state.errorCounter, 4);
    EXPECT_EQ(log.back(), "close");
    EXPECT_FALSE(channel.open);
}

INSTANTIATE_TEST_SUITE_P(Failures, SupervisionFailureTest,
                         ::testing::Values(FailureRow{"OpenFails", true, false, false},
                                           FailureRow{"WriteFails", false, true, true},
                                           FailureRow{"ClosedPortWriteFails", false, true, false}),
                         [](const auto& info) { return info.param.name; });

// The real port over a device that refuses both the probe and the abort of its transfers:
// the failure is shown, the device is given up all the same, and the next tick opens it anew.
TEST(SerialSupervisionPort, FailingCloseIsIgnoredButTheDeviceIsGivenUp) {
    test::FakePortRig port;
    testing::LinkRig rig{port.port};
    port.port.SetPort("Com3");
    port.port.Open();
    port.device.writeError = EIO;
    port.device.abortError = EIO;
    rig.link.SupervisionTick();
    rig.Finish();
    EXPECT_EQ(rig.state.weight, kPortFailed);
    EXPECT_EQ(rig.message.text, kMessagePortFailed);
    EXPECT_FALSE(rig.timer1.enabled);
    EXPECT_FALSE(port.port.Connected());
    EXPECT_EQ(port.device.closes, 1);
    EXPECT_FALSE(port.device.open);

    port.device.writeError = 0;
    port.device.abortError = 0;
    rig.link.SupervisionTick();
    rig.Finish();
    EXPECT_EQ(port.device.openedPaths, (std::vector<std::string>{"/dev/ttyS2", "/dev/ttyS2"}));
    EXPECT_EQ(port.device.written, "1");
    EXPECT_TRUE(port.port.Connected());
    EXPECT_TRUE(rig.timer1.enabled);
}

TEST_F(SerialSupervisionTest, RecoveryReopensAndRestartsThePollTimer) {
    channel.open = false;
    channel.failOpen = true;
    Tick();
    ExpectPortFailed();
    Tick();
    ExpectPortFailed();

    channel.failOpen = false;
    log.clear();
    Tick();
    EXPECT_EQ(log, (testing::CallLog{"open", "write 31"}));
    EXPECT_TRUE(timer1.enabled);
    EXPECT_FALSE(timer5.enabled);
    // The message stays until a poll shows the indicator again.
    EXPECT_TRUE(message.visible);
    EXPECT_EQ(state.weight, kPortFailed);
}

TEST(PollTimers, SelectionRule) {
    testing::FakeTimer t1, t5{true};
    EXPECT_TRUE(SelectPollTimer(kProtocolVorlen, t1, t5));
    EXPECT_TRUE(t1.enabled);
    EXPECT_FALSE(t5.enabled);
    EXPECT_TRUE(SelectPollTimer(kProtocol643, t1, t5));
    EXPECT_FALSE(t1.enabled);
    EXPECT_TRUE(t5.enabled);
    EXPECT_FALSE(SelectPollTimer("ворлен", t1, t5));
    EXPECT_FALSE(t1.enabled);
    EXPECT_TRUE(t5.enabled);
}

TEST_F(SerialSupervisionTest, AFailedReopenKeepsTheReasonForTheUser) {
    const FailureReport& report = rig.failures;
    channel.open = false;
    channel.failOpen = true;
    Tick();
    ExpectPortFailed();
    EXPECT_EQ(report.Text(), "Unable to open com port (Error: 2)");
    // A port that opens again is not yet a reading: only a successful poll clears the reason.
    channel.failOpen = false;
    Tick();
    EXPECT_EQ(report.Text(), "Unable to open com port (Error: 2)");
}

} // namespace
} // namespace vesmera
