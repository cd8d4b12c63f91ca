// The port's own logic against a fake device: failures a pseudo-terminal cannot produce, the
// write time-out on a fake clock, and when settings reach the device.
#include "link/comport_fake_backend.h"
#include "link/comport_raised.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>

namespace vesmera {
namespace {

using test::FakeDeviceState;
using test::FakePortRig;
using test::Raised;

class ComPortFakeTest : public ::testing::Test {
protected:
    void OpenPort() {
        rig.port.SetPort("Com3");
        rig.port.Open();
        ASSERT_TRUE(rig.port.Connected());
    }
    FakePortRig rig;
    TComPort& port = rig.port;
    FakeDeviceState& device = rig.device;
};

TEST_F(ComPortFakeTest, OpenMapsTheNameAndAppliesQueuesLineStateAndTimeoutsOnce) {
    port.SetBaudRate(br19200);
    OpenPort();
    ASSERT_EQ(device.openedPaths, std::vector<std::string>{"/dev/ttyS2"});
    EXPECT_EQ(device.queueSizes,
              (std::vector<std::pair<std::int32_t, std::int32_t>>{{1024, 1024}}));
    ASSERT_EQ(device.lineStates.size(), 1u);
    EXPECT_EQ(device.timeouts, std::vector<TComTimeoutValues>{TComTimeoutValues{}});
    EXPECT_EQ(device.timeouts[0].readInterval, 0xFFFFFFFFu);

    // ComPort1's line: 19200 8-N-1, raw, no handshake, DTR and RTS off, NUL bytes kept.
    const TComLineState& s = device.lineStates[0];
    EXPECT_EQ(s.baudRate, 19200);
    EXPECT_EQ(s.byteSize, 8);
    EXPECT_EQ(s.parity, prNone);
    EXPECT_EQ(s.stopBits, sbOneStopBit);
    EXPECT_TRUE(s.binary);
    EXPECT_FALSE(s.parityCheck || s.outCtsFlow || s.outDsrFlow || s.outX || s.inX ||
                 s.discardNull || s.errorCharReplace || s.abortOnError || s.dsrSensitivity ||
                 s.txContinueOnXoff);
    EXPECT_EQ(s.dtrControl, dtrDisable);
    EXPECT_EQ(s.rtsControl, rtsDisable);
    EXPECT_EQ(s.xonLimit, 256);
    EXPECT_EQ(s.xoffLimit, 256);
    EXPECT_EQ(s.xonChar, 17);
    EXPECT_EQ(s.xoffChar, 19);
    EXPECT_EQ(s.errorChar, 0);

    // Open on an open port re-applies nothing.
    port.Open();
    EXPECT_EQ(device.openedPaths.size(), 1u);
    EXPECT_EQ(device.lineStates.size(), 1u);
}

TEST_F(ComPortFakeTest, OpenRefusedByTheDeviceIsCodeOneWithItsErrno) {
    device.openError = EACCES;
    port.SetPort("/dev/ttyUSB0");
    EComPort e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.Code(), CE_OpenFailed);
    EXPECT_EQ(e.Message(), "Unable to open com port (Error: 13)");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(device.openedPaths, std::vector<std::string>{"/dev/ttyUSB0"});
}

TEST_F(ComPortFakeTest, UnknownNameFailsWithEnoentWithoutTouchingAnyDevice) {
    for (const char* name : {"Foo", "", "Com0", "ttyS0"}) {
        port.SetPort(name);
        EComPort e = Raised([&] { port.Open(); });
        EXPECT_EQ(e.Code(), CE_OpenFailed) << name;
        EXPECT_EQ(e.WinCode(), ENOENT) << name;
    }
    EXPECT_TRUE(device.openedPaths.empty());
}

struct OpenStepFailure {
    int FakeDeviceState::*error;
    std::int32_t code;
    const char* message;
};

class ComPortOpenStepTest : public ::testing::TestWithParam<OpenStepFailure> {};

TEST_P(ComPortOpenStepTest, FailureAfterTheDeviceOpenedClosesItAgain) {
    FakePortRig rig;
    rig.device.*GetParam().error = EINVAL;
    rig.port.SetPort("Com1");
    EComPort e = Raised([&] { rig.port.Open(); });
    EXPECT_EQ(e.Code(), GetParam().code);
    EXPECT_EQ(e.WinCode(), EINVAL);
    EXPECT_EQ(e.Message(), GetParam().message);
    EXPECT_FALSE(rig.port.Connected());
    EXPECT_EQ(rig.port.Handle(), -1);
    EXPECT_EQ(rig.device.closes, 1);
    EXPECT_FALSE(rig.device.open);

    // The next Open starts again from the beginning.
    rig.device.*GetParam().error = 0;
    rig.port.Open();
    EXPECT_TRUE(rig.port.Connected());
    EXPECT_EQ(rig.device.openedPaths.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ComPortOpenStepTest,
    ::testing::Values(OpenStepFailure{&FakeDeviceState::queueError, CE_SetupComFailed,
                                      "SetupComm function failed (Error: 22)"},
                      OpenStepFailure{&FakeDeviceState::lineError, CE_SetStateFailed,
                                      "SetCommState function failed (Error: 22)"},
                      OpenStepFailure{&FakeDeviceState::timeoutsError, CE_TimeoutsFailed,
                                      "SetCommTimeouts failed (Error: 22)"}));

// A line setter, and what it must change in the line state handed to the device.
struct LineSetter {
    const char* name;
    std::function<void(TComPort&)> set;
    std::function<bool(const TComLineState&)> shows;
};

class ComPortLineSetterTest : public ::testing::TestWithParam<LineSetter> {};

TEST_P(ComPortLineSetterTest, StoresWhileClosedAndReprogramsAtOnceWhileOpen) {
    const LineSetter& setter = GetParam();
    {
        // Closed: stored only, applied by the next Open.
        FakePortRig rig;
        setter.set(rig.port);
        EXPECT_TRUE(rig.device.lineStates.empty());
        EXPECT_TRUE(setter.shows(rig.port.LineState()));
        rig.port.Open();
        ASSERT_EQ(rig.device.lineStates.size(), 1u);
        EXPECT_TRUE(setter.shows(rig.device.lineStates[0]));
    }
    {
        FakePortRig rig;
        rig.port.Open();
        setter.set(rig.port);
        ASSERT_EQ(rig.device.lineStates.size(), 2u);
        EXPECT_TRUE(setter.shows(rig.device.lineStates[1]));
        // The same value again does nothing.
        setter.set(rig.port);
        EXPECT_EQ(rig.device.lineStates.size(), 2u);
    }
    {
        // A refused line state raises code 7; the value stays stored and the port open.
        FakePortRig rig;
        rig.port.Open();
        rig.device.lineError = EIO;
        EComPort e = Raised([&] { setter.set(rig.port); });
        EXPECT_EQ(e.Code(), CE_SetStateFailed);
        EXPECT_TRUE(rig.port.Connected());
        EXPECT_TRUE(setter.shows(rig.port.LineState()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Setters, ComPortLineSetterTest,
    ::testing::Values(
        LineSetter{"BaudRate", [](TComPort& p) { p.SetBaudRate(br57600); },
                   [](const TComLineState& s) { return s.baudRate == 57600; }},
        // brCustom stands for CustomBaudRate, 9600 by default.
        LineSetter{"CustomBaudRate", [](TComPort& p) { p.SetBaudRate(brCustom); },
                   [](const TComLineState& s) { return s.baudRate == 9600; }},
        LineSetter{"DataBits", [](TComPort& p) { p.SetDataBits(dbSeven); },
                   [](const TComLineState& s) { return s.byteSize == 7; }},
        LineSetter{"StopBits", [](TComPort& p) { p.SetStopBits(sbTwoStopBits); },
                   [](const TComLineState& s) { return s.stopBits == sbTwoStopBits; }},
        LineSetter{"ParityCheck", [](TComPort& p) { p.Parity().SetCheck(true); },
                   [](const TComLineState& s) { return s.parityCheck; }},
        LineSetter{"ParityBits", [](TComPort& p) { p.Parity().SetBits(prMark); },
                   [](const TComLineState& s) { return s.parity == prMark; }},
        LineSetter{"DiscardNull", [](TComPort& p) { p.SetDiscardNull(true); },
                   [](const TComLineState& s) { return s.discardNull; }},
        LineSetter{"RtsHandshake", [](TComPort& p) { p.FlowControl().SetControlRTS(rtsHandshake); },
                   [](const TComLineState& s) { return s.rtsControl == rtsHandshake; }},
        LineSetter{"XonXoffIn", [](TComPort& p) { p.FlowControl().SetXonXoffIn(true); },
                   [](const TComLineState& s) { return s.inX && !s.outX; }}),
    [](const ::testing::TestParamInfo<LineSetter>& info) { return info.param.name; });

TEST_F(ComPortFakeTest, CustomSpeedChangeReachesAnOpenDevice) {
    port.SetBaudRate(brCustom);
    OpenPort();
    port.SetCustomBaudRate(31250);
    ASSERT_EQ(device.lineStates.size(), 2u);
    EXPECT_EQ(device.lineStates[1].baudRate, 31250);
}

TEST(ComPortLineStateTest, ErrorCharacterOnlyWithCheckAndReplace) {
    FakePortRig rig;
    rig.port.Parity().SetReplaceChar('?');
    rig.port.Parity().SetReplace(true);
    EXPECT_FALSE(rig.port.LineState().errorCharReplace);
    EXPECT_EQ(rig.port.LineState().errorChar, 0);
    rig.port.Parity().SetCheck(true);
    EXPECT_TRUE(rig.port.LineState().errorCharReplace);
    EXPECT_EQ(rig.port.LineState().errorChar, '?');
}

TEST(ComPortBufferTest, PositiveOddSizesAreStoredOneSmaller) {
    FakePortRig rig;
    TComBuffer& buffer = rig.port.Buffer();
    const std::pair<std::int32_t, std::int32_t> rows[] = {{1025, 1024}, {7, 6}, {1, 0},
                                                          {2048, 2048}, {0, 0}, {-3, -3}};
    for (auto [given, stored] : rows) {
        buffer.SetInputSize(given);
        buffer.SetOutputSize(given);
        EXPECT_EQ(buffer.InputSize(), stored) << given;
        EXPECT_EQ(buffer.OutputSize(), stored) << given;
    }
    // The XON and XOFF limits follow the input size.
    buffer.SetInputSize(1023);
    EXPECT_EQ(rig.port.LineState().xonLimit, 255);
}

TEST_F(ComPortFakeTest, QueueAndTimeoutSettersReachAnOpenDevice) {
    OpenPort();
    port.Buffer().SetInputSize(4097);
    EXPECT_EQ(device.queueSizes.back(), (std::pair<std::int32_t, std::int32_t>{4096, 1024}));
    device.queueError = EINVAL;
    EXPECT_EQ(Raised([&] { port.Buffer().SetOutputSize(512); }).Code(), CE_SetupComFailed);
    EXPECT_EQ(port.Buffer().OutputSize(), 512);

    port.Timeouts().SetWriteTotalConstant(50);
    EXPECT_EQ(device.timeouts.back().writeTotalConstant, 50u);
    device.timeoutsError = EINVAL;
    EXPECT_EQ(Raised([&] { port.Timeouts().SetReadInterval(0); }).Code(), CE_TimeoutsFailed);
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortFakeTest, UpdateCounterHoldsSettingsBackUntilTheLastEndUpdate) {
    OpenPort();
    port.BeginUpdate();
    port.BeginUpdate();
    port.SetBaudRate(br115200);
    port.Buffer().SetInputSize(2048);
    port.Timeouts().SetWriteTotalMultiplier(10);
    port.EndUpdate();
    EXPECT_EQ(device.lineStates.size(), 1u);
    EXPECT_EQ(device.queueSizes.size(), 1u);
    EXPECT_EQ(device.timeouts.size(), 1u);
    port.EndUpdate();
    ASSERT_EQ(device.lineStates.size(), 2u);
    EXPECT_EQ(device.lineStates[1].baudRate, 115200);
    EXPECT_EQ(device.queueSizes.back().first, 2048);
    EXPECT_EQ(device.timeouts.back().writeTotalMultiplier, 10u);
    // An unmatched EndUpdate does nothing.
    port.EndUpdate();
    EXPECT_EQ(device.lineStates.size(), 2u);
}

TEST_F(ComPortFakeTest, FailedAbortKeepsThePortOpenWithItsDevice) {
    OpenPort();
    device.abortError = EIO;
    EComPort e = Raised([&] { port.Close(); });
    EXPECT_EQ(e.Code(), CE_PurgeFailed);
    EXPECT_EQ(e.Message(), "PurgeComm function failed (Error: 5)");
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(device.closes, 0);
    port.Open(); // does nothing on the open port
    EXPECT_EQ(device.openedPaths.size(), 1u);

    device.abortError = 0;
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(device.closes, 1);
}

TEST(ComPortLifetimeTest, DestroyingThePortReleasesTheDeviceEvenWhenAbortFails) {
    FakeDeviceState device;
    test::FakeComClock clock;
    test::FakeSerialBackend backend(device, clock);
    auto port = std::make_unique<TComPort>(TComPortPlatform{&backend, &clock});
    port->Open();
    device.abortError = EIO;
    port.reset();
    EXPECT_EQ(device.closes, 1);
    EXPECT_FALSE(device.open);
}

TEST_F(ComPortFakeTest, RenamingAnOpenPortMovesItAndAFailedReopenLeavesItClosed) {
    OpenPort();
    port.SetPort("COM7");
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(device.openedPaths, (std::vector<std::string>{"/dev/ttyS2", "/dev/ttyS6"}));
    EXPECT_EQ(device.closes, 1);

    device.openError = ENOENT;
    EXPECT_EQ(Raised([&] { port.SetPort("Com9"); }).Code(), CE_OpenFailed);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), "Com9");
}

TEST_F(ComPortFakeTest, WatcherSettingsCannotChangeWhileOpen) {
    port.SetSyncMethod(smNone);
    OpenPort();
    EComPort e = Raised([&] { port.SetEventThreadPriority(tpHighest); });
    EXPECT_EQ(e.Code(), CE_ConnChangeProp);
    EXPECT_EQ(e.Message(), "Cannot set property while connected");
    EXPECT_EQ(port.EventThreadPriority(), tpNormal);
    EXPECT_EQ(Raised([&] { port.SetSyncMethod(smWindowSync); }).Code(), CE_ConnChangeProp);
    EXPECT_EQ(port.SyncMethod(), smNone);
    port.SetSyncMethod(smNone); // the same value is no change
}

TEST_F(ComPortFakeTest, WriteHandsOverWhatTheDriverTakesWithoutWaiting) {
    OpenPort();
    device.acceptPerWrite = 4;
    const std::int64_t start = rig.clock.now;
    EXPECT_EQ(port.WriteStr("0123456789"), 10);
    EXPECT_EQ(device.written, "0123456789");
    // A full driver takes the rest never, as at a write time-out; no error either way.
    device.acceptTotal = 13;
    EXPECT_EQ(port.WriteStr("abcdef"), 3);
    EXPECT_EQ(device.written, "0123456789abc");
    EXPECT_EQ(rig.clock.now, start);
    EXPECT_TRUE(port.Connected());
}

// What is still queued after a write, as the exchange asks for it: about one line time at a
// time, bounded by what is left of 100 ms per byte plus 1000 ms since the write began.
struct DrainRow {
    const char* name;
    TBaudRate baud;
    bool timeouts;
    std::vector<std::size_t> queued;
    std::vector<std::int64_t> clockSteps; // before each ask
    std::vector<std::uint32_t> drains;
};

class ComPortDrainTest : public ComPortFakeTest, public ::testing::WithParamInterface<DrainRow> {};

TEST_P(ComPortDrainTest, AnswersLineTimesUntilEmptyOrTimedOut) {
    const DrainRow& row = GetParam();
    port.SetBaudRate(row.baud);
    if (!row.timeouts) {
        port.Timeouts().SetWriteTotalMultiplier(0);
        port.Timeouts().SetWriteTotalConstant(0);
    }
    OpenPort();
    device.queuedAnswers = row.queued;
    ASSERT_EQ(port.WriteStr("abcde"), 5);
    std::vector<std::uint32_t> drains;
    for (std::int64_t step : row.clockSteps) {
        rig.clock.now += step;
        drains.push_back(port.DrainMs());
    }
    EXPECT_EQ(drains, row.drains);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ComPortDrainTest,
    ::testing::Values(DrainRow{"LineTimesAt19200", br19200, true, {5, 2, 0}, {0, 3, 2}, {3, 2, 0}},
                      DrainRow{
                          "StuckUntilTheTimeout", br9600, true, {4}, {0, 1497, 2, 1}, {5, 3, 1, 0}},
                      DrainRow{"NoTimeoutNoLimit", br9600, false, {4}, {0, 100000}, {5, 5}},
                      DrainRow{"EmptyAtOnce", br9600, true, {0}, {0}, {0}}),
    [](const auto& info) { return info.param.name; });

TEST_F(ComPortFakeTest, DrainOfAClosedOrFailingPortIsNothing) {
    EXPECT_EQ(port.DrainMs(), 0u);
    OpenPort();
    device.queuedAnswers = {4};
    port.WriteStr("ab");
    device.queuedError = EIO;
    EXPECT_EQ(port.DrainMs(), 0u);
}

TEST_F(ComPortFakeTest, DeviceErrorsDuringWriteAreCodeTwoAndKeepThePortOpen) {
    OpenPort();
    device.acceptPerWrite = 1;
    device.writeError = EIO;
    EComPort e = Raised([&] { port.WriteStr("ab"); });
    EXPECT_EQ(e.Code(), CE_WriteFailed);
    EXPECT_EQ(e.Message(), "WriteFile function failed (Error: 5)");
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortFakeTest, DeviceErrorsDuringReadAreCodeThreeOrTen) {
    OpenPort();
    device.input = "xyz";
    device.statusError = EIO;
    std::string bytes = "old";
    EComPort status = Raised([&] { port.ReadStr(bytes, 10); });
    EXPECT_EQ(status.Code(), CE_ClearComFailed);
    EXPECT_EQ(status.Message(), "ClearCommError function failed (Error: 5)");
    device.statusError = 0;

    device.readError = ENXIO;
    EComPort read = Raised([&] { port.ReadStr(bytes, 10); });
    EXPECT_EQ(read.Code(), CE_ReadFailed);
    EXPECT_EQ(read.WinCode(), ENXIO);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(bytes, "old");
}

} // namespace
} // namespace vesmera
