#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

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
    explicit ServerRig(ServerLimits limits = {}, std::size_t perAddress = 0)
        : notes(clock, log), handler(terminals, notes), slots(perAddress) {
        terminals.answers["A"] = {"12,5", -5002};
        terminals.answers["Весы 2"] = {"-5001", -5003};
        server = std::make_unique<LineServer>(clock, handler, notes, slots, std::move(limits));
        const sockaddr_storage bound = server->Listen(*ParseListenAddress("127.0.0.1:0"));
        port = ntohs(reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    }
    ~ServerRig() {
        for (int fd : clients)
            ::close(fd);
    }
    // A client from another loopback address when `from` names one, with a receive buffer of
    // that size when one is given.
    int Connect(const char* from = nullptr, int receiveBuffer = 0) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (from) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            ::inet_pton(AF_INET, from, &local.sin_addr);
            EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        }
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
    AddressSlots slots;
    std::unique_ptr<LineServer> server;
    std::uint16_t port = 0;
    std::vector<int> clients;
    std::vector<int> stuck; // clients that read nothing
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

// A burst of requests sent at once and read only afterwards: the replies pass the output limit
// many times over, and every one arrives, in order, at the pace the client reads.
TEST(LineServerLimits, PipelinedBurstIsAnsweredWhileTheClientReads) {
    ServerRig rig;
    const int fd = rig.Connect();
    std::string burst, replies;
    for (int i = 0; i < 12000; ++i) {
        burst += i % 2 ? "A\n" : "Весы 2\n";
        replies += i % 2 ? kA : "-5001\r\n-5003\r\n";
    }
    ASSERT_GT(replies.size(), 2 * ServerLimits{}.outputLimit);
    rig.Send(fd, burst);
    EXPECT_TRUE(rig.Receive(fd, replies.size()) == replies);
    EXPECT_EQ(rig.server->Clients(), 1u);
    EXPECT_TRUE(rig.log.lines.empty());
}

// A client that sends requests and reads nothing is held (not read) once its replies pass the
// limit, and dropped only after reading nothing for 30 s; the others are served meanwhile.
TEST(LineServerLimits, ClientThatStopsReadingIsHeldThenDroppedAfterThirtySeconds) {
    ServerLimits limits;
    limits.outputLimit = 4096;
    ServerRig rig(limits);
    // A small receive buffer keeps the replies from vanishing into the sockets.
    const int stuck = rig.Connect(nullptr, 4096);
    const int honest = rig.Connect();
    ::fcntl(stuck, F_SETFL, O_NONBLOCK);
    std::string requests;
    for (int i = 0; i < 4096; ++i)
        requests += "A\n";
    // Requests go out until neither the server nor the sockets take more.
    const auto push = [&] {
        for (int refused = 0, round = 0; refused < 30 && round < 5000; ++round) {
            const ssize_t n = ::send(stuck, requests.data(), requests.size(), MSG_NOSIGNAL);
            ASSERT_TRUE(n > 0 || errno == EAGAIN);
            refused = n > 0 ? 0 : refused + 1;
            // Once the client is refused, time for the sockets to settle.
            rig.clock.PumpDescriptors(refused > 0 ? 10 : 0);
        }
    };
    push();
    rig.Send(honest, "A\n");
    EXPECT_EQ(rig.Receive(honest, kA.size()), kA);
    push();
    rig.clock.Advance(29999);
    rig.Pump();
    EXPECT_EQ(rig.server->Clients(), 2u);
    EXPECT_TRUE(rig.log.lines.empty());
    rig.clock.Advance(1);
    EXPECT_TRUE(rig.Closed(stuck));
    EXPECT_EQ(rig.server->Clients(), 1u);
    ASSERT_EQ(rig.log.lines.size(), 1u);
    EXPECT_NE(rig.log.lines[0].find(" dropped: replies not read for 30 s ("), std::string::npos)
        << rig.log.lines[0];
}

TEST(LineServerLimits, RefusesPastMaxClientsPerAddressCountingEachAddress) {
    ServerRig rig({}, 2);
    const int first = rig.Connect();
    rig.Connect();
    EXPECT_TRUE(rig.Closed(rig.Connect()));
    const int other = rig.Connect("127.0.0.2");
    EXPECT_EQ(rig.server->Clients(), 3u);
    ASSERT_EQ(rig.log.lines.size(), 1u);
    EXPECT_TRUE(rig.log.lines[0].starts_with("client 127.0.0.1:"));
    EXPECT_TRUE(rig.log.lines[0].ends_with(" refused: MaxClientsPerAddress (2) reached"));
    // A place that comes free is taken at once.
    ::close(first);
    rig.clients.erase(rig.clients.begin());
    for (int round = 0; round < 100 && rig.server->Clients() == 3; ++round) {
        rig.clock.PumpDescriptors(10);
        rig.clock.Advance(0);
    }
    const int again = rig.Connect();
    rig.Send(again, "A\n");
    EXPECT_EQ(rig.Receive(again, kA.size()), kA);
    rig.Send(other, "A\n");
    EXPECT_EQ(rig.Receive(other, kA.size()), kA);
}

