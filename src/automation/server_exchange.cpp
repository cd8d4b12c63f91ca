#include "automation/server_exchange.h"

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

void AskServer(ServerCallPool& calls, const ServerAddress& server, const std::string& name,
               ServerMember member, ServerAnswer answer) {
    const bool status = WantsStatusLine(member);
    const auto ended = [status, answer](const ExchangeOutcome& outcome) {
        // A failed exchange replaces even a line already read.
        if (outcome.error)
            answer(kNoServerAnswer);
        else
            answer(status ? outcome.reply.statusLine : outcome.reply.weightLine);
    };
    if (!calls.Start(UserOf(member), server.host, server.port, name, ended))
        answer(kNoServerAnswer);
}

void ZeroOnServer(ServerCallPool& calls, const ServerAddress& server, const std::string& name,
                  ServerMember member, std::function<void()> done) {
    // Nothing to report either way: the zero request never has an answer.
    if (!calls.Start(UserOf(member), server.host, server.port, name,
                     [done](const ExchangeOutcome&) { done(); }))
        done();
}

} // namespace vesmera
