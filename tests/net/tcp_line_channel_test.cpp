#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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
        resolver.names["waage.lan"] = {Loopback4()};
    }

    LineResult Connect() {
        return Drive(scheduler, [this](LineDone done) { channel.Connect(std::move(done)); });
    }
    LineResult Read() {
        return Drive(scheduler, [this](LineDone done) { channel.ReadLn(std::move(done)); });
    }
    LineResult Write(const std::string& line) {
        return Drive(scheduler, [&](LineDone done) { channel.WriteLn(line, std::move(done)); });
    }
    // Connected to the loopback server, with the clock back at 0.
    void Open() {
        ASSERT_TRUE(Connect().Ok());
        peer = server.Accept();
        start = scheduler.NowMs();
    }
    std::int64_t Elapsed() const { return scheduler.NowMs() - start; }

    // The bytes are in the client's kernel buffer before the next call.
    void ArriveNow(const std::string& bytes) {
        peer->Send(bytes);
        AwaitBytes(channel.NativeSocket(), bytes.size());
    }
    // The bytes leave the peer at the given fake time from now.
    void ArriveAt(std::int64_t ms, const std::string& bytes) {
        scheduler.After(static_cast<std::uint32_t>(ms), [this, bytes] { peer->Send(bytes); });
    }

    testing::FakeScheduler scheduler;
    FakeResolver resolver{scheduler};
    LoopbackServer server;
    TcpLineChannel channel{scheduler, resolver};
    std::unique_ptr<Peer> peer;
    std::int64_t start = 0;
};

// --- Connect -------------------------------------------------------------------------------

TEST_F(ChannelTest, ConnectCompletesAsSoonAsTheServerAcceptsAndNothingWaitsInTheCall) {
    bool ended = false;
    channel.Connect([&](const LineResult& result) { ended = result.Ok(); });
    EXPECT_FALSE(ended); // never from inside the call
    for (int i = 0; i < 100 && !ended; ++i) {
        Settle(scheduler);
        scheduler.PumpDescriptors(5);
    }
    Settle(scheduler);
    EXPECT_TRUE(ended);
    EXPECT_EQ(scheduler.NowMs(), 0); // no wait step of the clock
    EXPECT_TRUE(channel.Connected());
    EXPECT_TRUE(resolver.asked.empty()); // an address literal is used directly
}

struct ConnectFailureRow {
    std::string name;
    std::string host;
    bool refusedPort;
    std::uint16_t port; // used when not refusedPort and not the server's (0: port 0)
    LineFailure kind;
    std::string message; // "" with kind Socket: only the prefix is checked
    std::int64_t failsAt;
};

class ConnectFailureTest : public ChannelTest,
                           public ::testing::WithParamInterface<ConnectFailureRow> {};

TEST_P(ConnectFailureTest, FailsWithItsMessageAtItsTimeAndLeavesNothingOpen) {
    const ConnectFailureRow& row = GetParam();
    channel.SetHost(row.host);
    channel.SetPort(row.refusedPort ? RefusedPort() : row.port);
    const LineResult result = Connect();
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.error->Kind(), row.kind);
    if (row.kind == LineFailure::Socket && row.message.empty())
        EXPECT_THAT(result.error->Message(), ::testing::StartsWith("Socket Error # "));
    else
        EXPECT_EQ(result.error->Message(), row.message);
    EXPECT_EQ(scheduler.NowMs(), row.failsAt);
    EXPECT_FALSE(channel.Connected());
    EXPECT_EQ(channel.NativeSocket(), -1);
    EXPECT_EQ(resolver.Pending(), 0u); // a lookup nobody waits for is let go
    EXPECT_EQ(scheduler.Watches(), 0u);

    // The next connect starts from scratch.
    channel.SetHost("127.0.0.1");
    channel.SetPort(server.Port());
    EXPECT_TRUE(Connect().Ok());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConnectFailureTest,
    ::testing::Values(
        ConnectFailureRow{"Refused", "127.0.0.1", true, 0, LineFailure::Socket,
                          "Socket Error # 111\r\nConnection refused", 0},
        ConnectFailureRow{"EmptyHost", "", false, 80, LineFailure::NotConfigured, "", 0},
        ConnectFailureRow{"PortZero", "127.0.0.1", false, 0, LineFailure::NotConfigured, "", 0},
        ConnectFailureRow{"NameServerNeverAnswers", "silent.lan", false, 80,
                          LineFailure::ConnectTimedOut, "Connect timed out.", 100},
        ConnectFailureRow{"AllAddressesRefused", "waage.lan", true, 0, LineFailure::Socket,
                          "Socket Error # 111\r\nConnection refused", 0}),
    [](const auto& info) { return info.param.name; });

