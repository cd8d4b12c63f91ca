#include "automation/server_exchange.h"

#include "common/exception.h"
#include "net/weight_server.h"

namespace vesmera {

namespace {

ExchangeUser UserOf(ServerMember member) {
    switch (member) {
    case ServerMember::DataGetWeight:
        return ExchangeUser::DataGetWeight;
    case ServerMember::DataGetStatus:
        return ExchangeUser::DataGetStatus;
    case ServerMember::DataSetNull:
        return ExchangeUser::DataSetNull;
    case ServerMember::ScAutoGetWeightNet:
        return ExchangeUser::ScAutoGetWeightNet;
    case ServerMember::ScAutoGetStatusNet:
        return ExchangeUser::ScAutoGetStatusNet;
    case ServerMember::ScAutoSetNullNet:
        return ExchangeUser::ScAutoSetNullNet;
    }
    return ExchangeUser::ScAutoSetNullNet;
}

bool WantsStatusLine(ServerMember member) {
    return member == ServerMember::DataGetStatus || member == ServerMember::ScAutoGetStatusNet;
}

} // namespace

std::string ServerNotAsked() {
    return kNoServerAnswer;
}

bool NeedsMainConnection(ServerMember member) {
    return UseOf(UserOf(member)).needsMainConnected;
}

std::string AskServer(ILineChannelFactory& channels, const ServerAddress& server,
                      const std::string& name, ServerMember member) {
    try {
        const PollReply reply = PollOnce(channels, UserOf(member), server.host, server.port, name);
        return WantsStatusLine(member) ? reply.statusLine : reply.weightLine;
    } catch (const Exception&) {
        // A failed exchange replaces even a line already read.
        return kNoServerAnswer;
    }
}

void ZeroOnServer(ILineChannelFactory& channels, const ServerAddress& server,
                  const std::string& name, ServerMember member) {
    try {
        ZeroOnce(channels, UserOf(member), server.host, server.port, name);
    } catch (const Exception&) {
        // Nothing to report: the zero request never has an answer.
    }
}

} // namespace vesmera
