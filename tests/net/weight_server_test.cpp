#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/dialog_zero.h"
#include "net/tcp_line_channel.h"
#include "net/weight_server.h"
#include "net_test_support.h"

namespace vesmera::test {
namespace {

using ::testing::ElementsAre;

// --- Per-call exchanges on real sockets ------------------------------------------------------

class PerCallWireTest : public ::testing::Test {
protected:
    // Starts the user's exchange and drives it to its end, the peer answering with `reply`.
    std::optional<ExchangeOutcome> Run(ExchangeUser user, const std::string& name,
                                       const std::string& reply, std::string& request) {
        std::optional<ExchangeOutcome> outcome;
        EXPECT_TRUE(calls.Start(user, "127.0.0.1", server.Port(), name,
                                [&](const ExchangeOutcome& o) { outcome = o; }));
        std::unique_ptr<Peer> peer;
        for (int i = 0; i < kRealCapMs && !outcome; ++i) {
            Settle(scheduler);
            if (!peer) {
                peer = server.Accept();
                request = peer->ReadLine();
                peer->Send(reply);
            }
            scheduler.PumpDescriptors(1);
        }
        Settle(scheduler);
        request += peer->ReadToEnd(); // the program closes its end after the exchange
        return outcome;
    }

    testing::FakeScheduler scheduler;
    FakeResolver resolver{scheduler};
    LoopbackServer server;
    TcpLineChannelFactory factory{scheduler, resolver};
    ServerCallPool calls{factory};
};

TEST_F(PerCallWireTest, APollSendsTheNameReadsBothLinesAndClosesWithoutWaitingOutAStep) {
    std::string request;
    const auto outcome =
        Run(ExchangeUser::ScAutoGetWeightNet, "Весы 1", "12,5\r\n-5002\n", request);
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->error);
    EXPECT_EQ(request, "Весы 1\r\n");
    EXPECT_EQ(outcome->reply.weightLine, "12,5");
    EXPECT_EQ(outcome->reply.statusLine, "-5002");
    EXPECT_EQ(scheduler.NowMs(), 0); // the connect ends when the server accepts
    EXPECT_EQ(calls.InFlight(), 0u);
}

TEST_F(PerCallWireTest, AZeroSendsSetNullAndTheNameThenClosesWithoutReading) {
    for (const std::string name : {"Весы 1", ""}) {
        std::string request;
        const auto outcome = Run(ExchangeUser::DialogZero, name, "", request);
        ASSERT_TRUE(outcome);
        EXPECT_FALSE(outcome->error);
        EXPECT_EQ(request, "SetNull" + name + "\r\n");
    }
}

// --- The steps of each exchange, with a scripted channel ---------------------------------------

struct StepRow {
    std::string name;
    ExchangeUser user;
    std::function<void(FakeLineChannel&)> setUp;
    std::vector<std::string> log;
    std::optional<LineFailure> failure;
    bool requestSent;
};

class ExchangeStepTest : public ::testing::TestWithParam<StepRow> {};

TEST_P(ExchangeStepTest, StepsRunInOrderAndTheChannelIsReleasedOnEveryPath) {
    const StepRow& row = GetParam();
    testing::FakeScheduler scheduler;
    FakeLineChannelFactory factory(scheduler);
    factory.setUp = row.setUp;
    ServerCallPool calls(factory);
    std::optional<ExchangeOutcome> outcome;
    ASSERT_TRUE(calls.Start(row.user, "10.0.0.5", 4464, "T1",
                            [&](const ExchangeOutcome& o) { outcome = o; }));
    Settle(scheduler);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(factory.log, row.log);
    EXPECT_EQ(outcome->error ? std::optional(outcome->error->Kind()) : std::nullopt, row.failure);
    EXPECT_EQ(outcome->requestSent, row.requestSent);
}

using Log = std::vector<std::string>;
const Log kPollHead = {"create", "host 10.0.0.5", "port 4464", "connect timeout 100",
                       "read timeout 10"};
Log With(Log head, const Log& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExchangeStepTest,
    ::testing::Values(
        StepRow{"Poll", ExchangeUser::DataGetWeight,
                [](FakeLineChannel& c) {
                    c.replies = {"12,5", "-5002"};
                },
                With(kPollHead, {"connect", "write T1", "read", "read", "disconnect", "released"}),
                std::nullopt, true},
        StepRow{"StatusLineLate", ExchangeUser::DataGetWeight,
                [](FakeLineChannel& c) {
                    c.replies = {"12,5", LineFailure::ReadTimedOut};
                },
                With(kPollHead, {"connect", "write T1", "read", "read", "disconnect", "released"}),
                LineFailure::ReadTimedOut, true},
        StepRow{"Refused", ExchangeUser::DataGetStatus,
                [](FakeLineChannel& c) { c.connectFailure = LineFailure::Socket; },
                With(kPollHead, {"connect", "disconnect", "released"}), LineFailure::Socket, false},
        StepRow{"Zero",
                ExchangeUser::ScAutoSetNullNet,
                [](FakeLineChannel&) {},
                {"create", "host 10.0.0.5", "port 4464", "connect timeout 1000", "connect",
                 "write SetNullT1", "disconnect", "released"},
                std::nullopt,
                true},
        StepRow{"ZeroNotSent",
                ExchangeUser::DialogZero,
                [](FakeLineChannel& c) { c.writeFailure = LineFailure::Socket; },
                {"create", "host 10.0.0.5", "port 4464", "connect timeout 1000", "connect",
                 "write SetNullT1", "disconnect", "released"},
                LineFailure::Socket,
                true}),
    [](const auto& info) { return info.param.name; });

TEST(ServerCallPoolTest, AtMost64RunAtOnceAndTheNextIsRefusedAtOnce) {
    testing::FakeScheduler scheduler;
    FakeLineChannelFactory factory(scheduler);
    factory.setUp = [](FakeLineChannel& c) { c.stall = true; };
    ServerCallPool calls(factory);
    int ended = 0;
    const auto start = [&] {
        return calls.Start(ExchangeUser::ScAutoGetWeightNet, "h", 1, "T1",
                           [&](const ExchangeOutcome&) { ++ended; });
    };
    for (std::size_t i = 0; i < ServerCallPool::kMaxInFlight; ++i)
        ASSERT_TRUE(start());
    const auto created = factory.log.size();
    EXPECT_FALSE(start());
    EXPECT_EQ(factory.log.size(), created); // no channel made for the refused one
    EXPECT_EQ(calls.InFlight(), ServerCallPool::kMaxInFlight);
    EXPECT_EQ(ended, 0);
}

TEST(ServerExchangeTest, PollsOnTheMainChannelReadBothLinesSoTheNextStartsClean) {
    testing::FakeScheduler scheduler;
    std::vector<std::string> log;
    FakeLineChannel channel(&log, scheduler);
    channel.connected = true;
    channel.replies = {"1", "-5002", "2", "-5003"};
    std::vector<PollReply> replies;
    for (int i = 0; i < 2; ++i) {
        ServerExchange exchange(channel, Exchange::Poll, ServerExchange::Channel::Main, "T1",
                                [&](const ExchangeOutcome& o) { replies.push_back(o.reply); });
        exchange.Start();
        Settle(scheduler);
    }
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].weightLine, "1");
    EXPECT_EQ(replies[1].weightLine, "2");
    EXPECT_EQ(replies[1].statusLine, "-5003");
    EXPECT_THAT(log, ::testing::Not(::testing::Contains("connect")));
}