TEST_F(ChannelTest, AnUnknownNameFailsWithTheResolversCodeAndText) {
    channel.SetHost("nowhere.lan");
    bool ended = false;
    std::optional<LineChannelError> error;
    channel.Connect([&](const LineResult& result) {
        ended = true;
        error = result.error;
    });
    resolver.Fail("nowhere.lan", EAI_NONAME);
    Settle(scheduler);
    ASSERT_TRUE(ended);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Message(), std::string("Socket Error # -2\r\n") + ::gai_strerror(EAI_NONAME));
}

TEST_F(ChannelTest, ALookupThatEndsAfterTheTimeOutIsDropped) {
    channel.SetHost("late.lan");
    int ends = 0;
    channel.Connect([&](const LineResult&) { ++ends; });
    scheduler.Advance(100);
    Settle(scheduler);
    EXPECT_EQ(ends, 1);
    resolver.Fail("late.lan", 0); // nobody is waiting any more
    Settle(scheduler);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(channel.NativeSocket(), -1);
}

TEST_F(ChannelTest, TheResolvedAddressesAreTriedInOrderWithinTheTimeOut) {
    SocketAddress refused;
    ASSERT_TRUE(ParseAddressLiteral("127.0.0.2", refused)); // nothing listens there
    resolver.names["waage.lan"] = {refused, Loopback4()};
    channel.SetHost("waage.lan");
    EXPECT_TRUE(Connect().Ok());
    EXPECT_THAT(resolver.asked, ElementsAre("waage.lan"));
    auto accepted = server.Accept();
    EXPECT_GE(accepted->Fd(), 0);
}

TEST_F(ChannelTest, AnIPv6LiteralWithOrWithoutBracketsConnects) {
    const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0) {
        if (listener >= 0)
            ::close(listener);
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    channel.SetPort(ntohs(address.sin6_port));
    for (const std::string host : {"::1", "[::1]"}) {
        channel.SetHost(host);
        const LineResult result = Connect();
        EXPECT_TRUE(result.Ok()) << host;
        channel.Disconnect();
    }
    EXPECT_TRUE(resolver.asked.empty());
    ::close(listener);
}

TEST_F(ChannelTest, AlreadyConnectedLeavesTheConnectionAsItWas) {
    Open();
    const int socket = channel.NativeSocket();
    const LineResult again = Connect();
    ASSERT_FALSE(again.Ok());
    EXPECT_EQ(again.error->Message(), "Already connected.");
    EXPECT_EQ(channel.NativeSocket(), socket);
    EXPECT_TRUE(Write("T1").Ok());
    EXPECT_EQ(peer->ReadLine(), "T1\r\n");
}

TEST_F(ChannelTest, NagleIsSwitchedAsConfigured) {
    for (const bool nagle : {true, false}) {
        channel.SetNagle(nagle);
        ASSERT_TRUE(Connect().Ok());
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
        lines.push_back(Read().line);
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
        const LineResult result = Read();
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.error->Message(), "Max line length exceeded.");
        EXPECT_EQ(channel.BufferedBytes(), 0u);
        EXPECT_EQ(channel.NativeSocket(), -1);
        EXPECT_FALSE(channel.Connected());
        EXPECT_EQ(peer->ReadToEnd(), "");
    }
}

struct ReadTimingRow {
    std::string name;
    std::int32_t readTimeout;
    std::vector<std::pair<std::int64_t, std::string>> arrivals; // fake time, bytes
    std::optional<LineFailure> failure;                         // none: the line below
    std::string line;
    std::int64_t endsAt;
    std::size_t bufferedAfter;
};

class ReadTimingTest : public ChannelTest, public ::testing::WithParamInterface<ReadTimingRow> {};

TEST_P(ReadTimingTest, EachWaitIsOneReadTimeOutAndTheWholeLineAtMostTwenty) {
    const ReadTimingRow& row = GetParam();
    channel.SetReadTimeout(row.readTimeout);
    Open();
    for (const auto& [at, bytes] : row.arrivals)
        ArriveAt(at, bytes);
    const LineResult result = Read();
    if (row.failure) {
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.error->Kind(), *row.failure);
    } else {
        ASSERT_TRUE(result.Ok()) << result.error->Message();
        EXPECT_EQ(result.line, row.line);
    }
    EXPECT_EQ(Elapsed(), row.endsAt);
    EXPECT_EQ(channel.BufferedBytes(), row.bufferedAfter);
    EXPECT_TRUE(channel.Connected()); // a time-out keeps the connection and what it holds
}

