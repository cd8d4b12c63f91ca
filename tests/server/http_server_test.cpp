#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include "server/client_notes.h"
#include "server/http/http_server.h"
#include "server_fakes.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using testing::FakeLog;
using testing::FakeReadings;
using testing::FakeScheduler;

constexpr std::int64_t kWallAtStart = 1796907600000; // 2026-12-10T13:00:00Z

// The HTTP server on the fake scheduler with real loopback clients: the library runs only when
// the scheduler pumps its descriptor, and every time-out of the server is the fake clock's.
struct Served {
    explicit Served(std::vector<AddressRange> allow = {}, AddressSlots* slots = nullptr) {
        terminals.readings = {
            BuildReading("A", {5, kStatusStable, 0}, AnswerTime{kWallAtStart, 0}, ',')};
        HttpConfig config;
        config.listen = {*ParseListenAddress("127.0.0.1:0")};
        server.emplace(
            clock, terminals, [this] { return kWallAtStart + clock.NowMs(); }, notes, metrics,
            slots);
        const auto endpoints = server->Apply(config, std::move(allow));
        EXPECT_EQ(endpoints.size(), 1u);
        port =
            static_cast<std::uint16_t>(std::stoi(endpoints[0].substr(endpoints[0].rfind(':') + 1)));
    }
    ~Served() {
        for (const int fd : clients)
            ::close(fd);
    }
    int Connect() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        clients.push_back(fd);
        Pump([] { return false; }, 3);
        return fd;
    }
    void Send(int fd, const std::string& bytes) {
        EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    // Runs the loop's due work and the ready descriptors until `done`, a few rounds at most.
    void Pump(const std::function<bool()>& done, int rounds = 100) {
        for (int i = 0; i < rounds && !done(); ++i) {
            clock.Advance(0);
            clock.PumpDescriptors(20);
        }
    }
    // What the client has received so far, and whether its connection has ended.
    struct Got {
        std::string bytes;
        bool ended = false;
    };
    Got Receive(int fd, Got& got) {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) != 0;) {
            if (n < 0) {
                got.ended = errno != EAGAIN;
                return got;
            }
            got.bytes.append(buffer, static_cast<std::size_t>(n));
        }
        got.ended = true;
        return got;
    }
    // Pumps until the client's input holds `text` or its connection ends.
    Got Await(int fd, Got& got, const std::string& text) {
        Pump([&] {
            Receive(fd, got);
            return got.ended || got.bytes.find(text) != std::string::npos;
        });
        return got;
    }
    // Moves the fake clock by ms, a second at a time, serving the clients on the way.
    void Advance(std::int64_t ms) {
        for (std::int64_t step; ms > 0; ms -= step) {
            step = std::min<std::int64_t>(ms, 1000);
            clock.Advance(step);
            Pump([] { return false; }, 3);
        }
    }
    bool Metric(const std::string& line) const {
        return metrics.Render().find(line + "\n") != std::string::npos;
    }

    FakeScheduler clock;
    FakeReadings terminals;
    FakeLog log;
    ClientNotes notes{clock, log};
    Metrics metrics;
    std::optional<HttpServer> server;
    std::uint16_t port = 0;
    std::vector<int> clients;
};

const std::string kHealth = "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n";

// A client that does not send a whole request header within ten seconds loses its
// connection; one that keeps asking is served on.
TEST(HttpServer, CutsAClientWhoseHeaderDoesNotComeInTime) {
    Served s;
    const int slow = s.Connect();
    const int busy = s.Connect();
    s.Send(slow, "GET /healthz HTTP/1.1\r\nHo");
    s.Send(busy, kHealth);
    Served::Got slowGot, busyGot;
    EXPECT_NE(s.Await(busy, busyGot, "{\"status\":\"ok\"}").bytes.find("HTTP/1.1 200 OK"),
              std::string::npos);
    s.Advance(5000);
    s.Send(busy, kHealth);
    busyGot = {};
    EXPECT_NE(s.Await(busy, busyGot, "{\"status\":\"ok\"}").bytes.find("200 OK"),
              std::string::npos);
    s.Advance(4000);
    s.Send(slow, "st: x"); // a byte now and then does not keep a connection
    s.Receive(slow, slowGot);
    EXPECT_FALSE(slowGot.ended);
    s.Advance(1000);
    EXPECT_TRUE(s.Await(slow, slowGot, "never").ended);
    EXPECT_EQ(slowGot.bytes, "");
    s.Receive(busy, busyGot);
    EXPECT_FALSE(busyGot.ended);
    EXPECT_TRUE(s.Metric("vesmera_refused_total{reason=\"slow\"} 1"));
    // The client that asked at 5 s is idle from then on, and goes at 15 s.
    s.Advance(5000);
    EXPECT_TRUE(s.Await(busy, busyGot, "never").ended);
    EXPECT_TRUE(s.Metric("vesmera_refused_total{reason=\"slow\"} 2"));
    EXPECT_TRUE(s.Metric("vesmera_http_requests_total{code=\"200\"} 2"));
}

