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
#include "net/resolver.h"
#include "net/socket_system.h"
#include "support/fake_scheduler.h"

namespace vesmera::test {

// Real waits in tests only ever wait for something that is certain to happen; this caps them
// so that a fault fails the test instead of hanging it.
inline constexpr int kRealCapMs = 5000;

// Polls one descriptor for real, at most timeoutMs. Returns the events, 0 or -1.
int RealPoll(int fd, short events, int timeoutMs);

// A resolver that answers from its table one event-loop turn after it is asked, and never
// answers a host it does not know (a name server that has gone silent) until told to.
class FakeResolver final : public IResolver {
public:
    explicit FakeResolver(IScheduler& scheduler) : scheduler_(scheduler) {}
    std::map<std::string, std::vector<SocketAddress>> names; // known hosts
    std::vector<std::string> asked;

    Ticket Resolve(const std::string& host, Done done) override;
    void Cancel(Ticket ticket) override { pending_.erase(ticket); }
    // Answers every pending lookup of host now with a resolver failure code.
    void Fail(const std::string& host, int gaiCode);
    std::size_t Pending() const { return pending_.size(); }

private:
    IScheduler& scheduler_;
    std::map<Ticket, std::pair<std::string, Done>> pending_;
    Ticket next_ = 0;
};

// The IPv4 loopback address with port 0, as a resolver gives it.
SocketAddress Loopback4();

// Runs what is due on the fake scheduler without moving its clock: timers due now and every
// descriptor that is ready, until neither is left.
void Settle(testing::FakeScheduler& scheduler);

// Starts one channel operation and drives the fake scheduler until it ends: what is due now
// first, then descriptors that become ready for real within a short real wait, and only when
// nothing else can happen, the clock moves on to the next timer.
LineResult Drive(testing::FakeScheduler& scheduler, const std::function<void(LineDone)>& start);

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
    int Fd() const { return fd_; }
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
    std::vector<std::string> history; // every text set, in order
    void SetIndicatorString(const std::string& t) override {
        text = t;
        history.push_back(t);
    }
    std::string IndicatorString() const { return text; }
    void SetNumberForeColor(TColor c) override {
        color = c;
        ++colorChanges;
    }
    void SetVisible(bool v) override { visible = v; }
    bool IsVisible() const { return visible; }
};

struct FakeMessage final : IMessageView {
    std::string text;
    bool visible = false;
    int shows = 0;
    void SetText(const std::string& t) override {
        text = t;
        ++shows;
    }
    std::string Text() const { return text; }
    void SetVisible(bool v) override { visible = v; }
    bool IsVisible() const { return visible; }
};

// A scripted channel that logs every call as a line of text, for the logic above the socket.
// Each operation ends one event-loop turn later; with `stall` set it ends only at Resume().
struct FakeLineChannel final : ILineChannel {
    std::vector<std::string>* log;
    IScheduler& scheduler;
    bool connected = false;
    bool dead = false;
    std::optional<LineFailure> connectFailure;
    bool connectedTestFails = false;
    std::optional<LineFailure> writeFailure;
    std::deque<std::variant<std::string, LineFailure>> replies;
    bool stall = false;
    bool unread = false; // bytes wait beyond the reply

    FakeLineChannel(std::vector<std::string>* l, IScheduler& s) : log(l), scheduler(s) {}
    ~FakeLineChannel() override;
    void SetHost(const std::string& h) override { log->push_back("host " + h); }
    void SetPort(std::uint16_t p) override { log->push_back("port " + std::to_string(p)); }
    void SetConnectTimeout(std::int32_t ms) override {
        log->push_back("connect timeout " + std::to_string(ms));
    }
    void SetReadTimeout(std::int32_t ms) override {
        log->push_back("read timeout " + std::to_string(ms));
    }
    void SetNagle(bool on) override { log->push_back(on ? "nagle on" : "nagle off"); }
    void Connect(LineDone done) override;
    bool Connected() override;
    void WriteLn(const std::string& line, LineDone done) override;
    void ReadLn(LineDone done) override;
    void Disconnect() override;
    bool Busy() const override { return busy_; }
    bool HasUnread() const override { return unread; }
    bool Dead() const override { return dead; }
    void Discard() override;
    // Ends a stalled operation.
    void Resume();

private:
    void End(LineResult result, LineDone done);
    bool busy_ = false;
    IScheduler::TaskId task_ = 0;
    std::optional<std::pair<LineResult, LineDone>> stalled_;
};

// Hands out FakeLineChannels that log into one list; each is configured by `setUp`.
struct FakeLineChannelFactory final : ILineChannelFactory {
    explicit FakeLineChannelFactory(IScheduler& s) : scheduler(s) {}
    IScheduler& scheduler;
    std::vector<std::string> log;
    std::function<void(FakeLineChannel&)> setUp;
    std::unique_ptr<ILineChannel> Create() override;
};

} // namespace vesmera::test