std::vector<std::pair<std::int64_t, std::string>> Trickle(int count, int every) {
    std::vector<std::pair<std::int64_t, std::string>> arrivals;
    for (int i = 1; i <= count; ++i)
        arrivals.emplace_back(std::int64_t{every} * i, "1");
    return arrivals;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadTimingTest,
    ::testing::Values(
        ReadTimingRow{"Silence", 100, {}, LineFailure::ReadTimedOut, "", 100, 0},
        ReadTimingRow{
            "PartialLineThenSilence", 100, {{0, "12,5"}}, LineFailure::ReadTimedOut, "", 100, 4},
        ReadTimingRow{"PiecesWithinTheTimeOut",
                      100,
                      {{0, "12"}, {90, ",5"}, {180, "\r\n"}},
                      std::nullopt,
                      "12,5",
                      180,
                      0},
        ReadTimingRow{"OneByteEvery90Ms", 100, Trickle(100, 90), LineFailure::ReadTimedOut, "",
                      2000, 22},
        ReadTimingRow{"TenMsTimeOut", 10, {{20, "12,5\r\n"}}, LineFailure::ReadTimedOut, "", 10, 0},
        ReadTimingRow{"NoLimit", 0, {{60000, "x\n"}}, std::nullopt, "x", 60000, 0}),
    [](const auto& info) { return info.param.name; });

TEST_F(ChannelTest, ALateReplyIsTheAnswerToTheNextReadLn) {
    Open();
    ArriveAt(150, "late\r\n");
    const LineResult first = Read();
    ASSERT_FALSE(first.Ok());
    EXPECT_EQ(first.error->Kind(), LineFailure::ReadTimedOut);
    EXPECT_EQ(Read().line, "late");
    EXPECT_EQ(Elapsed(), 150);
}

TEST_F(ChannelTest, PartialLineThenCloseFailsGracefully) {
    Open();
    ArriveNow("12,5");
    peer->Close();
    AwaitHangup(channel.NativeSocket());
    const LineResult result = Read();
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.error->Message(), "Connection Closed Gracefully.");
    EXPECT_EQ(channel.NativeSocket(), -1);
}

TEST_F(ChannelTest, WriteLnSendsUtf8AndCrLf) {
    Open();
    EXPECT_TRUE(Write("Весы 1").Ok());
    EXPECT_TRUE(Write("").Ok());
    EXPECT_EQ(peer->ReadLine(), "\xD0\x92\xD0\xB5\xD1\x81\xD1\x8B 1\r\n");
    EXPECT_EQ(peer->ReadLine(), "\r\n");
}

TEST_F(ChannelTest, WriteLnWithoutConnectionFailsGracefully) {
    const LineResult result = Write("T1");
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.error->Message(), "Connection Closed Gracefully.");
}

TEST_F(ChannelTest, WriteLnToAResetConnectionFailsWithoutKillingTheProcess) {
    Open();
    peer->Reset();
    AwaitHangup(channel.NativeSocket());
    const LineResult result = Write("T1");
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.error->Kind(), LineFailure::Socket);
    EXPECT_EQ(channel.NativeSocket(), -1);
    const LineResult again = Write("T1");
    ASSERT_FALSE(again.Ok());
    EXPECT_EQ(again.error->Kind(), LineFailure::ClosedGracefully);
}

struct StalledWriteRow {
    std::int32_t connectTimeout;
    std::int32_t readTimeout; // -1: unset, as for the zero request
    std::int64_t failsAt;
};

class StalledWriteTest : public ChannelTest,
                         public ::testing::WithParamInterface<StalledWriteRow> {};

