#pragma once

#include <string>

#include "automation/automation_context.h"

namespace vesmera {

// IData: the weight server's answer for any named terminal, asked on a channel of its own,
// while the program is in network mode and its own connection is up; "-5008" otherwise.
class TData {
public:
    explicit TData(const AutomationContext& context) : context_(context) {}

    std::string GetWeight(const std::string& name) const;
    std::string GetStatus(const std::string& name) const;
    void SetNull(const std::string& name) const;

private:
    const AutomationContext& context_;
};

} // namespace vesmera
