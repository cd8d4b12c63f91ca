#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "automation/automation_context.h"

namespace vesmera {

// The local answer of the automation objects when the weight server cannot be asked.
inline constexpr const char* kServerNotAsked = "-5008";

struct PollReply {
    std::string weightLine;
    std::string statusLine;
};

struct ChannelTimeouts {
    std::int32_t connectMs;
    std::int32_t readMs;
};

// One poll of the weight server for `name` on a channel of its own, made with host and port
// as the settings hold them now. Both reply lines are always read. Any failure of the
// exchange gives no reply; the channel is released either way.
std::optional<PollReply> PollOnOwnChannel(const AutomationContext& context, const std::string& name,
                                          ChannelTimeouts timeouts);

// The zero request "SetNull" + `name` on a channel of its own with a 1000 ms connect wait;
// nothing is read and every failure is ignored.
void ZeroOnOwnChannel(const AutomationContext& context, const std::string& name);

// The connected test of the main window's channel. Its own failure (a reset main connection)
// is not an exchange failure: it propagates to the caller as an unexpected fault.
bool MainClientConnected(const AutomationContext& context);

} // namespace vesmera