TEST_P(StalledWriteTest, APeerThatStopsReadingFailsTheWriteWithTheSocketTimeOut) {
    channel.SetConnectTimeout(GetParam().connectTimeout);
    channel.SetReadTimeout(GetParam().readTimeout);
    Open();
    const int small = 4096;
    ::setsockopt(channel.NativeSocket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(peer->Fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const LineResult result = Write(std::string(8 << 20, 'x'));
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.error->Kind(), LineFailure::Socket);
    EXPECT_EQ(result.error->Code(), ETIMEDOUT);
    EXPECT_EQ(Elapsed(), GetParam().failsAt);
}

INSTANTIATE_TEST_SUITE_P(Rows, StalledWriteTest,
                         ::testing::Values(StalledWriteRow{100, 100, 100},
                                           StalledWriteRow{100, 10, 10},
                                           StalledWriteRow{1000, -1, 1000}));

// --- Connected, Dead, Discard, Disconnect -----------------------------------------------------

TEST_F(ChannelTest, NotConnectedBeforeTheFirstConnect) {
    EXPECT_FALSE(channel.Connected());
    EXPECT_FALSE(channel.Dead());
}

TEST_F(ChannelTest, ConnectedMovesArrivedBytesIntoTheBufferUpToItsBound) {
    Open();
    ArriveNow("12,5\r\n");
    EXPECT_TRUE(channel.Connected());
    EXPECT_EQ(channel.BufferedBytes(), 6u);
    EXPECT_EQ(Read().line, "12,5");

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
    EXPECT_TRUE(Connect().Ok());
    EXPECT_TRUE(channel.Connected());
}

TEST_F(ChannelTest, PeerCloseWithUnreadBytesStaysConnectedButCannotSend) {
    Open();
    ArriveNow("a\r\nb\r\n");
    peer->Close();
    AwaitHangup(channel.NativeSocket());
    EXPECT_EQ(Read().line, "a");
    EXPECT_TRUE(channel.Connected());
    EXPECT_TRUE(channel.Dead());
    const LineResult refused = Connect();
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(refused.error->Kind(), LineFailure::AlreadyConnected);
    const LineResult write = Write("T1");
    ASSERT_FALSE(write.Ok());
    EXPECT_EQ(write.error->Message(), "Connection Closed Gracefully.");

    channel.Discard();
    EXPECT_FALSE(channel.Connected());
    EXPECT_FALSE(channel.Dead());
    EXPECT_EQ(channel.BufferedBytes(), 0u);
    EXPECT_TRUE(Connect().Ok());
}

TEST_F(ChannelTest, AResetMakesTheConnectedTestFailAndKeepsTheSocket) {
    Open();
    peer->Reset();
    AwaitHangup(channel.NativeSocket());
    try {
        channel.Connected();
        ADD_FAILURE() << "no failure";
    } catch (const LineChannelError& e) {
        EXPECT_EQ(e.Message(), "Socket Error # 104\r\nConnection reset by peer");
    }
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
    const LineResult result = Read();
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.error->Kind(), LineFailure::Socket);
    EXPECT_EQ(result.error->Code(), ECONNRESET);
}

TEST_F(ChannelTest, DisconnectEndsTheStreamAndKeepsUnreadBytes) {
    Open();
    ArriveNow("x\r\n");
    EXPECT_TRUE(channel.Connected());
    EXPECT_TRUE(Write("SetNullT1").Ok());
    channel.Disconnect();
    EXPECT_EQ(peer->ReadToEnd(), "SetNullT1\r\n");
    EXPECT_EQ(channel.NativeSocket(), -1);
    EXPECT_EQ(Read().line, "x");
    EXPECT_FALSE(channel.Connected());
    channel.Disconnect();
}

TEST_F(ChannelTest, DiscardAndReleaseDropAnOperationInFlightWithoutItsEnd) {
    Open();
    bool ended = false;
    channel.ReadLn([&](const LineResult&) { ended = true; });
    EXPECT_TRUE(channel.Busy());
    channel.Discard();
    scheduler.Advance(10000);
    EXPECT_FALSE(ended);
    EXPECT_EQ(scheduler.Watches(), 0u);
    EXPECT_EQ(scheduler.PendingTimers(), 0u);

    auto temporary = std::make_unique<TcpLineChannel>(scheduler, resolver);
    temporary->SetHost("127.0.0.1");
    temporary->SetPort(server.Port());
    temporary->SetConnectTimeout(100);
    ASSERT_TRUE(Drive(scheduler, [&](LineDone done) { temporary->Connect(std::move(done)); }).Ok());
    auto accepted = server.Accept();
    temporary->ReadLn([&](const LineResult&) { ended = true; });
    temporary.reset();
    scheduler.Advance(10000);
    EXPECT_FALSE(ended);
    EXPECT_EQ(accepted->ReadToEnd(), "");
}

TEST_F(ChannelTest, FactoryMakesChannelsWithTheDefaultsOfANewChannel) {
    TcpLineChannelFactory factory(scheduler, resolver);
    auto made = factory.Create();
    EXPECT_FALSE(made->Connected());
    const LineResult result =
        Drive(scheduler, [&](LineDone done) { made->Connect(std::move(done)); });
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.error->Kind(), LineFailure::NotConfigured);

    // Given only the address, it keeps the rest of a new channel's settings: Nagle on, and no
    // limit on a read.
    made->SetHost("127.0.0.1");
    made->SetPort(server.Port());
    ASSERT_TRUE(Drive(scheduler, [&](LineDone done) { made->Connect(std::move(done)); }).Ok());
    auto accepted = server.Accept();
    const int socket = dynamic_cast<TcpLineChannel&>(*made).NativeSocket();
    int noDelay = -1;
    socklen_t length = sizeof noDelay;
    ::getsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length);
    EXPECT_EQ(noDelay, 0);
    bool ended = false;
    made->ReadLn([&](const LineResult&) { ended = true; });
    EXPECT_EQ(scheduler.PendingTimers(), 0u);
    scheduler.Advance(1000000);
    EXPECT_FALSE(ended);
}

TEST(SignalTest, IgnoreSigpipeIgnoresTheSignal) {
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
