#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/exception.h"
#include "net/line_channel.h"

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

// A line channel whose peer follows a script: a reply slower than the read time-out fails
// with "Read timed out." as the socket channel does.
class ScriptedChannel final : public ILineChannel {
public:
    ScriptedChannel(ScriptedPeer peer, std::shared_ptr<ChannelLog> log)
        : peer_(std::move(peer)), log_(std::move(log)) {}
    ~ScriptedChannel() override { log_->released = true; }

    void SetHost(const std::string& host) override { log_->host = host; }
    void SetPort(std::uint16_t port) override { log_->port = port; }
    void SetConnectTimeout(std::int32_t ms) override { log_->connectTimeout = ms; }
    void SetReadTimeout(std::int32_t ms) override {
        log_->readTimeout = ms;
        log_->readTimeoutSet = true;
    }
    void SetNagle(bool) override {}
    void Connect() override {
        ++log_->connects;
        if (!peer_.accepts)
            throw Exception("Socket Error # 111\r\nConnection refused");
        open_ = true;
    }
    bool Connected() override { return open_; }
    void WriteLn(const std::string& line) override {
        if (!open_)
            throw Exception("Connection Closed Gracefully.");
        log_->written.push_back(line);
    }
    std::string ReadLn() override {
        const auto index = static_cast<std::size_t>(log_->linesRead);
        if (index < peer_.replies.size()) {
            const auto& [delay, line] = peer_.replies[index];
            if (log_->readTimeout > 0 && delay > log_->readTimeout)
                throw Exception("Read timed out.");
            ++log_->linesRead;
            return line;
        }
        if (peer_.closesAfterReplies)
            throw Exception("Connection Closed Gracefully.");
        throw Exception("Read timed out.");
    }
    void Disconnect() override {
        open_ = false;
        log_->disconnected = true;
    }
    bool Dead() const override { return false; }
    void Discard() override { open_ = false; }

private:
    ScriptedPeer peer_;
    std::shared_ptr<ChannelLog> log_;
    bool open_ = false;
};

class ScriptedChannelFactory final : public ILineChannelFactory {
public:
    ScriptedPeer peer;
    std::vector<std::shared_ptr<ChannelLog>> logs;

    std::unique_ptr<ILineChannel> Create() override {
        logs.push_back(std::make_shared<ChannelLog>());
        return std::make_unique<ScriptedChannel>(peer, logs.back());
    }
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
    void Connect() override {}
    bool Connected() override {
        ++tests;
        if (state == State::Reset)
            throw Exception("Socket Error # 104\r\nConnection reset by peer");
        return state == State::Connected;
    }
    void WriteLn(const std::string&) override {}
    std::string ReadLn() override { return {}; }
    void Disconnect() override {}
    bool Dead() const override { return false; }
    void Discard() override {}
};

} // namespace vesmera::test
