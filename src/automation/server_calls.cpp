#include "automation/server_calls.h"

namespace vesmera {

namespace {

bool MayAsk(const AutomationContext& context, ServerMember member) {
    if (!context.settings.networkMode)
        return false;
    return !NeedsMainConnection(member) || context.mainChannel.Connected();
}

ServerAddress AddressOf(const AutomationContext& context) {
    // Read at the moment of the call, as the settings stand after the last apply step.
    return {context.settings.ip, context.settings.TcpPort()};
}

} // namespace

std::string AskServerFor(const AutomationContext& context, const std::string& name,
                         ServerMember member) {
    if (!MayAsk(context, member))
        return ServerNotAsked();
    return AskServer(context.channels, AddressOf(context), name, member);
}

void ZeroServerFor(const AutomationContext& context, const std::string& name, ServerMember member) {
    if (MayAsk(context, member))
        ZeroOnServer(context.channels, AddressOf(context), name, member);
}

} // namespace vesmera