// A stream parked for want of events is woken by a change and by the heartbeat, and a stop
// ends it cleanly.
TEST(HttpServer, StreamIsWokenByChangesAndHeartbeatsAndEndsOnStop) {
    Served s;
    const int stream = s.Connect();
    s.Send(stream, "GET /v1/events HTTP/1.1\r\nHost: x\r\n\r\n");
    Served::Got got;
    s.Await(stream, got, "\n\n");
    EXPECT_NE(got.bytes.find("Content-Type: text/event-stream"), std::string::npos);
    EXPECT_NE(got.bytes.find("id: A:0\ndata: {\"terminal\":\"A\""), std::string::npos) << got.bytes;
    EXPECT_TRUE(s.Metric("vesmera_clients{protocol=\"sse\"} 1"));

    Reading changed = BuildReading("A", {6, kStatusStable, 0}, AnswerTime{kWallAtStart, 0}, ',');
    changed.seq = 1;
    s.terminals.Change(changed);
    s.Await(stream, got, "id: A:1\n");
    EXPECT_NE(got.bytes.find("\"value\":6.0"), std::string::npos) << got.bytes;
    EXPECT_EQ(got.bytes.find("heartbeat"), std::string::npos);
    s.clock.Advance(1000);
    s.Await(stream, got, "event: heartbeat\ndata: {\"time\":\"2026-12-10T13:00:01.000Z\"}");
    EXPECT_NE(got.bytes.find("event: heartbeat"), std::string::npos) << got.bytes;
    EXPECT_FALSE(got.ended);

    s.server->Stop();
    s.Await(stream, got, "never");
    EXPECT_TRUE(got.ended);
    EXPECT_EQ(s.server->Streams(), 0u);
    EXPECT_EQ(s.server->Connections(), 0u);
}

// [Server] Allow applies to HTTP clients; a new configuration holds for the next client.
TEST(HttpServer, RefusesClientsOutsideAllowUntilTheRuleChanges) {
    Served s({*AddressRange::Parse("10.0.0.0/8")});
    const int refused = s.Connect();
    Served::Got got;
    EXPECT_TRUE(s.Await(refused, got, "never").ended);
    EXPECT_TRUE(s.Metric("vesmera_refused_total{reason=\"denied\"} 1"));
    ASSERT_EQ(s.log.lines.size(), 1u);
    EXPECT_TRUE(s.log.lines[0].starts_with("http client 127.0.0.1:")) << s.log.lines[0];
    EXPECT_TRUE(s.log.lines[0].ends_with(" refused: not in Allow")) << s.log.lines[0];

    HttpConfig config;
    config.listen = {*ParseListenAddress("127.0.0.1:0")};
    EXPECT_TRUE(s.server->Apply(config, {}).empty()); // the same listener serves on
    const int admitted = s.Connect();
    s.Send(admitted, kHealth);
    Served::Got ok;
    EXPECT_NE(s.Await(admitted, ok, "{\"status\":\"ok\"}").bytes.find("200 OK"), std::string::npos);
}

// An address's connections are counted with the line protocol's: the one past the limit is
// refused, and a place freed by a closed connection is taken again.
TEST(HttpServer, CountsConnectionsPerAddressWithTheOtherInterfaces) {
    AddressSlots slots(2);
    sockaddr_storage loopback{};
    auto& v4 = reinterpret_cast<sockaddr_in&>(loopback);
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto line = slots.Take(loopback); // a line protocol client from the same address
    Served s({}, &slots);
    const int first = s.Connect();
    const int second = s.Connect();
    Served::Got got;
    EXPECT_TRUE(s.Await(second, got, "never").ended);
    EXPECT_TRUE(s.Metric("vesmera_refused_total{reason=\"address\"} 1"));
    ASSERT_EQ(s.log.lines.size(), 1u);
    EXPECT_TRUE(s.log.lines[0].ends_with(" refused: MaxClientsPerAddress (2) reached"))
        << s.log.lines[0];
    EXPECT_EQ(slots.Held(loopback), 2u);

    ::close(first);
    s.clients.erase(s.clients.begin());
    s.Pump([&] { return slots.Held(loopback) == 1; });
    const int third = s.Connect();
    s.Send(third, kHealth);
    Served::Got ok;
    EXPECT_NE(s.Await(third, ok, "{\"status\":\"ok\"}").bytes.find("200 OK"), std::string::npos);
}

} // namespace
} // namespace vesmera
