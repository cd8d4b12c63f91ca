#pragma once

#include <string>

#include "automation/automation_context.h"
#include "automation/server_calls.h"

namespace vesmera {

// IData: the weight server's answer for any named terminal, asked on a channel of its own,
// while the program is in network mode and its own connection is up; "-5008" otherwise.
class TData {
public:
    explicit TData(const AutomationContext& context) : context_(context) {}

    // Each answers through its callback when its exchange ends (at once when nothing is
    // asked), so the caller never waits for the server.
    void GetWeight(const std::string& name, ServerAnswer answer) const;
    void GetStatus(const std::string& name, ServerAnswer answer) const;
    void SetNull(const std::string& name, std::function<void()> done) const;

private:
    const AutomationContext& context_;
};

} // namespace vesmera