// One kind of flood each: a hostile client (or a crowd of them) keeps at it for three seconds
// of the clock while an honest client from another address polls every 100 ms. Every poll is
// answered, and the log says each kind at most once a second.
struct FloodRow {
    const char* name;
    ServerLimits limits;
    std::size_t perAddress;
    std::function<void(ServerRig&, int hostile)> round; // one round of the flood
    const char* said;                                   // what each log line says
};

class LineServerFloodTest : public ::testing::TestWithParam<FloodRow> {};

TEST_P(LineServerFloodTest, LogStaysBoundedAndHonestClientIsServed) {
    const FloodRow& row = GetParam();
    ServerRig rig(row.limits, row.perAddress);
    const int honest = rig.Connect("127.0.0.2");
    const int hostile = rig.Connect();
    for (int round = 0; round < 30; ++round) {
        row.round(rig, hostile);
        rig.Pump();
        rig.Send(honest, "A\n");
        ASSERT_EQ(rig.Receive(honest, kA.size()), kA) << "round " << round;
        rig.clock.Advance(100);
    }
    rig.clock.Advance(2000); // clients that stopped reading time out, and what was held back
                             // is said
    ASSERT_GE(rig.log.lines.size(), 2u);
    EXPECT_LE(rig.log.lines.size(), 5u);
    for (const auto& line : rig.log.lines)
        EXPECT_NE(line.find(row.said), std::string::npos) << line;
    EXPECT_NE(rig.log.lines.back().find(" more)"), std::string::npos) << rig.log.lines.back();
}

ServerLimits AllowOnly(const char* range) {
    ServerLimits limits;
    limits.allow = {*AddressRange::Parse(range)};
    return limits;
}

ServerLimits MaxClients(std::size_t count) {
    ServerLimits limits;
    limits.maxClients = count;
    return limits;
}

// Replies pile up past a small limit for clients that read nothing, each dropped a second later.
ServerLimits Stalling() {
    ServerLimits limits;
    limits.outputLimit = 4096;
    limits.stallMs = 1000;
    return limits;
}

// One more client that reads none of its replies, and more polls from each such client. The
// sockets take replies for as long as the polls come; when they stop, the replies waiting past
// the limit go nowhere and each client is dropped a second later.
void Stall(ServerRig& rig, int) {
    static const std::string requests = [] {
        std::string r;
        for (int i = 0; i < 8192; ++i)
            r += "A\n";
        return r;
    }();
    rig.stuck.push_back(rig.Connect(nullptr, 4096));
    for (int fd : rig.stuck)
        ::send(fd, requests.data(), requests.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void ConnectMany(ServerRig& rig, int) {
    for (int i = 0; i < 5; ++i)
        rig.Connect();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LineServerFloodTest,
    ::testing::Values(
        FloodRow{"ZeroRequestsForUnknownNames",
                 {},
                 0,
                 [](ServerRig& rig, int hostile) {
                     std::string zeros;
                     for (int i = 0; i < 200; ++i)
                         zeros += "SetNull\xFFnobody\n";
                     rig.Send(hostile, zeros);
                 },
                 "for unknown terminal \"\xFFnobody\" ignored"},
        FloodRow{"OverlongLines",
                 {},
                 0,
                 [](ServerRig& rig, int) {
                     for (int i = 0; i < 3; ++i)
                         rig.Send(rig.Connect(), std::string(16385, 'x') + "\n");
                 },
                 " dropped: line longer than 16384 bytes"},
        FloodRow{"NotInAllow", AllowOnly("127.0.0.2"), 0, ConnectMany, " refused: not in Allow"},
        FloodRow{"MaxClients", MaxClients(2), 0, ConnectMany, " refused: MaxClients (2) reached"},
        FloodRow{"MaxClientsPerAddress",
                 {},
                 1,
                 ConnectMany,
                 " refused: MaxClientsPerAddress (1) reached"},
        FloodRow{"RepliesNotRead", Stalling(), 0, Stall, " dropped: replies not read for 1 s"}),
    [](const auto& info) { return info.param.name; });

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
