#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/views.h"
#include "net/line_channel.h"
#include "net/line_channel_error.h"
#include "net/socket_system.h"

namespace vesmera::test {

// Real waits in tests only ever wait for something that is certain to happen; this caps them
// so that a fault fails the test instead of hanging it.
inline constexpr int kRealCapMs = 5000;

// Polls one descriptor for real, at most timeoutMs. Returns the events, 0 or -1.
int RealPoll(int fd, short events, int timeoutMs);

// A fake clock and step sleep around real sockets. A wait for bytes first looks at the real
// socket without waiting; when nothing is there it runs the next scripted peer action due
// before its deadline (advancing the clock to it) and then waits for real for the readiness
// that action causes, else it lets the fake time run out. Connect checks before connectDoneAt
// see no completion.
class FakeSocketSystem final : public ISocketSystem {
public:
    std::int64_t now = 0;
    std::vector<std::uint32_t> sleeps;
    std::int64_t connectDoneAt = 0;
    std::map<std::string, in_addr> names;
    std::vector<std::string> resolved;
    std::vector<int> byteWaits; // time-outs of the waits for bytes, in order

    void At(std::int64_t time, std::function<void()> action);
    void Advance(std::int64_t ms) { now += ms; }

    std::int64_t NowMs() override { return now; }
    void Sleep(std::uint32_t ms) override;
    int Wait(int fd, short events, int timeoutMs) override;
    int Resolve(const std::string& host, in_addr& address) override;

private:
    std::multimap<std::int64_t, std::function<void()>> actions_;
};

// The server side of one accepted connection.
class Peer {
public:
    explicit Peer(int fd) : fd_(fd) {}
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    void Send(const std::string& bytes);
    // The next request line with its terminator, waiting for it for real.
    std::string ReadLine();
    // Everything until the client closes its sending side.
    std::string ReadToEnd();
    // End of stream toward the client.
    void Close();
    // A connection reset toward the client (linger with time 0, then close).
    void Reset();
    // Ends a blocked send of another thread.
    void Shutdown();
    int Fd() const { return fd_; }

private:
    int fd_;
    std::string pending_;
};

// A listening socket on 127.0.0.1, on an ephemeral port or on a given one (a restart).
class LoopbackServer {
public:
    explicit LoopbackServer(std::uint16_t port = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // The next connection, waiting for it for real.
    std::unique_ptr<Peer> Accept();
    void Close();

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A loopback port where nothing listens: a connect is refused.
std::uint16_t RefusedPort();

// Waits for real until the peer's end of stream or reset has reached the client socket.
void AwaitHangup(int clientFd);
// Waits for real until count bytes wait unread in the client socket's kernel buffer.
void AwaitBytes(int clientFd, std::size_t count);
// Waits for real until bytes are readable on the client socket.
void AwaitReadable(int clientFd);

// Calls f and returns the LineChannelError it raises (failing the test when none).
std::optional<LineChannelError> FailureOf(const std::function<void()>& f);

struct FakeIndicator final : IIndicatorView {
    std::string text = "-------";
    TColor color = -1;
    int colorChanges = 0;
    bool visible = true;
    void SetIndicatorString(const std::string& t) override { text = t; }
    std::string IndicatorString() const override { return text; }
    void SetNumberForeColor(TColor c) override {
        color = c;
        ++colorChanges;
    }
    void SetVisible(bool v) override { visible = v; }
    bool IsVisible() const override { return visible; }
};

struct FakeMessage final : IMessageView {
    std::string text;
    bool visible = false;
    int shows = 0;
    void SetText(const std::string& t) override {
        text = t;
        ++shows;
    }
    std::string Text() const override { return text; }
    void SetVisible(bool v) override { visible = v; }
    bool IsVisible() const override { return visible; }
};

// A scripted channel that logs every call as a line of text, for the logic above the socket.
struct FakeLineChannel final : ILineChannel {
    std::vector<std::string>* log;
    bool connected = false;
    bool dead = false;
    std::optional<LineFailure> connectFailure;
    bool connectedTestFails = false;
    std::optional<LineFailure> writeFailure;
    std::deque<std::variant<std::string, LineFailure>> replies;

    explicit FakeLineChannel(std::vector<std::string>* l) : log(l) {}
    ~FakeLineChannel() override { log->push_back("released"); }
    void SetHost(const std::string& h) override { log->push_back("host " + h); }
    void SetPort(std::uint16_t p) override { log->push_back("port " + std::to_string(p)); }
    void SetConnectTimeout(std::int32_t ms) override {
        log->push_back("connect timeout " + std::to_string(ms));
    }
    void SetReadTimeout(std::int32_t ms) override {
        log->push_back("read timeout " + std::to_string(ms));
    }
    void SetNagle(bool on) override { log->push_back(on ? "nagle on" : "nagle off"); }
    void Connect() override;
    bool Connected() override;
    void WriteLn(const std::string& line) override;
    std::string ReadLn() override;
    void Disconnect() override;
    bool Dead() const override { return dead; }
    void Discard() override;
};

// Hands out FakeLineChannels that log into one list; each is configured by `setUp`.
struct FakeLineChannelFactory final : ILineChannelFactory {
    std::vector<std::string> log;
    std::function<void(FakeLineChannel&)> setUp;
    std::unique_ptr<ILineChannel> Create() override;
};

} // namespace vesmera::test
