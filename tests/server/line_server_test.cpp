#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/client_notes.h"
#include "server/line_server.h"
#include "server/request_handler.h"
#include "server_fakes.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using testing::FakeLog;
using testing::FakeScheduler;
using testing::FakeTerminals;

// The server on loopback with a fake clock; clients are plain sockets of the test. Real waits
// only ever wait for something certain to happen, with a cap so a fault fails the test.
struct ServerRig {
    explicit ServerRig(ServerLimits limits = {}) : notes(clock, log), handler(terminals, notes) {
        terminals.answers["A"] = {"12,5", -5002};
        terminals.answers["Весы 2"] = {"-5001", -5003};
        server = std::make_unique<LineServer>(clock, handler, notes, std::move(limits));
        const sockaddr_storage bound = server->Listen(*ParseListenAddress("127.0.0.1:0"));
        port = ntohs(reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    }
    ~ServerRig() {
        for (int fd : clients)
            ::close(fd);
    }
    int Connect() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        clients.push_back(fd);
        Pump(); // accepted
        return fd;
    }
    void Send(int fd, const std::string& bytes) {
        ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Serves until the client has `count` bytes (or its end) waiting.
    std::string Receive(int fd, std::size_t count) {
        std::string got;
        for (int round = 0; round < 500 && got.size() < count; ++round) {
            clock.PumpDescriptors(10);
            char buffer[65536];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0)
                break;
            if (n > 0)
                got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    // True when the server has closed this client (its end read after any bytes).
    bool Closed(int fd) {
        for (int round = 0; round < 500; ++round) {
            clock.PumpDescriptors(10);
            clock.Advance(0); // a client closed in a callback is freed by the loop after it
            char buffer[65536];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno == ECONNRESET))
                return true;
        }
        return false;
    }
    void Pump() {
        for (int round = 0; round < 5 && clock.PumpDescriptors(10) > 0; ++round) {
        }
    }

    FakeScheduler clock;
    FakeTerminals terminals;
    FakeLog log;
    ClientNotes notes;
    RequestHandler handler;
    std::unique_ptr<LineServer> server;
    std::uint16_t port = 0;
    std::vector<int> clients;
};

const std::string kA = "12,5\r\n-5002\r\n";
const std::string kUnknown = "-5000\r\n-5003\r\n";

struct OrderRow {
    const char* name;
    std::vector<std::string> sends; // each one write of the client
    std::string replies;
    std::vector<std::string> zeros;
};

class ConnectionOrderTest : public ::testing::TestWithParam<OrderRow> {};

TEST_P(ConnectionOrderTest, AnswersEachLineInOrder) {
    ServerRig rig;
    const int fd = rig.Connect();
    for (const auto& bytes : GetParam().sends) {
        rig.Send(fd, bytes);
        rig.Pump();
    }
    EXPECT_EQ(rig.Receive(fd, GetParam().replies.size()), GetParam().replies);
    EXPECT_EQ(rig.terminals.zeros, GetParam().zeros);
    EXPECT_EQ(rig.server->Clients(), 1u); // connections stay open
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ConnectionOrderTest,
    ::testing::Values(
        OrderRow{"Pipelined",
                 {"A\r\nВесы 2\nSetNullA\r\n\r\nA\n"},
                 kA + "-5001\r\n-5003\r\n" + kUnknown + kA,
                 {"A"}},
        OrderRow{"ByteByByte",
                 {"A", "\r", "\n", "Ве", "\xD1", "\x81ы 2", "\n"},
                 kA + "-5001\r\n-5003\r\n",
                 {}},
        OrderRow{"LoneCrIsPartOfTheName", {"A\rA\n", "\n"}, kUnknown + kUnknown, {}},
        OrderRow{"LongestLine", {std::string(16384, 'x') + "\r\n", "A\n"}, kUnknown + kA, {}}),
    [](const auto& info) { return info.param.name; });

