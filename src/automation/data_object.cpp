#include "automation/data_object.h"

#include "automation/server_exchange.h"

namespace vesmera {

namespace {
constexpr ChannelTimeouts kDataTimeouts{100, 10};
} // namespace

bool TData::ServerReachable() const {
    return context_.settings.networkMode && MainClientConnected(context_);
}

std::string TData::GetWeight(const std::string& name) const {
    if (!ServerReachable())
        return kServerNotAsked;
    const auto reply = PollOnOwnChannel(context_, name, kDataTimeouts);
    return reply ? reply->weightLine : kServerNotAsked;
}

std::string TData::GetStatus(const std::string& name) const {
    if (!ServerReachable())
        return kServerNotAsked;
    const auto reply = PollOnOwnChannel(context_, name, kDataTimeouts);
    return reply ? reply->statusLine : kServerNotAsked;
}

void TData::SetNull(const std::string& name) const {
    if (ServerReachable())
        ZeroOnOwnChannel(context_, name);
}

} // namespace vesmera
