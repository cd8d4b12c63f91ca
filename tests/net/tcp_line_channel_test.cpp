#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <csignal>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/tcp_line_channel.h"
#include "net_test_support.h"

namespace vesmera::test {
namespace {

using ::testing::ElementsAre;

class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        channel.SetHost("127.0.0.1");
        channel.SetPort(server.Port());
        channel.SetConnectTimeout(100);
        channel.SetReadTimeout(100);
    }

    void Open() {
        channel.Connect();
        peer = server.Accept();
        net.now = 0;
        net.sleeps.clear();
        net.byteWaits.clear();
    }

    // The bytes reach the client during its next wait for bytes.
    void ArriveNext(const std::string& bytes) {
        net.At(net.now, [this, bytes] { peer->Send(bytes); });
    }

    // The bytes are in the client's kernel buffer before the next call.
    void ArriveNow(const std::string& bytes) {
        peer->Send(bytes);
        AwaitBytes(channel.NativeSocket(), bytes.size());
    }

    FakeSocketSystem net;
    LoopbackServer server;
    TcpLineChannel channel{net};
    std::unique_ptr<Peer> peer;
};

// --- Connect -------------------------------------------------------------------------------

TEST_F(ChannelTest, ConnectToAServerThatAcceptsAtOnceTakesTheFullFirstStep) {
    channel.Connect();
    EXPECT_THAT(net.sleeps, ElementsAre(100u));
    EXPECT_TRUE(channel.Connected());
    EXPECT_GE(channel.NativeSocket(), 0);
}

struct StepRow {
    std::int32_t timeout;
    std::int64_t doneAt; // fake time at which the connect is seen finished
    std::vector<std::uint32_t> sleeps;
    bool connects;
};

class ConnectStepTest : public ChannelTest, public ::testing::WithParamInterface<StepRow> {};

TEST_P(ConnectStepTest, WaitsInStepsOfAtMost125Ms) {
    const StepRow& row = GetParam();
    channel.SetConnectTimeout(row.timeout);
    net.connectDoneAt = row.doneAt;
    if (row.connects) {
        channel.Connect();
        EXPECT_TRUE(channel.Connected());
    } else {
        const auto failure = FailureOf([&] { channel.Connect(); });
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Kind(), LineFailure::ConnectTimedOut);
        EXPECT_STREQ(failure->what(), "Connect timed out.");
        EXPECT_FALSE(channel.Connected());
        EXPECT_EQ(channel.NativeSocket(), -1);
    }
    EXPECT_EQ(net.sleeps, row.sleeps);
}

constexpr std::int64_t kNever = INT64_MAX;
using S = std::vector<std::uint32_t>;

INSTANTIATE_TEST_SUITE_P(Rows, ConnectStepTest,
                         ::testing::Values(StepRow{1000, 0, S{125}, true},
                                           StepRow{1000, 300, S{125, 125, 125}, true},
                                           StepRow{1000, 1000, S(8, 125), true},
                                           StepRow{1000, kNever, S(8, 125), false},
                                           StepRow{100, kNever, S{100}, false},
                                           StepRow{300, kNever, S{125, 125, 50}, false},
                                           StepRow{-1, 600, S(5, 125), true}));

