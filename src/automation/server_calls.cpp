#include "automation/server_calls.h"

namespace vesmera {

namespace {

bool MayAsk(const AutomationContext& context, ExchangeUser member) {
    if (!context.settings.networkMode)
        return false;
    return !NeedsMainConnection(member) || context.mainChannel.Connected();
}

ServerAddress AddressOf(const AutomationContext& context) {
    // Read at the moment of the call, as the settings stand after the last apply step.
    return {context.settings.ip, context.settings.TcpPort()};
}

} // namespace

void AskServerFor(const AutomationContext& context, const std::string& name, ExchangeUser member,
                  ServerAnswer answer) {
    if (!MayAsk(context, member)) {
        answer(ServerNotAsked());
        return;
    }
    AskServer(context.serverCalls, AddressOf(context), name, member, std::move(answer));
}

void ZeroServerFor(const AutomationContext& context, const std::string& name, ExchangeUser member,
                   std::function<void()> done) {
    if (!MayAsk(context, member)) {
        done();
        return;
    }
    ZeroOnServer(context.serverCalls, AddressOf(context), name, member, std::move(done));
}

} // namespace vesmera
