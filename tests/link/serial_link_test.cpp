// The exchanges on the serial line as steps on the fake scheduler: what goes out when, which
// exchange waits for which, and how a failure at any step ends an exchange.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "link/scheduled_timer.h"
#include "link/serial_link.h"
#include "link_fakes.h"

namespace vesmera {
namespace {

using testing::CallLog;

class SerialLinkTest : public ::testing::Test {
protected:
    SerialLinkTest() : channel(&log) {
        channel.clock = &rig.scheduler;
        rig.settings.channel = 1;
        rig.heard = [this](SerialLink::Ending ending, const PollReading& reading) {
            // A poll succeeds with a fresh reading, a supervision tick without a failure.
            ends.push_back(
                {ending, ending == SerialLink::Ending::Poll ? reading.fresh : !reading.failure});
        };
    }

    struct End {
        SerialLink::Ending ending;
        bool succeeded;
        bool operator==(const End&) const = default;
    };

    CallLog log;
    testing::FakeChannel channel;
    testing::LinkRig rig{channel};
    std::vector<End> ends;
};

// --- the steps of each exchange -----------------------------------------------------------

enum class Start { VorlenPoll, Poll643, Zero, Supervision };

void Begin(SerialLink& link, Start start) {
    switch (start) {
    case Start::VorlenPoll:
        link.TickVorlen();
        break;
    case Start::Poll643:
        link.Tick643();
        break;
    case Start::Zero:
        link.Zero({});
        break;
    case Start::Supervision:
        link.SupervisionTick();
        break;
    }
}

struct StepRow {
    const char* name;
    Start start;
    const char* protocol;
    std::uint32_t delayMs;
    std::vector<std::uint32_t> drains;
    CallLog steps;
};

class ExchangeStepsTest : public SerialLinkTest, public ::testing::WithParamInterface<StepRow> {};

TEST_P(ExchangeStepsTest, StepsGoOutAtTheirTimes) {
    const StepRow& row = GetParam();
    rig.settings.protocol = row.protocol;
    rig.settings.delayMs = row.delayMs;
    channel.drains = row.drains;
    Begin(rig.link, row.start);
    rig.Finish();
    EXPECT_EQ(log, row.steps);
    EXPECT_FALSE(rig.link.Busy());
    EXPECT_EQ(rig.scheduler.PendingTimers(), 0u);
    EXPECT_EQ(ends.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, ExchangeStepsTest,
    ::testing::Values(
        StepRow{"VorlenPoll",
                Start::VorlenPoll,
                kProtocolVorlen,
                250,
                {},
                {"0 write FF 01 C3 E3 FF FF", "250 read 100"}},
        // The reply delay starts once the request has left the output queue: the line time
        // of the queue when written, then the delay, in one timer.
        StepRow{"VorlenPollDrained",
                Start::VorlenPoll,
                kProtocolVorlen,
                100,
                {3, 2},
                {"0 write FF 01 C3 E3 FF FF", "0 drain 3", "103 read 100"}},
        // A write that ends its exchange ends it only once the queue is empty.
        StepRow{"VorlenZeroDrained",
                Start::Zero,
                kProtocolVorlen,
                100,
                {3, 2},
                {"0 write FF 01 C0 58 FF FF", "0 drain 3", "3 drain 2"}},
        StepRow{"Poll643",
                Start::Poll643,
                kProtocol643,
                100,
                {},
                {"0 write 02 01 30 30 30 31", "100 read 10", "100 write 10", "200 read 100"}},
        StepRow{"VorlenZero", Start::Zero, kProtocolVorlen, 100, {}, {"0 write FF 01 C0 58 FF FF"}},
        StepRow{"Zero643",
                Start::Zero,
                kProtocol643,
                40,
                {},
                {"40 write 02 01 30 30 30 31", "80 read 10", "80 write 0D"}},
        StepRow{"ZeroOtherProtocol", Start::Zero, "Modbus", 100, {}, {}},
        StepRow{
            "Supervision", Start::Supervision, kProtocol643, 100, {}, {"0 open", "0 write 31"}}),
    [](const auto& info) { return info.param.name; });

// --- a failure at any step ends the exchange there ------------------------------------------

struct FailRow {
    const char* name;
    Start start;
    const char* protocol;
    int failTransfer; // the n-th write or read fails
    std::size_t stepsRun;
};

class ExchangeFailureTest : public SerialLinkTest, public ::testing::WithParamInterface<FailRow> {};

TEST_P(ExchangeFailureTest, CountsOnceAndSkipsTheRest) {
    const FailRow& row = GetParam();
    rig.settings.protocol = row.protocol;
    channel.failTransfer = row.failTransfer;
    bool zeroDone = false;
    if (row.start == Start::Zero)
        rig.link.Zero([&zeroDone] { zeroDone = true; });
    else
        Begin(rig.link, row.start);
    rig.Finish();
    EXPECT_EQ(log.size(), row.stepsRun);
    EXPECT_EQ(rig.scheduler.PendingTimers(), 0u);
    ASSERT_EQ(ends.size(), 1u);
    if (row.start == Start::Zero) {
        // A zero command has no result; its caller still hears that it has run.
        EXPECT_TRUE(zeroDone);
        EXPECT_EQ(rig.state.errorCounter, 0);
        EXPECT_TRUE(rig.timer5.enabled);
    } else {
        EXPECT_FALSE(ends[0].succeeded);
        EXPECT_EQ(rig.state.errorCounter, 1);
        EXPECT_EQ(rig.indicator.textWrites, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ExchangeFailureTest,
    ::testing::Values(FailRow{"VorlenWrite", Start::VorlenPoll, kProtocolVorlen, 1, 1},
                      FailRow{"VorlenRead", Start::VorlenPoll, kProtocolVorlen, 2, 2},
                      FailRow{"P643AddressWrite", Start::Poll643, kProtocol643, 1, 1},
                      FailRow{"P643FirstRead", Start::Poll643, kProtocol643, 2, 2},
                      FailRow{"P643DleWrite", Start::Poll643, kProtocol643, 3, 3},
                      FailRow{"P643ReplyRead", Start::Poll643, kProtocol643, 4, 4},
                      FailRow{"VorlenZeroWrite", Start::Zero, kProtocolVorlen, 1, 1},
                      FailRow{"Zero643AddressWrite", Start::Zero, kProtocol643, 1, 1},
                      FailRow{"Zero643Read", Start::Zero, kProtocol643, 2, 2},
                      FailRow{"Zero643CrWrite", Start::Zero, kProtocol643, 3, 3}),
    [](const auto& info) { return info.param.name; });

// --- one exchange at a time on the line ----------------------------------------------------

TEST_F(SerialLinkTest, APollTickDueMidExchangeIsHeldOnceAndFurtherOnesDropped) {
    rig.link.TickVorlen();
    rig.scheduler.Advance(10);
    rig.link.TickVorlen();
    rig.link.TickVorlen();
    rig.Finish();
    EXPECT_EQ(log, (CallLog{"0 write FF 01 C3 E3 FF FF", "100 read 100",
                            "100 write FF 01 C3 E3 FF FF", "200 read 100"}));
    EXPECT_EQ(ends.size(), 2u);
}

TEST_F(SerialLinkTest, AHeldPollOfAStoppedTimerDoesNotRun) {
    rig.link.TickVorlen();
    rig.link.TickVorlen();
    rig.timer1.SetEnabled(false); // a supervision failure or the apply step, meanwhile
    rig.Finish();
    EXPECT_EQ(log, (CallLog{"0 write FF 01 C3 E3 FF FF", "100 read 100"}));
}

TEST_F(SerialLinkTest, ZeroAndSupervisionWaitForTheExchangeAndRunInArrivalOrder) {
    std::int64_t zeroDoneAt = -1;
    rig.link.TickVorlen();
    rig.scheduler.Advance(50);
    rig.link.Zero([this, &zeroDoneAt] { zeroDoneAt = rig.scheduler.NowMs(); });
    rig.link.TickVorlen(); // held behind the zero command
    rig.link.SupervisionTick();
    rig.scheduler.Advance(49);
    EXPECT_EQ(zeroDoneAt, -1); // SetNull's caller is not answered before its command ran
    rig.Finish();
    EXPECT_EQ(log,
              (CallLog{"0 write FF 01 C3 E3 FF FF", "100 read 100", "100 write FF 01 C0 58 FF FF",
                       "100 write FF 01 C3 E3 FF FF", "200 read 100", "200 open", "200 write 31"}));
    EXPECT_EQ(zeroDoneAt, 100);
    using E = SerialLink::Ending;
    EXPECT_EQ(ends,
              (std::vector<End>{
                  {E::Poll, false}, {E::Zero, true}, {E::Poll, false}, {E::Supervision, true}}));
}

TEST_F(SerialLinkTest, Zero643KeepsTimer5StoppedAroundItAndDropsItsHeldTick) {
    rig.settings.protocol = kProtocol643;
    rig.link.Tick643();
    rig.scheduler.Advance(50);
    rig.link.Zero({});
    rig.link.Tick643(); // would poll between the zero's steps if it ran
    rig.scheduler.Advance(150);
    EXPECT_FALSE(rig.timer5.enabled);
    rig.Finish();
    EXPECT_EQ(log,
              (CallLog{"0 write 02 01 30 30 30 31", "100 read 10", "100 write 10", "200 read 100",
                       "300 write 02 01 30 30 30 31", "400 read 10", "400 write 0D"}));
    EXPECT_EQ(rig.timer5.history, (std::vector<bool>{false, true}));

    // A Timer5 that was off (network mode, a failed port) stays off.
    rig.timer5.SetEnabled(false);
    rig.link.Zero({});
    rig.Finish();
    EXPECT_FALSE(rig.timer5.enabled);
}

TEST_F(SerialLinkTest, SupervisionQueuedBeforeASwitchToNetworkModeLeavesThePortAlone) {
    rig.link.TickVorlen();
    rig.link.SupervisionTick();
    rig.settings.networkMode = true;
    rig.Finish();
    EXPECT_EQ(log, (CallLog{"0 write FF 01 C3 E3 FF FF", "100 read 100"}));
    rig.link.SupervisionTick();
    EXPECT_EQ(log.size(), 2u);
}

// --- the poll period: the later of start + interval and the end of the exchange ----------

struct PeriodRow {
    const char* name;
    const char* protocol;
    std::uint32_t delayMs;
    std::int64_t spacingMs;
};

class PollPeriodTest : public SerialLinkTest, public ::testing::WithParamInterface<PeriodRow> {};

TEST_P(PollPeriodTest, RequestsAreSpacedByTheLongerOfIntervalAndExchange) {
    const PeriodRow& row = GetParam();
    rig.settings.protocol = row.protocol;
    rig.settings.delayMs = row.delayMs;
    const bool vorlen = row.protocol == std::string(kProtocolVorlen);
    ScheduledTimer timer(rig.scheduler, 100, [this, vorlen] {
        if (vorlen)
            rig.link.TickVorlen();
        else
            rig.link.Tick643();
    });
    timer.SetEnabled(true);
    rig.scheduler.Advance(row.spacingMs * 6 + 50);
    timer.SetEnabled(false);
    const std::string request = vorlen ? "write FF 01 C3 E3 FF FF" : "write 02 01 30 30 30 31";
    std::vector<std::int64_t> starts;
    for (const std::string& line : log)
        if (line.ends_with(request))
            starts.push_back(std::stoll(line));
    ASSERT_GE(starts.size(), 5u);
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_EQ(starts[i] - starts[i - 1], row.spacingMs) << "request " << i;
}

INSTANTIATE_TEST_SUITE_P(Rows, PollPeriodTest,
                         ::testing::Values(PeriodRow{"Vorlen100", kProtocolVorlen, 100, 100},
                                           PeriodRow{"VorlenShortDelay", kProtocolVorlen, 30, 100},
                                           PeriodRow{"VorlenLongDelay", kProtocolVorlen, 250, 250},
                                           PeriodRow{"P643Default", kProtocol643, 100, 200},
                                           PeriodRow{"P643ShortDelay", kProtocol643, 30, 100},
                                           PeriodRow{"P643LongDelay", kProtocol643, 1000, 2000}),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace vesmera