TEST(LineServerLimits, EndlessLinesAreDroppedOthersServed) {
    ServerRig rig;
    const int honest = rig.Connect();
    const int endless = rig.Connect();
    const int overlong = rig.Connect();
    rig.Send(endless, std::string(20000, 'x'));
    rig.Send(overlong, std::string(16385, 'x') + "\n");
    EXPECT_TRUE(rig.Closed(endless));
    EXPECT_TRUE(rig.Closed(overlong));
    rig.Send(honest, "A\n");
    EXPECT_EQ(rig.Receive(honest, kA.size()), kA);
    // Both are said: the second a second after the first.
    rig.clock.Advance(1000);
    ASSERT_EQ(rig.log.lines.size(), 2u);
    EXPECT_NE(rig.log.lines[0].find("dropped: line longer than 16384 bytes"), std::string::npos);
    EXPECT_TRUE(rig.log.lines[1].ends_with("dropped: line longer than 16384 bytes"));
}

TEST(LineServerLimits, ClientThatSendsNoMoreIsAnsweredThenClosed) {
    ServerRig rig;
    const int fd = rig.Connect();
    rig.Send(fd, "A\nA\n");
    ::shutdown(fd, SHUT_WR);
    EXPECT_EQ(rig.Receive(fd, 2 * kA.size() + 1), kA + kA);
    EXPECT_TRUE(rig.Closed(fd));
    EXPECT_EQ(rig.server->Clients(), 0u);
    EXPECT_TRUE(rig.log.lines.empty());
}

TEST(LineServerLimits, ClientThatStopsReadingIsDroppedWithoutHoldingUpOthers) {
    ServerLimits limits;
    limits.outputLimit = 4096;
    ServerRig rig(limits);
    const int stuck = rig.Connect();
    const int honest = rig.Connect();
    ::fcntl(stuck, F_SETFL, O_NONBLOCK);
    std::string requests;
    for (int i = 0; i < 4096; ++i)
        requests += "A\n";
    // Requests keep coming while no reply is read, until the server gives up on the client.
    bool dropped = false;
    for (int round = 0; round < 2000 && !dropped; ++round) {
        const ssize_t n = ::send(stuck, requests.data(), requests.size(), MSG_NOSIGNAL);
        dropped = n < 0 && errno != EAGAIN;
        rig.clock.PumpDescriptors(0);
        dropped = dropped || rig.server->Clients() == 1;
    }
    EXPECT_TRUE(dropped);
    rig.Send(honest, "A\n");
    EXPECT_EQ(rig.Receive(honest, kA.size()), kA);
    ASSERT_FALSE(rig.log.lines.empty());
    EXPECT_NE(rig.log.lines[0].find("dropped: replies not read"), std::string::npos);
}

TEST(LineServerLimits, RefusesOutsideAllow) {
    ServerLimits limits;
    limits.allow = {*AddressRange::Parse("10.0.0.0/8")};
    ServerRig rig(limits);
    const int fd = rig.Connect();
    EXPECT_TRUE(rig.Closed(fd));
    ASSERT_EQ(rig.log.lines.size(), 1u);
    EXPECT_TRUE(rig.log.lines[0].starts_with("client 127.0.0.1:"));
    EXPECT_TRUE(rig.log.lines[0].ends_with(" refused: not in Allow"));
}

TEST(LineServerLimits, RefusesPastMaxClientsLoggingOnceASecond) {
    ServerLimits limits;
    limits.maxClients = 2;
    ServerRig rig(limits);
    const int first = rig.Connect();
    rig.Connect();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(rig.Closed(rig.Connect()));
    EXPECT_EQ(rig.log.lines.size(), 1u);
    rig.clock.Advance(1000);
    ASSERT_EQ(rig.log.lines.size(), 2u);
    EXPECT_TRUE(rig.log.lines[0].ends_with(" refused: MaxClients (2) reached"));
    EXPECT_TRUE(rig.log.lines[1].ends_with(" refused: MaxClients (2) reached (1 more)"));
    rig.Send(first, "A\n");
    EXPECT_EQ(rig.Receive(first, kA.size()), kA);
}

} // namespace
} // namespace vesmera
