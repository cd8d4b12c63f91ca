#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/shown_messages.h"
#include "net/network_poller.h"
#include "net_test_support.h"

namespace vesmera::test {
namespace {

using ::testing::ElementsAre;

constexpr TColor kStable = clGreen;
constexpr TColor kUnstable = clRed;

class PollerTest : public ::testing::Test {
protected:
    PollerTest() : client(&log, scheduler) {
        // What the main window does with each reading: the display and the failure report.
        poller.SetReadingListener([this](const PollReading& reading) {
            readings.push_back(reading);
            RenderReading(reading, indicator, message);
            ReportReading(reading, failures);
        });
    }

    // A tick and everything it starts, to the end.
    void Tick2() {
        poller.Timer2Tick();
        Settle(scheduler);
    }
    void Tick3() {
        poller.Timer3Tick();
        Settle(scheduler);
    }
    void TickWith(const std::string& weight, const std::string& status) {
        client.connected = true;
        client.replies = {weight, status};
        Tick2();
    }

    testing::FakeScheduler scheduler;
    std::vector<std::string> log;
    FakeLineChannel client;
    HeldSettings settings;
    FakeIndicator indicator;
    FakeMessage message;
    std::optional<std::string> tab = "T1";
    FailureReport failures;
    std::vector<PollReading> readings;
    NetworkPoller poller{client, settings, [this] { return tab; }};
};

struct ReplyRow {
    std::string weight;
    std::string status;
    std::string indicatorText; // "-------": untouched
    std::string messageText;   // "": no message shown
    TColor color;              // -1: colour untouched
};

class PollReplyTest : public PollerTest, public ::testing::WithParamInterface<ReplyRow> {};

TEST_P(PollReplyTest, ShowsTheReplyAsTheServerMeantIt) {
    const ReplyRow& row = GetParam();
    TickWith(row.weight, row.status);
    // A reply that does not parse leaves the connection out of step: it goes.
    if (row.messageText == kMessageServerNotFound)
        EXPECT_THAT(log, ElementsAre("write T1", "read", "read", "discard"));
    else
        EXPECT_THAT(log, ElementsAre("write T1", "read", "read"));
    EXPECT_EQ(indicator.text, row.indicatorText);
    EXPECT_EQ(indicator.color, row.color);
    EXPECT_EQ(message.text, row.messageText);
    const bool messageShown = !row.messageText.empty();
    EXPECT_EQ(message.visible, messageShown);
    EXPECT_EQ(indicator.visible, !messageShown);
}

const std::string kUntouched = "-------";

INSTANTIATE_TEST_SUITE_P(
    Rows, PollReplyTest,
    ::testing::Values(
        ReplyRow{"12,5", "-5002", "12,5", "", kStable},
        ReplyRow{"12,5", "-5003", "12,5", "", kUnstable},
        ReplyRow{"12,5", "0", "12,5", "", kUnstable},
        ReplyRow{" 12,5", "-5002", " 12,5", "", kStable}, // shown exactly as received
        ReplyRow{"-4998,5", "-5002", "-4998,5", "", kStable},
        ReplyRow{"-5000", "-5003", kUntouched, "Teрминал не найден", kUnstable},
        ReplyRow{"-5001", "-5002", kUntouched, "С терминалом нет связи", kStable},
        ReplyRow{"-5006", "-5003", kUntouched, "Ошибка открытия Com-порта на сервере", kUnstable},
        ReplyRow{"-5002", "-5003", kUntouched, "", kUnstable}, // a code: only the colour
        ReplyRow{"-4999", "-5002", kUntouched, "", kStable},
        ReplyRow{"-5008", "-5002", kUntouched, "", kStable},
        // Either decimal mark, whatever the user's own; the line is shown as received.
        ReplyRow{"12.5", "-5002", "12.5", "", kStable},
        ReplyRow{"-0.25", "-5003", "-0.25", "", kUnstable},
        ReplyRow{"1,2.5", "-5002", kUntouched, "Сервер не найден", kStable},
        ReplyRow{"12.5.1", "-5002", kUntouched, "Сервер не найден", kStable},
        ReplyRow{"", "-5003", kUntouched, "Сервер не найден", kUnstable},
        ReplyRow{"12,5", "", kUntouched, "Сервер не найден", -1},
        ReplyRow{"12,5", "-5002,0", kUntouched, "Сервер не найден", -1},
        ReplyRow{"12,5", "stable", kUntouched, "Сервер не найден", -1}));

TEST_F(PollerTest, TheMessageTextIsTheLatinTeVariant) {
    EXPECT_EQ(std::string(kMessageNoSuchTerminal).substr(0, 2), "Te");
}

TEST_F(PollerTest, ColoursAreTakenFromTheSettingsAtEachPoll) {
    settings.color2 = "clBlue";
    TickWith("1", "-5002");
    EXPECT_EQ(indicator.color, clBlue);
    settings.color1 = "$00FFFF";
    TickWith("1", "-5003");
    EXPECT_EQ(indicator.color, clYellow);
}

TEST_F(PollerTest, TheCodeMessageKeepsTheColourOfEachPoll) {
    TickWith("-5000", "-5002");
    TickWith("-5000", "-5003");
    EXPECT_EQ(indicator.color, kUnstable);
    EXPECT_EQ(indicator.colorChanges, 2);
    EXPECT_EQ(message.text, "Teрминал не найден");
}

TEST_F(PollerTest, AWeightAfterAMessageHidesTheMessage) {
    TickWith("-5001", "-5003");
    TickWith("3", "-5002");
    EXPECT_TRUE(indicator.visible);
    EXPECT_FALSE(message.visible);
    EXPECT_EQ(indicator.text, "3");
}

TEST_F(PollerTest, NotConnectedAfterTheSilentConnectLeavesTheDisplay) {
    client.connectFailure = LineFailure::ConnectTimedOut;
    Tick2();
    EXPECT_THAT(log, ElementsAre("connect"));
    EXPECT_EQ(indicator.text, kUntouched);
    EXPECT_EQ(message.shows, 0);
}

TEST_F(PollerTest, ASilentReconnectPollsInTheSameTick) {
    client.replies = {"7", "-5002"};
    Tick2();
    EXPECT_THAT(log, ElementsAre("connect", "write T1", "read", "read"));
    EXPECT_EQ(indicator.text, "7");
}

TEST_F(PollerTest, NoTabMeansServerNotFoundAndNothingSent) {
    tab = std::nullopt;
    client.connected = true;
    Tick2();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(message.text, "Сервер не найден");
}

TEST_F(PollerTest, TheTabSelectedAtTheTickIsPolled) {
    TickWith("1", "-5002");
    tab = "Весы 2";
    TickWith("2", "-5002");
    EXPECT_THAT(log, ::testing::Contains("write Весы 2"));
}

TEST_F(PollerTest, APollThatFailsAfterItsRequestDropsTheConnectionAndTheNextTickReconnects) {
    client.connected = true;
    client.replies = {"1"}; // the status line never comes
    Tick2();
    EXPECT_EQ(message.text, "Сервер не найден");
    EXPECT_THAT(log, ElementsAre("write T1", "read", "read", "discard"));
    log.clear();
    client.replies = {"2", "-5002"};
    Tick2();
    EXPECT_THAT(log, ElementsAre("connect", "write T1", "read", "read"));
    EXPECT_EQ(indicator.text, "2");
}

struct NameRow {
    std::string tab;
    std::string shown; // the message
    bool sent;
};

class TabNameTest : public PollerTest, public ::testing::WithParamInterface<NameRow> {};

TEST_P(TabNameTest, NamesThatWouldMakeAnotherRequestAreNeverSent) {
    tab = GetParam().tab;
    TickWith("1", "-5002");
    EXPECT_EQ(message.text, GetParam().shown);
    EXPECT_EQ(log.empty(), !GetParam().sent);
    // An answer of the program's own counts as an answer: Timer3 finds nothing stale.
    if (GetParam().shown == kMessageNoSuchTerminal) {
        Tick3();
        Tick2();
        Tick3();
        EXPECT_EQ(message.text, kMessageNoSuchTerminal);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TabNameTest,
    ::testing::Values(NameRow{"SetNullT2", kMessageNoSuchTerminal, false},
                      NameRow{"T1\r\nSetNullT2", kMessageServerNotFound, false},
                      NameRow{"T1\nT2", kMessageServerNotFound, false},
                      NameRow{std::string("T1\0T2", 5), kMessageServerNotFound, false},
                      NameRow{"setnullT2", "", true}, NameRow{" SetNullT2", "", true}));

TEST_F(PollerTest, Timer3ShowsServerNotFoundWhenNoPollSucceededSinceItsLastTick) {
    client.connected = true;
    Tick3(); // the first tick only starts the count
    EXPECT_EQ(message.shows, 0);
    TickWith("12,5", "-5002");
    Tick3();
    EXPECT_EQ(message.shows, 0); // polls succeed: nothing new
    Tick3();
    EXPECT_EQ(message.text, kMessageServerNotFound); // connected, but nothing fresh
    TickWith("13", "-5002");
    EXPECT_EQ(indicator.text, "13");
    EXPECT_TRUE(indicator.visible);

    // A tab change starts the count afresh, and a poll in flight for the old tab shows nothing.
    client.stall = true;
    client.replies = {"14", "-5002"};
    Tick2();
    poller.TabChanged();
    client.Resume();
    Settle(scheduler);
    EXPECT_EQ(indicator.text, "13");
    const int shows = message.shows;
    Tick3();
    EXPECT_EQ(message.shows, shows);
    Tick3();
    EXPECT_EQ(message.shows, shows + 1);
}

TEST_F(PollerTest, BytesLeftOverFromAReplyDropTheConnection) {
    client.connected = true;
    client.replies = {"12,5", "-5002"};
    client.unread = true; // a third line came with the reply
    Tick2();
    EXPECT_EQ(message.text, kMessageServerNotFound);
    EXPECT_EQ(indicator.text, kUntouched);
    EXPECT_EQ(log.back(), "discard");
}

TEST_F(PollerTest, AResetConnectionIsDiscardedAndReconnectedNextTick) {
    client.connected = true;
    client.connectedTestFails = true;
    Tick2();
    EXPECT_EQ(message.text, "Сервер не найден");
    EXPECT_THAT(log, ElementsAre("discard"));
    log.clear();
    client.replies = {"5", "-5002"};
    Tick2();
    EXPECT_THAT(log, ElementsAre("connect", "write T1", "read", "read"));
    EXPECT_EQ(indicator.text, "5");
}

TEST_F(PollerTest, AClosedConnectionWithUnreadBytesIsDiscarded) {
    client.dead = true;
    Tick2();
    EXPECT_EQ(message.text, "Сервер не найден");
    EXPECT_THAT(log, ElementsAre("write T1", "discard"));
}

TEST_F(PollerTest, TicksDuringAnExchangeWaitForItsEndSupervisionFirstAndTimer2HeldOnce) {
    client.connected = true;
    client.replies = {"12,5", "-5002", "13", "-5002"};
    client.stall = true;
    Tick2();
    EXPECT_THAT(log, ElementsAre("write T1")); // in flight
    Tick3();
    Tick2();
    Tick2();
    EXPECT_THAT(log, ElementsAre("write T1"));
    EXPECT_EQ(indicator.text, kUntouched);
    EXPECT_TRUE(readings.empty());

    client.dead = true; // what the held Timer3 tick will find
    client.Resume();
    Settle(scheduler);
    EXPECT_THAT(log, ElementsAre("write T1", "read", "read", "discard", "connect", "write T1",
                                 "read", "read"));
    EXPECT_EQ(indicator.text, "13");
    // One reading per poll; the reconnect between them shows nothing.
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(*readings[0].weightText, "12,5");
    EXPECT_EQ(*readings[1].weightText, "13");
}

TEST_F(PollerTest, AWriteThatFailsWithASocketErrorDiscardsTheConnection) {
    client.connected = true;
    client.writeFailure = LineFailure::Socket; // a send that did not go out in time
    Tick2();
    EXPECT_EQ(message.text, "Сервер не найден");
    EXPECT_THAT(log, ElementsAre("write T1", "discard"));
    EXPECT_FALSE(client.connected);
}

TEST_F(PollerTest, Timer3LeavesAConnectedChannelAlone) {
    client.connected = true;
    Tick3();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(message.shows, 0);
}

TEST_F(PollerTest, Timer3ReportsAFailedConnect) {
    for (const LineFailure failure :
         {LineFailure::NotConfigured, LineFailure::ConnectTimedOut, LineFailure::Socket}) {
        client.connectFailure = failure;
        message.text.clear();
        Tick3();
        EXPECT_EQ(message.text, "Сервер не найден");
        EXPECT_TRUE(message.visible);
        EXPECT_FALSE(indicator.visible);
    }
}

TEST_F(PollerTest, Timer3ConnectsSilently) {
    Tick3();
    EXPECT_THAT(log, ElementsAre("connect"));
    EXPECT_EQ(message.shows, 0);
    EXPECT_TRUE(client.connected);
}

TEST_F(PollerTest, Timer3DiscardsDeadAndResetConnectionsBeforeReconnecting) {
    client.dead = true;
    Tick3();
    EXPECT_THAT(log, ElementsAre("discard", "connect"));
    log.clear();
    client.connectedTestFails = true;
    Tick3();
    EXPECT_THAT(log, ElementsAre("discard", "connect"));
    // The reconnects themselves say nothing; the second tick found no fresh poll.
    EXPECT_EQ(message.shows, 1);
}

TEST_F(PollerTest, OnlyLineChannelFailuresAreKeptAndASuccessfulPollClearsThem) {
    const FailureReport& report = failures;

    client.connectFailure = LineFailure::ConnectTimedOut;
    Tick3();
    EXPECT_EQ(report.Text(), LineFailureMessage(LineFailure::ConnectTimedOut, 0));
    client.connectFailure.reset();

    // A reply that is not a number is plain from the display; the channel's reason stays.
    TickWith("abc", "-5002");
    EXPECT_EQ(report.Text(), LineFailureMessage(LineFailure::ConnectTimedOut, 0));

    client.connected = true;
    client.replies = {"1"}; // the status line never comes
    Tick2();
    EXPECT_EQ(report.Text(), LineFailureMessage(LineFailure::ReadTimedOut, 0));

    TickWith("12", "-5002");
    EXPECT_EQ(report.Text(), "");
}

} // namespace
} // namespace vesmera::test
