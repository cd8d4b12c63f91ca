#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "net/network_poller.h"
#include "net/tcp_line_channel.h"
#include "net_test_support.h"

namespace vesmera::test {
namespace {

// Timer2 ticks in one Timer3 period.
constexpr int kTicksPerTimer3 = 3000 / 100;

// The main window's channel against a server in the test process, on the fake clock.
class LoopbackPollerTest : public ::testing::Test {
protected:
    LoopbackPollerTest() : server(std::make_unique<LoopbackServer>()) {
        client.SetHost("127.0.0.1");
        client.SetPort(server->Port());
        client.SetConnectTimeout(100);
        client.SetReadTimeout(100);
        client.SetNagle(false);
    }

    ~LoopbackPollerTest() override { StopStreaming(); }

    // The server answers the next request with `reply` at fake time `at`, accepting a new
    // connection when the current one is gone.
    void AnswerAt(std::int64_t at, const std::string& reply) {
        net.At(at, [this, reply] {
            if (!peer || peer->Fd() < 0) {
                peer = server->Accept();
            }
            requests.push_back(peer->ReadLine());
            peer->Send(reply);
        });
    }
    void AnswerNext(const std::string& reply) { AnswerAt(net.now, reply); }

    // Ticks Timer2 (and Timer3 once per period) until the indicator shows `text`; returns the
    // number of Timer2 ticks it took, or -1.
    int TicksUntilShown(const std::string& text, int most) {
        for (int tick = 1; tick <= most; ++tick) {
            poller.Timer2Tick();
            EXPECT_LT(client.BufferedBytes(), 1u << 20);
            if (indicator.visible && indicator.text == text) {
                return tick;
            }
            if (tick % kTicksPerTimer3 == 0) {
                poller.Timer3Tick();
            }
        }
        return -1;
    }

    // A hostile server writing without end from a thread until the connection breaks.
    void StreamForever(std::string chunk, std::size_t total) {
        net.At(net.now, [this, chunk, total] {
            peer = server->Accept();
            requests.push_back(peer->ReadLine());
            const int fd = peer->Fd();
            writer = std::thread([fd, chunk, total] {
                for (std::size_t sent = 0; sent < total;) {
                    const long n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                    if (n <= 0) {
                        return;
                    }
                    sent += static_cast<std::size_t>(n);
                }
            });
        });
    }

    void StopStreaming() {
        if (writer.joinable()) {
            peer->Shutdown();
            writer.join();
        }
    }

    // The hostile connection ends and a sane server answers every new connection.
    void SaneServerReturns() {
        StopStreaming();
        if (peer) {
            peer->Close();
        }
        for (int i = 0; i < 3; ++i) {
            AnswerAt(net.now + 1, "12,5\r\n-5002\r\n");
        }
    }

    FakeSocketSystem net;
    std::unique_ptr<LoopbackServer> server;
    std::unique_ptr<Peer> peer;
    std::vector<std::string> requests;
    std::thread writer;
    TcpLineChannel client{net};
    HeldSettings settings;
    FakeIndicator indicator;
    FakeMessage message;
    NetworkPoller poller{
        client, settings, indicator, message, [] { return std::optional<std::string>("T1"); }, ','};
};

TEST_F(LoopbackPollerTest, ServerDownAtStartThenUp) {
    const std::uint16_t port = RefusedPort();
    server.reset();
    client.SetPort(port);
    for (int i = 0; i < 3; ++i) {
        poller.Timer2Tick();
    }
    EXPECT_EQ(indicator.text, "-------");
    EXPECT_EQ(message.shows, 0);
    poller.Timer3Tick();
    EXPECT_EQ(message.text, "Сервер не найден");
    EXPECT_TRUE(message.visible);

    server = std::make_unique<LoopbackServer>(port);
    AnswerNext("12,5\r\n-5002\r\n");
    poller.Timer2Tick();
    EXPECT_EQ(indicator.text, "12,5");
    EXPECT_TRUE(indicator.visible);
    EXPECT_FALSE(message.visible);
    EXPECT_EQ(indicator.color, clGreen);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], "T1\r\n");
}

TEST_F(LoopbackPollerTest, ALateReplyAnswersTheNextPoll) {
    poller.Timer3Tick(); // connects: the clock is at 100
    AnswerAt(net.now + 150, "1\r\n-5002\r\n");
    AnswerAt(net.now + 100 + 150, "2\r\n-5003\r\n");
    poller.Timer2Tick();
    EXPECT_EQ(message.text, "Сервер не найден");
    EXPECT_EQ(indicator.text, "-------");
    poller.Timer2Tick();
    EXPECT_EQ(indicator.text, "1");
    poller.Timer2Tick();
    EXPECT_EQ(indicator.text, "2");
    EXPECT_EQ(indicator.color, clRed);
    EXPECT_EQ(requests, (std::vector<std::string>{"T1\r\n", "T1\r\n"}));
}

