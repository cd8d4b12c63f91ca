#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/scheduled_timer.h"
#include "net/network_poller.h"
#include "net/tcp_line_channel.h"
#include "net_test_support.h"

namespace vesmera::test {

// What the test's weight server sends for one request: after delayMs of fake time, the bytes,
// then optionally an end of the connection.
struct ServerStep {
    std::int64_t delayMs = 0;
    std::string bytes;
    enum class Then { Nothing, Close, Reset } then = Then::Nothing;
};
// The server's answer to the n-th request line (from 0, counted over all connections).
using ServerScript = std::function<std::vector<ServerStep>(const std::string& line, int n)>;

// A weight server that answers "12,5" stable to every request.
std::vector<ServerStep> AnswersNormally(const std::string& line, int n);

// The main window's network polling against a weight server in the test process, both on one
// fake scheduler: the server accepts and answers from readiness callbacks, Timer2 and Timer3
// fire every 100 and 3000 ms of fake time, and real sockets carry the bytes between them.
class LoopbackRig {
public:
    LoopbackRig();
    ~LoopbackRig();

    // Closes every connection the server holds, as a forwarder whose back end went away.
    void DropConnections();
    // Starts both timers, as the apply step does in network mode.
    void StartTimers();
    // Runs the fake clock forward by ms, letting every socket event happen as it comes.
    void Run(std::int64_t ms);
    // Runs until pred holds or ms have passed; returns the fake time it took, or -1.
    std::int64_t RunUntil(const std::function<bool()>& pred, std::int64_t ms);

    bool ShowsWeight(const std::string& text) const {
        return indicator.visible && !message.visible && indicator.text == text;
    }
    // The message has been put on the screen at least once (a later poll may have replaced it
    // within the same moment).
    bool WasShown(const std::string& text) const {
        return message.shows > 0 && message.text == text;
    }
    bool ShowsMessage(const std::string& text) const {
        return message.visible && !indicator.visible && message.text == text;
    }

    // The server's behaviour from now on.
    ServerScript script = AnswersNormally;
    bool acceptAndClose = false;    // closes every connection at once, as a dead forwarder
    std::vector<std::string> lines; // every request line the server received, in order
    int accepted = 0;

    testing::FakeScheduler scheduler;
    FakeResolver resolver{scheduler};
    LoopbackServer server;
    TcpLineChannel client{scheduler, resolver};
    HeldSettings settings;
    FakeIndicator indicator;
    FakeMessage message;
    std::optional<std::string> tab = "T1";
    std::unique_ptr<NetworkPoller> poller;

private:
    struct Connection {
        std::unique_ptr<Peer> peer;
        std::string pending;
        ScheduledTask watch;
    };
    void Accept();
    void Receive(Connection& connection);
    void Perform(Connection& connection, const std::vector<ServerStep>& steps, std::size_t i);
    void TickEvery(std::uint32_t ms, const std::function<void()>& tick);

    ScheduledTask listening_{scheduler};
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<std::unique_ptr<ScheduledTimer>> timers_;
    int requests_ = 0;
};

} // namespace vesmera::test
