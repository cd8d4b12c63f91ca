#include "net/weight_server.h"

namespace vesmera {

PollReply PollExchange(ILineChannel& channel, const std::string& terminal) {
    channel.WriteLn(terminal);
    PollReply reply;
    reply.weightLine = channel.ReadLn();
    reply.statusLine = channel.ReadLn();
    return reply;
}

std::unique_ptr<ILineChannel> MakeExchangeChannel(ILineChannelFactory& factory, ExchangeUser user,
                                                  const std::string& host, std::uint16_t port) {
    const ExchangeUse& use = UseOf(user);
    auto channel = factory.Create();
    channel->SetHost(host);
    channel->SetPort(port);
    channel->SetConnectTimeout(use.connectTimeoutMs);
    if (use.readTimeoutMs) {
        channel->SetReadTimeout(*use.readTimeoutMs);
    }
    return channel;
}

PollReply PollOnce(ILineChannelFactory& factory, ExchangeUser user, const std::string& host,
                   std::uint16_t port, const std::string& terminal) {
    auto channel = MakeExchangeChannel(factory, user, host, port);
    channel->Connect();
    PollReply reply = PollExchange(*channel, terminal);
    channel->Disconnect();
    return reply;
}

void ZeroOnce(ILineChannelFactory& factory, ExchangeUser user, const std::string& host,
              std::uint16_t port, const std::string& terminal) {
    auto channel = MakeExchangeChannel(factory, user, host, port);
    channel->Connect();
    channel->WriteLn(kZeroRequestPrefix + terminal);
    channel->Disconnect();
}

} // namespace vesmera
