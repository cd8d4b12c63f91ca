#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/dialog_zero.h"
#include "net/tcp_line_channel.h"
#include "net/weight_server.h"
#include "net_test_support.h"

namespace vesmera::test {
namespace {

using ::testing::ElementsAre;

TEST(WeightServerTest, PollSendsTheNameAndReadsBothLinesOnTheWire) {
    FakeSocketSystem net;
    LoopbackServer server;
    TcpLineChannelFactory factory(net);
    std::unique_ptr<Peer> peer;
    std::string request;
    net.At(0, [&] {
        peer = server.Accept();
        request = peer->ReadLine();
        peer->Send("12,5\r\n-5002\n");
    });
    const PollReply reply =
        PollOnce(factory, ExchangeUser::ScAutoGetWeightNet, "127.0.0.1", server.Port(), "Весы 1");
    EXPECT_EQ(request, "Весы 1\r\n");
    EXPECT_EQ(reply.weightLine, "12,5");
    EXPECT_EQ(reply.statusLine, "-5002");
    EXPECT_EQ(peer->ReadToEnd(), ""); // disconnected after the exchange
    EXPECT_THAT(net.sleeps, ElementsAre(100u));
}

TEST(WeightServerTest, ZeroSendsSetNullAndTheNameThenClosesWithoutReading) {
    FakeSocketSystem net;
    LoopbackServer server;
    TcpLineChannelFactory factory(net);
    for (const std::string name : {"Весы 1", ""}) {
        net.sleeps.clear();
        net.byteWaits.clear();
        ZeroOnce(factory, ExchangeUser::DialogZero, "127.0.0.1", server.Port(), name);
        auto peer = server.Accept();
        EXPECT_EQ(peer->ReadToEnd(), "SetNull" + name + "\r\n");
        EXPECT_THAT(net.sleeps, ElementsAre(125u)); // 1000 ms connect time-out
        EXPECT_TRUE(net.byteWaits.empty());
    }
}

TEST(WeightServerTest, PerCallChannelsGetTheirRowsTimeOutsAndAreReleasedOnFailure) {
    FakeLineChannelFactory factory;
    factory.setUp = [](FakeLineChannel& c) { c.replies = {"12,5", LineFailure::ReadTimedOut}; };
    EXPECT_THROW(PollOnce(factory, ExchangeUser::DataGetWeight, "10.0.0.5", 4464, "T1"),
                 LineChannelError);
    EXPECT_THAT(factory.log,
                ElementsAre("create", "host 10.0.0.5", "port 4464", "connect timeout 100",
                            "read timeout 10", "connect", "write T1", "read", "read", "released"));

    factory.log.clear();
    factory.setUp = [](FakeLineChannel& c) { c.connectFailure = LineFailure::ConnectTimedOut; };
    EXPECT_THROW(ZeroOnce(factory, ExchangeUser::ScAutoSetNullNet, "h", 1, "T1"), LineChannelError);
    EXPECT_THAT(factory.log, ElementsAre("create", "host h", "port 1", "connect timeout 1000",
                                         "connect", "released"));
}

TEST(WeightServerTest, ThePollAlwaysReadsBothLinesSoTheNextRequestStartsClean) {
    std::vector<std::string> log;
    FakeLineChannel channel(&log);
    channel.connected = true;
    channel.replies = {"1", "-5002", "2", "-5003"};
    EXPECT_EQ(PollExchange(channel, "T1").weightLine, "1");
    const PollReply second = PollExchange(channel, "T1");
    EXPECT_EQ(second.weightLine, "2");
    EXPECT_EQ(second.statusLine, "-5003");
}

// --- The settings dialog's zero action --------------------------------------------------------

class DialogZeroTest : public ::testing::Test {
protected:
    DialogZeroTest() : main(&mainLog) {
        settings.ip = "10.0.0.5";
        settings.serverPort = 70000; // the low 16 bits: 4464
        main.connected = true;
    }

    void Press(bool networkMode, std::optional<std::string> tab) {
        DialogZeroAction(networkMode, main, factory, settings, std::move(tab),
                         [this] { ++localZeros; });
    }

    std::vector<std::string> mainLog;
    FakeLineChannel main;
    FakeLineChannelFactory factory;
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

TEST_F(DialogZeroTest, FailuresAreIgnoredAndTheChannelIsReleased) {
    factory.setUp = [](FakeLineChannel& c) { c.connectFailure = LineFailure::Socket; };
    Press(true, "T1");
    EXPECT_EQ(factory.log.back(), "released");
    factory.log.clear();
    factory.setUp = [](FakeLineChannel& c) { c.writeFailure = LineFailure::Socket; };
    Press(true, "T1");
    EXPECT_THAT(factory.log, ::testing::Contains("write SetNullT1"));
    EXPECT_EQ(factory.log.back(), "released");
}

} // namespace
} // namespace vesmera::test
