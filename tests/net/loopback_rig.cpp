#include "loopback_rig.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vesmera::test {

std::vector<ServerStep> AnswersNormally(const std::string&, int) {
    return {{0, "12,5\r\n-5002\r\n"}};
}

LoopbackRig::LoopbackRig() {
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetConnectTimeout(100);
    client.SetReadTimeout(100);
    client.SetNagle(false);
    poller = std::make_unique<NetworkPoller>(client, settings, [this] { return tab; });
    poller->SetReadingListener(
        [this](const PollReading& reading) { RenderReading(reading, indicator, message); });
    listening_.WhenReadable(server.Fd(), [this] { Accept(); });
}

LoopbackRig::~LoopbackRig() {
    poller.reset();
}

void LoopbackRig::Accept() {
    auto connection = std::make_unique<Connection>();
    connection->peer = server.Accept();
    ++accepted;
    if (acceptAndClose) {
        connection->peer->Close();
        return;
    }
    Connection& c = *connection;
    c.watch = ScheduledTask(scheduler);
    c.watch.WhenReadable(c.peer->Fd(), [this, &c] { Receive(c); });
    connections_.push_back(std::move(connection));
}

void LoopbackRig::Receive(Connection& c) {
    char bytes[4096];
    const long n = ::recv(c.peer->Fd(), bytes, sizeof bytes, MSG_DONTWAIT);
    if (n <= 0) {
        c.watch.Cancel();
        c.peer->Close();
        return;
    }
    c.pending.append(bytes, static_cast<std::size_t>(n));
    for (auto lf = c.pending.find('\n'); lf != std::string::npos; lf = c.pending.find('\n')) {
        std::string line = c.pending.substr(0, lf);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        c.pending.erase(0, lf + 1);
        lines.push_back(line);
        Perform(c, script(line, requests_++), 0);
    }
}

void LoopbackRig::DropConnections() {
    for (auto& c : connections_) {
        c->watch.Cancel();
        c->peer->Close();
    }
}

void LoopbackRig::Perform(Connection& c, const std::vector<ServerStep>& steps, std::size_t i) {
    if (i >= steps.size())
        return;
    const ServerStep& step = steps[i];
    scheduler.After(static_cast<std::uint32_t>(step.delayMs), [this, &c, steps, i] {
        if (c.peer->Fd() < 0)
            return;
        const ServerStep& s = steps[i];
        c.peer->Send(s.bytes);
        if (s.then == ServerStep::Then::Close) {
            c.watch.Cancel();
            c.peer->Close();
        } else if (s.then == ServerStep::Then::Reset) {
            c.watch.Cancel();
            c.peer->Reset();
        }
        Perform(c, steps, i + 1);
    });
}

void LoopbackRig::TickEvery(std::uint32_t ms, const std::function<void()>& tick) {
    timers_.push_back(std::make_unique<ScheduledTimer>(scheduler, ms, tick));
    timers_.back()->SetEnabled(true);
}

void LoopbackRig::StartTimers() {
    TickEvery(100, [this] { poller->Timer2Tick(); });
    TickEvery(3000, [this] { poller->Timer3Tick(); });
}

std::int64_t LoopbackRig::RunUntil(const std::function<bool()>& pred, std::int64_t ms) {
    const std::int64_t start = scheduler.NowMs();
    const std::int64_t end = start + ms;
    for (;;) {
        Settle(scheduler);
        if (pred && pred())
            return scheduler.NowMs() - start;
        // Bytes on loopback arrive almost at once; only when none are on the way does the
        // clock move to the next timer.
        if (scheduler.PumpDescriptors(2) > 0)
            continue;
        const std::int64_t next = scheduler.NextDueIn();
        if (next < 0 || scheduler.NowMs() + next > end) {
            scheduler.Advance(end - scheduler.NowMs());
            Settle(scheduler);
            return pred && pred() ? ms : -1;
        }
        scheduler.RunNextTimer();
    }
}

void LoopbackRig::Run(std::int64_t ms) {
    RunUntil(nullptr, ms);
}

} // namespace vesmera::test
