#include "automation/server_exchange.h"

#include <memory>

#include "common/exception.h"

namespace vesmera {

namespace {

constexpr std::int32_t kZeroConnectTimeoutMs = 1000;

std::unique_ptr<ILineChannel> MakeChannel(const AutomationContext& context,
                                          std::int32_t connectMs) {
    auto channel = context.channels.Create();
    if (!channel)
        throw Exception("No line channel");
    channel->SetHost(context.settings.ip);
    channel->SetPort(context.settings.TcpPort());
    channel->SetConnectTimeout(connectMs);
    return channel;
}

} // namespace

std::optional<PollReply> PollOnOwnChannel(const AutomationContext& context, const std::string& name,
                                          ChannelTimeouts timeouts) {
    try {
        auto channel = MakeChannel(context, timeouts.connectMs);
        channel->SetReadTimeout(timeouts.readMs);
        channel->Connect();
        channel->WriteLn(name);
        PollReply reply;
        reply.weightLine = channel->ReadLn();
        reply.statusLine = channel->ReadLn();
        channel->Disconnect();
        return reply;
    } catch (const Exception&) {
        // A failed exchange is answered locally by the caller.
        return std::nullopt;
    }
}

void ZeroOnOwnChannel(const AutomationContext& context, const std::string& name) {
    try {
        auto channel = MakeChannel(context, kZeroConnectTimeoutMs);
        channel->Connect();
        channel->WriteLn("SetNull" + name);
        channel->Disconnect();
    } catch (const Exception&) {
        // The zero request has no answer, so a failure has nobody to be told to.
    }
}

bool MainClientConnected(const AutomationContext& context) {
    return context.mainChannel.Connected();
}

} // namespace vesmera
