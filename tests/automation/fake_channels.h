#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <cerrno>

#include "common/exception.h"
#include "common/scheduler.h"
#include "net/line_channel.h"
#include "net/resolver.h"

namespace vesmera::test {

// What the weight server on the other end does with one connection.
struct ScriptedPeer {
    bool accepts = true;
    // Reply lines to a request, each with the time the peer takes before sending it.
    std::vector<std::pair<int, std::string>> replies;
    bool closesAfterReplies = true; // else it keeps the connection open and says nothing
};

// Everything one per-call channel was asked to do; it outlives the channel.
struct ChannelLog {
    std::string host;
    std::uint16_t port = 0;
    std::int32_t connectTimeout = 0;
    std::int32_t readTimeout = -1;
    bool readTimeoutSet = false;
    int connects = 0;
    std::vector<std::string> written;
    int linesRead = 0;
    bool disconnected = false;
    bool released = false;
};

// A line channel whose peer follows a script on the scheduler's clock: a reply line comes
// after its delay, and one slower than the read time-out fails with "Read timed out." when
// the time-out runs out, as the socket channel does.
class ScriptedChannel final : public ILineChannel {
public:
    ScriptedChannel(IScheduler& scheduler, ScriptedPeer peer, std::shared_ptr<ChannelLog> log)
        : task_(scheduler), peer_(std::move(peer)), log_(std::move(log)) {}
    ~ScriptedChannel() override { log_->released = true; }

    void SetHost(const std::string& host) override { log_->host = host; }
    void SetPort(std::uint16_t port) override { log_->port = port; }
    void SetConnectTimeout(std::int32_t ms) override { log_->connectTimeout = ms; }
    void SetReadTimeout(std::int32_t ms) override {
        log_->readTimeout = ms;
        log_->readTimeoutSet = true;
    }
    void SetNagle(bool) override {}
    void Connect(LineDone done) override {
        ++log_->connects;
        if (!peer_.accepts)
            return Post(0, Failure(LineFailure::Socket, ECONNREFUSED), std::move(done));
        open_ = true;
        Post(0, {}, std::move(done));
    }
    bool Connected() override { return open_; }
    void WriteLn(const std::string& line, LineDone done) override {
        if (!open_)
            return Post(0, Failure(LineFailure::ClosedGracefully), std::move(done));
        log_->written.push_back(line);
        Post(0, {}, std::move(done));
    }
    void ReadLn(LineDone done) override {
        const std::int32_t limit = log_->readTimeout;
        const auto index = static_cast<std::size_t>(log_->linesRead);
        if (index < peer_.replies.size()) {
            const auto& [delay, line] = peer_.replies[index];
            if (limit > 0 && delay > limit)
                return Post(limit, Failure(LineFailure::ReadTimedOut), std::move(done));
            ++log_->linesRead;
            return Post(delay, {std::nullopt, line}, std::move(done));
        }
        if (peer_.closesAfterReplies)
            return Post(0, Failure(LineFailure::ClosedGracefully), std::move(done));
        Post(limit > 0 ? limit : 0, Failure(LineFailure::ReadTimedOut), std::move(done));
    }
    void Disconnect() override {
        task_.Cancel();
        open_ = false;
        log_->disconnected = true;
    }
    bool Busy() const override { return task_.Pending(); }
    bool Dead() const override { return false; }
    void Discard() override {
        task_.Cancel();
        open_ = false;
    }

private:
    static LineResult Failure(LineFailure kind, int code = 0) {
        return {LineChannelError(kind, code), {}};
    }
    void Post(int ms, LineResult result, LineDone done) {
        task_.After(static_cast<std::uint32_t>(ms), [this, result, done] { done(result); });
    }

    ScheduledTask task_;
    ScriptedPeer peer_;
    std::shared_ptr<ChannelLog> log_;
    bool open_ = false;
};

class ScriptedChannelFactory final : public ILineChannelFactory {
public:
    explicit ScriptedChannelFactory(IScheduler& scheduler) : scheduler_(scheduler) {}
    ScriptedPeer peer;
    std::vector<std::shared_ptr<ChannelLog>> logs;

    std::unique_ptr<ILineChannel> Create() override {
        logs.push_back(std::make_shared<ChannelLog>());
        return std::make_unique<ScriptedChannel>(scheduler_, peer, logs.back());
    }

private:
    IScheduler& scheduler_;
};

// For channels that are only ever given address literals: a lookup would be a fault.
class NoResolver final : public IResolver {
public:
    Ticket Resolve(const std::string& host, Done) override {
        throw Exception("unexpected lookup of " + host);
    }
    void Cancel(Ticket) override {}
};

// The main window's IdTCPClient1 as the automation objects see it: only its connected test.
class MainChannelStub final : public ILineChannel {
public:
    enum class State { Connected, Disconnected, Reset };
    State state = State::Connected;
    int tests = 0;

    void SetHost(const std::string&) override {}
    void SetPort(std::uint16_t) override {}
    void SetConnectTimeout(std::int32_t) override {}
    void SetReadTimeout(std::int32_t) override {}
    void SetNagle(bool) override {}
    void Connect(LineDone) override {}
    bool Connected() override {
        ++tests;
        if (state == State::Reset)
            throw Exception("Socket Error # 104\r\nConnection reset by peer");
        return state == State::Connected;
    }
    void WriteLn(const std::string&, LineDone) override {}
    void ReadLn(LineDone) override {}
    void Disconnect() override {}
    bool Busy() const override { return false; }
    bool Dead() const override { return false; }
    void Discard() override {}
};

} // namespace vesmera::test
