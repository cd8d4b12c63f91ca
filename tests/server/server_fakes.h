#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

} // namespace vesmera::testing