TEST_F(LoopbackPollerTest, AServerRestartIsFollowedByAReconnectAndFreshReadings) {
    AnswerNext("12,5\r\n-5002\r\n");
    ASSERT_EQ(TicksUntilShown("12,5", 1), 1);
    const int old = client.NativeSocket();
    const std::uint16_t port = server->Port();
    peer->Close();
    server.reset();
    server = std::make_unique<LoopbackServer>(port);
    AwaitHangup(old);
    AnswerNext("13\r\n-5002\r\n");
    const int ticks = TicksUntilShown("13", kTicksPerTimer3);
    EXPECT_GE(ticks, 1);
}

TEST_F(LoopbackPollerTest, AServerThatClosesWithUnreadBytesIsRecoveredFrom) {
    net.At(0, [this] {
        peer = server->Accept();
        requests.push_back(peer->ReadLine());
        peer->Send("12,5\r\n-5002\r\n99\r\n");
        peer->Close();
    });
    ASSERT_EQ(TicksUntilShown("12,5", 1), 1);
    AwaitHangup(client.NativeSocket());
    AnswerAt(net.now + 1, "14\r\n-5002\r\n");
    const int ticks = TicksUntilShown("14", kTicksPerTimer3);
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 2);
}

TEST_F(LoopbackPollerTest, AServerThatResetsIsRecoveredFrom) {
    AnswerNext("12,5\r\n-5002\r\n");
    ASSERT_EQ(TicksUntilShown("12,5", 1), 1);
    peer->Reset();
    AwaitHangup(client.NativeSocket());
    AnswerAt(net.now + 1, "15\r\n-5002\r\n");
    const int ticks = TicksUntilShown("15", kTicksPerTimer3);
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 2);
}

// --- A hostile server ------------------------------------------------------------------------

TEST_F(LoopbackPollerTest, A16MiBLineIsRefusedWithBoundedMemory) {
    StreamForever(std::string(65536, 'x'), 16u << 20);
    poller.Timer2Tick();
    EXPECT_EQ(message.text, "Сервер не найден");
    EXPECT_LT(client.BufferedBytes(), 1u << 20);
    SaneServerReturns();
    EXPECT_GE(TicksUntilShown("12,5", kTicksPerTimer3), 1);
}

TEST_F(LoopbackPollerTest, AnEndlessStreamWithoutLfIsRefusedWithBoundedMemory) {
    StreamForever(std::string(4096, '7'), SIZE_MAX);
    for (int i = 0; i < 5; ++i) {
        poller.Timer2Tick();
        EXPECT_EQ(message.text, "Сервер не найден");
        EXPECT_LT(client.BufferedBytes(), 1u << 20);
    }
    SaneServerReturns();
    EXPECT_GE(TicksUntilShown("12,5", kTicksPerTimer3), 1);
}

TEST_F(LoopbackPollerTest, AServerTricklingOneByteEvery90MsHoldsATickAtMostTwoSeconds) {
    net.At(0, [this] {
        peer = server->Accept();
        requests.push_back(peer->ReadLine());
        peer->Send("1");
    });
    for (int i = 1; i < 400; ++i) {
        net.At(90 * i, [this] { peer->Send("2"); });
    }
    const std::int64_t start = net.now;
    poller.Timer2Tick(); // the connect takes 100 ms, the read at most 20 read time-outs
    EXPECT_LE(net.now - start, 100 + 2000);
    EXPECT_EQ(message.text, "Сервер не найден");
    poller.Timer2Tick();
    EXPECT_LE(net.now - start, 100 + 2 * 2000);
    EXPECT_LT(client.BufferedBytes(), 1u << 20);

    const int old = client.NativeSocket();
    peer->Close();
    AwaitHangup(old);
    net = FakeSocketSystem{}; // the trickle ends with the connection
    SaneServerReturns();
    EXPECT_GE(TicksUntilShown("12,5", kTicksPerTimer3), 1);
}

struct HostileRow {
    std::string name;
    std::string bytes;
    bool reset; // a reset follows the bytes
};

class HostileReplyTest : public LoopbackPollerTest,
                         public ::testing::WithParamInterface<HostileRow> {};

TEST_P(HostileReplyTest, ShowsServerNotFoundAndRecovers) {
    const HostileRow& row = GetParam();
    net.At(0, [this, row] {
        peer = server->Accept();
        requests.push_back(peer->ReadLine());
        peer->Send(row.bytes);
        if (row.reset) {
            peer->Reset();
        }
    });
    poller.Timer2Tick();
    EXPECT_EQ(message.text, "Сервер не найден");
    EXPECT_TRUE(message.visible);
    EXPECT_EQ(indicator.text, "-------");
    SaneServerReturns();
    if (client.NativeSocket() >= 0) {
        AwaitHangup(client.NativeSocket());
    }
    EXPECT_GE(TicksUntilShown("12,5", kTicksPerTimer3), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileReplyTest,
    ::testing::Values(HostileRow{"InvalidUtf8", "\xFF\xFE\xC0\r\n-5002\r\n", false},
                      HostileRow{"NulBytes", std::string("12\0,5\r\n-5002\r\n", 13), false},
                      HostileRow{"ResetMidLine", "12,", true},
                      HostileRow{"ResetAfterWeightLine", "12,5\r\n", true}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace vesmera::test