TEST_F(ChannelTest, RefusedConnectFailsWithTheSocketErrorAfterTheFirstStep) {
    channel.SetPort(RefusedPort());
    const auto failure = FailureOf([&] { channel.Connect(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Kind(), LineFailure::Socket);
    EXPECT_EQ(failure->Code(), ECONNREFUSED);
    EXPECT_EQ(failure->Message(), "Socket Error # 111\r\nConnection refused");
    EXPECT_THAT(net.sleeps, ElementsAre(100u));
    EXPECT_FALSE(channel.Connected());
    EXPECT_EQ(channel.NativeSocket(), -1);

    // The next connect starts from scratch.
    channel.SetPort(server.Port());
    channel.Connect();
    EXPECT_TRUE(channel.Connected());
}

TEST_F(ChannelTest, EmptyHostOrPortZeroFailsWithAnEmptyMessageAndNoWait) {
    for (const auto& [host, port] :
         {std::pair<std::string, std::uint16_t>{"", server.Port()}, {"127.0.0.1", 0}}) {
        channel.SetHost(host);
        channel.SetPort(port);
        const auto failure = FailureOf([&] { channel.Connect(); });
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Kind(), LineFailure::NotConfigured);
        EXPECT_STREQ(failure->what(), "");
    }
    EXPECT_TRUE(net.sleeps.empty());
    EXPECT_TRUE(net.resolved.empty());
}

TEST_F(ChannelTest, HostNamesGoThroughTheResolverAndAddressLiteralsDoNot) {
    in_addr loopback{};
    ::inet_pton(AF_INET, "127.0.0.1", &loopback);
    net.names["waage.lan"] = loopback;

    channel.Connect();
    EXPECT_TRUE(net.resolved.empty());
    channel.Disconnect();

    channel.SetHost("waage.lan");
    channel.Connect();
    EXPECT_TRUE(channel.Connected());
    EXPECT_THAT(net.resolved, ElementsAre("waage.lan"));
    channel.Disconnect();

    channel.SetHost("nowhere.lan");
    net.sleeps.clear();
    const auto failure = FailureOf([&] { channel.Connect(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Kind(), LineFailure::Socket);
    EXPECT_THAT(failure->Message(), ::testing::StartsWith("Socket Error # -2\r\n"));
    EXPECT_TRUE(net.sleeps.empty());
    EXPECT_FALSE(channel.Connected());
}

TEST_F(ChannelTest, AlreadyConnectedLeavesTheConnectionAsItWas) {
    Open();
    const int socket = channel.NativeSocket();
    const auto failure = FailureOf([&] { channel.Connect(); });
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "Already connected.");
    EXPECT_TRUE(net.sleeps.empty());
    EXPECT_EQ(channel.NativeSocket(), socket);
    channel.WriteLn("T1");
    EXPECT_EQ(peer->ReadLine(), "T1\r\n");
}

TEST_F(ChannelTest, ConnectWithoutTimeOutBlocksWithoutSteps) {
    channel.SetConnectTimeout(0);
    channel.Connect();
    EXPECT_TRUE(net.sleeps.empty());
    EXPECT_TRUE(channel.Connected());
}

TEST_F(ChannelTest, NagleIsSwitchedAsConfigured) {
    for (const bool nagle : {true, false}) {
        channel.SetNagle(nagle);
        channel.Connect();
        int noDelay = -1;
        socklen_t length = sizeof noDelay;
        ::getsockopt(channel.NativeSocket(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &length);
        EXPECT_EQ(noDelay != 0, !nagle);
        channel.Disconnect();
    }
}

// --- ReadLn and WriteLn ---------------------------------------------------------------------

struct FramingRow {
    std::string bytes;
    std::vector<std::string> lines;
};

class FramingTest : public ChannelTest, public ::testing::WithParamInterface<FramingRow> {};

TEST_P(FramingTest, LinesEndAtLfLessOneCr) {
    Open();
    ArriveNow(GetParam().bytes);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < GetParam().lines.size(); ++i) {
        lines.push_back(channel.ReadLn());
    }
    EXPECT_EQ(lines, GetParam().lines);
    EXPECT_EQ(channel.BufferedBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FramingTest,
    ::testing::Values(FramingRow{"12,5\r\n", {"12,5"}}, FramingRow{"12,5\n", {"12,5"}},
                      FramingRow{"12,5\r\r\n", {"12,5\r"}}, FramingRow{"\r\n\n", {"", ""}},
                      FramingRow{"12,5\r\n-5002\r\n", {"12,5", "-5002"}},
                      FramingRow{"\xD0\x92\xD0\xB5\xD1\x81\xD1\x8B 1\n", {"Весы 1"}},
                      FramingRow{std::string("1\0"
                                             "2\n",
                                             4),
                                 {std::string("1\0"
                                              "2",
                                              3)}},
                      FramingRow{"\xFF\xC3(\xE2\x82\n", {"\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD"}},
                      FramingRow{std::string(16384, 'x') + "\n", {std::string(16384, 'x')}}));

TEST_F(ChannelTest, LinesOverTheLimitFailAndDropTheConnection) {
    for (const std::string& bytes : {std::string(16385, 'x') + "\n",
                                     std::string(16384, 'x') + "\r\n", std::string(20000, 'x')}) {
        Open();
        ArriveNow(bytes);
        const auto failure = FailureOf([&] { channel.ReadLn(); });
        ASSERT_TRUE(failure);
        EXPECT_STREQ(failure->what(), "Max line length exceeded.");
        EXPECT_EQ(channel.BufferedBytes(), 0u);
        EXPECT_EQ(channel.NativeSocket(), -1);
        EXPECT_FALSE(channel.Connected());
        EXPECT_EQ(peer->ReadToEnd(), "");
    }
}

TEST_F(ChannelTest, PartialLineThenSilenceTimesOutAndStaysBuffered) {
    Open();
    ArriveNext("12,5");
    const auto failure = FailureOf([&] { channel.ReadLn(); });
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "Read timed out.");
    EXPECT_EQ(net.now, 100);
    EXPECT_EQ(channel.BufferedBytes(), 4u);
    EXPECT_TRUE(channel.Connected());

    ArriveNext("\r\n");
    EXPECT_EQ(channel.ReadLn(), "12,5");
}

TEST_F(ChannelTest, PartialLineThenCloseFailsGracefully) {
    Open();
    ArriveNow("12,5");
    peer->Close();
    AwaitHangup(channel.NativeSocket());
    const auto failure = FailureOf([&] { channel.ReadLn(); });
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "Connection Closed Gracefully.");
    EXPECT_EQ(channel.NativeSocket(), -1);
}

TEST_F(ChannelTest, ALateReplyIsTheAnswerToTheNextReadLn) {
    Open();
    net.At(150, [this] { peer->Send("late\r\n"); });
    const auto failure = FailureOf([&] { channel.ReadLn(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Kind(), LineFailure::ReadTimedOut);
    EXPECT_EQ(channel.ReadLn(), "late");
    EXPECT_EQ(net.now, 150);
}

TEST_F(ChannelTest, EachWaitIsOneReadTimeOutAndTheWholeReadAtMostTwenty) {
    Open();
    // One byte every 90 ms: each wait is shorter than the time-out, the whole line is not.
    for (int i = 1; i <= 100; ++i) {
        net.At(90 * i, [this] { peer->Send("1"); });
    }
    const auto failure = FailureOf([&] { channel.ReadLn(); });
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "Read timed out.");
    EXPECT_EQ(net.now, 2000);
    EXPECT_EQ(channel.BufferedBytes(), 22u);
    EXPECT_TRUE(channel.Connected());
    for (int wait : net.byteWaits) {
        EXPECT_LE(wait, 100);
    }
}

TEST_F(ChannelTest, ReadTimeOutZeroWaitsWithoutLimit) {
    channel.SetReadTimeout(0);
    Open();
    net.At(60000, [this] { peer->Send("x\n"); });
    EXPECT_EQ(channel.ReadLn(), "x");
    EXPECT_THAT(net.byteWaits, ElementsAre(-1));
}

TEST_F(ChannelTest, WriteLnSendsUtf8AndCrLf) {
    Open();
    channel.WriteLn("Весы 1");
    channel.WriteLn("");
    EXPECT_EQ(peer->ReadLine(), "\xD0\x92\xD0\xB5\xD1\x81\xD1\x8B 1\r\n");
    EXPECT_EQ(peer->ReadLine(), "\r\n");
}

TEST_F(ChannelTest, WriteLnWithoutConnectionFailsGracefully) {
    const auto failure = FailureOf([&] { channel.WriteLn("T1"); });
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "Connection Closed Gracefully.");
}

TEST_F(ChannelTest, WriteLnToAResetConnectionFailsWithoutKillingTheProcess) {
    Open();
    peer->Reset();
    AwaitHangup(channel.NativeSocket());
    const auto failure = FailureOf([&] { channel.WriteLn("T1"); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Kind(), LineFailure::Socket);
    EXPECT_EQ(channel.NativeSocket(), -1);
    const auto again = FailureOf([&] { channel.WriteLn("T1"); });
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Kind(), LineFailure::ClosedGracefully);
}

// --- Connected, Dead, Discard, Disconnect -----------------------------------------------------

TEST_F(ChannelTest, NotConnectedBeforeTheFirstConnect) {
    EXPECT_FALSE(channel.Connected());
    EXPECT_FALSE(channel.Dead());
}

TEST_F(ChannelTest, ConnectedMovesArrivedBytesIntoTheBuffer) {
    Open();
    ArriveNow("12,5\r\n");
    EXPECT_TRUE(channel.Connected());
    EXPECT_EQ(channel.BufferedBytes(), 6u);
    EXPECT_EQ(channel.ReadLn(), "12,5");
}

TEST_F(ChannelTest, ConnectedStopsTakingBytesAtTheBufferBound) {
    Open();
    const int big = 1 << 20;
    ::setsockopt(channel.NativeSocket(), SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    std::string lines;
    while (lines.size() <= TcpLineChannel::kMaxBuffered + 8) {
        lines += "12,5\r\n";
    }
    ArriveNow(lines);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(channel.Connected());
    }
    EXPECT_EQ(channel.BufferedBytes(), TcpLineChannel::kMaxBuffered);
}

TEST_F(ChannelTest, PeerCloseWithNothingUnreadMeansNotConnected) {
    Open();
    peer->Close();
    AwaitHangup(channel.NativeSocket());
    EXPECT_FALSE(channel.Connected());
    EXPECT_EQ(channel.NativeSocket(), -1);
    EXPECT_FALSE(channel.Dead());
    channel.Connect();
    EXPECT_TRUE(channel.Connected());
}

TEST_F(ChannelTest, PeerCloseWithUnreadBytesStaysConnectedButCannotSend) {
    Open();
    ArriveNow("a\r\nb\r\n");
    peer->Close();
    AwaitHangup(channel.NativeSocket());
    EXPECT_EQ(channel.ReadLn(), "a");
    EXPECT_TRUE(channel.Connected());
    EXPECT_TRUE(channel.Dead());
    const auto refused = FailureOf([&] { channel.Connect(); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Kind(), LineFailure::AlreadyConnected);
    const auto failure = FailureOf([&] { channel.WriteLn("T1"); });
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "Connection Closed Gracefully.");

    channel.Discard();
    EXPECT_FALSE(channel.Connected());
    EXPECT_FALSE(channel.Dead());
    EXPECT_EQ(channel.BufferedBytes(), 0u);
    channel.Connect();
    EXPECT_TRUE(channel.Connected());
}

TEST_F(ChannelTest, AResetMakesTheConnectedTestFailAndKeepsTheSocket) {
    Open();
    peer->Reset();
    AwaitHangup(channel.NativeSocket());
    const auto failure = FailureOf([&] { channel.Connected(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Message(), "Socket Error # 104\r\nConnection reset by peer");
    EXPECT_GE(channel.NativeSocket(), 0);
    channel.Discard();
    EXPECT_EQ(channel.NativeSocket(), -1);
    EXPECT_FALSE(channel.Connected());
}

TEST_F(ChannelTest, AResetInTheMiddleOfALineFailsTheRead) {
    Open();
    ArriveNow("12,");
    peer->Reset();
    AwaitHangup(channel.NativeSocket());
    const auto failure = FailureOf([&] { channel.ReadLn(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Kind(), LineFailure::Socket);
    EXPECT_EQ(failure->Code(), ECONNRESET);
}

TEST_F(ChannelTest, DisconnectEndsTheStreamAndKeepsUnreadBytes) {
    Open();
    ArriveNow("x\r\n");
    EXPECT_TRUE(channel.Connected());
    channel.WriteLn("SetNullT1");
    channel.Disconnect();
    EXPECT_EQ(peer->ReadToEnd(), "SetNullT1\r\n");
    EXPECT_EQ(channel.NativeSocket(), -1);
    EXPECT_EQ(channel.ReadLn(), "x");
    EXPECT_FALSE(channel.Connected());
    channel.Disconnect();
}

TEST_F(ChannelTest, ReleasingAChannelClosesItsSocket) {
    auto temporary = std::make_unique<TcpLineChannel>(net);
    temporary->SetHost("127.0.0.1");
    temporary->SetPort(server.Port());
    temporary->SetConnectTimeout(100);
    temporary->Connect();
    auto accepted = server.Accept();
    temporary.reset();
    EXPECT_EQ(accepted->ReadToEnd(), "");
}

TEST_F(ChannelTest, FactoryMakesChannelsWithTheDefaultsOfANewChannel) {
    TcpLineChannelFactory factory(net);
    auto made = factory.Create();
    EXPECT_FALSE(made->Connected());
    const auto failure = FailureOf([&] { made->Connect(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Kind(), LineFailure::NotConfigured);
}

// --- The real clock and sockets --------------------------------------------------------------

TEST(RealChannelTest, ConnectAndReadTimeOutWaitAtLeastTheirTime) {
    using Clock = std::chrono::steady_clock;
    LoopbackServer server;
    TcpLineChannel channel;
    channel.SetHost("127.0.0.1");
    channel.SetPort(server.Port());
    channel.SetConnectTimeout(100);
    channel.SetReadTimeout(50);
    const auto start = Clock::now();
    channel.Connect();
    const auto connected = Clock::now();
    EXPECT_GE(connected - start, std::chrono::milliseconds(100));
    auto peer = server.Accept();
    const auto failure = FailureOf([&] { channel.ReadLn(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Kind(), LineFailure::ReadTimedOut);
    EXPECT_GE(Clock::now() - connected, std::chrono::milliseconds(50));
    peer->Send("12,5\r\n");
    EXPECT_EQ(channel.ReadLn(), "12,5");
}

TEST(RealChannelTest, IgnoreSigpipeIgnoresTheSignal) {
    struct sigaction before {};
    ::sigaction(SIGPIPE, nullptr, &before);
    IgnoreSigpipe();
    struct sigaction now {};
    ::sigaction(SIGPIPE, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    ::sigaction(SIGPIPE, &before, nullptr);
}

} // namespace
} // namespace vesmera::test
