#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/reading.h"
#include "server/request_handler.h"
#include "server/server_log.h"

namespace vesmera::testing {

class FakeLog final : public IServerLog {
public:
    void Write(LogPriority priority, const std::string& line) override {
        lines.push_back(line);
        priorities.push_back(priority);
    }
    std::vector<std::string> lines;
    std::vector<LogPriority> priorities;
};

// Terminals with fixed answers, noting each zero request.
class FakeTerminals final : public ITerminalDirectory {
public:
    std::optional<TerminalAnswer> Answer(std::string_view name) const override {
        const auto it = answers.find(std::string(name));
        if (it == answers.end())
            return std::nullopt;
        return it->second;
    }
    bool Zero(std::string_view name) override {
        if (!answers.contains(std::string(name)))
            return false;
        zeros.emplace_back(name);
        return true;
    }
    std::map<std::string, TerminalAnswer> answers;
    std::vector<std::string> zeros;
};

// Terminals with readings set by the test, noting each zero request; Change tells the
// subscribers as the real terminals do.
class FakeReadings final : public ITerminalReadings {
public:
    std::vector<Reading> Readings() const override { return readings; }
    std::optional<Reading> ReadingOf(std::string_view name) const override {
        for (const auto& r : readings)
            if (r.terminal == name)
                return r;
        return std::nullopt;
    }
    bool Zero(std::string_view name) override {
        if (!ReadingOf(name))
            return false;
        zeros.emplace_back(name);
        return true;
    }
    ReadingSubscription Subscribe(ReadingListener listener) override {
        return subscribers.Subscribe(std::move(listener));
    }
    std::vector<PollCounts> Polls() const override { return polls; }

    void Change(const Reading& reading) {
        for (auto& r : readings)
            if (r.terminal == reading.terminal)
                r = reading;
        subscribers.Publish(reading);
    }

    std::vector<Reading> readings;
    std::vector<PollCounts> polls;
    std::vector<std::string> zeros;
    ReadingSubscribers subscribers;
};

} // namespace vesmera::testing