// --- The settings dialog's zero action --------------------------------------------------------

class DialogZeroTest : public ::testing::Test {
protected:
    DialogZeroTest() : main(&mainLog, scheduler) {
        settings.ip = "10.0.0.5";
        settings.serverPort = 70000; // the low 16 bits: 4464
        main.connected = true;
    }

    void Press(bool networkMode, std::optional<std::string> tab) {
        DialogZeroAction(networkMode, main, calls, settings, std::move(tab),
                         [this] { ++localZeros; });
        Settle(scheduler);
    }

    testing::FakeScheduler scheduler;
    std::vector<std::string> mainLog;
    FakeLineChannel main;
    FakeLineChannelFactory factory{scheduler};
    ServerCallPool calls{factory};
    HeldSettings settings;
    int localZeros = 0;
};

TEST_F(DialogZeroTest, LocalModeRunsTheSerialZeroCommandOnly) {
    Press(false, "T1");
    EXPECT_EQ(localZeros, 1);
    EXPECT_TRUE(factory.log.empty());
}

TEST_F(DialogZeroTest, NetworkModeSendsTheZeroRequestOnAPerCallChannel) {
    Press(true, "Весы 1");
    EXPECT_EQ(localZeros, 0);
    EXPECT_THAT(factory.log,
                ElementsAre("create", "host 10.0.0.5", "port 4464", "connect timeout 1000",
                            "connect", "write SetNullВесы 1", "disconnect", "released"));
    EXPECT_TRUE(mainLog.empty()); // the main channel is only asked whether it is connected
}

TEST_F(DialogZeroTest, NothingIsSentWithoutMainConnectionOrTab) {
    main.connected = false;
    Press(true, "T1");
    main.connected = true;
    Press(true, std::nullopt);
    main.connectedTestFails = true;
    Press(true, "T1");
    EXPECT_TRUE(factory.log.empty());
    EXPECT_EQ(localZeros, 0);
}

} // namespace
} // namespace vesmera::test
