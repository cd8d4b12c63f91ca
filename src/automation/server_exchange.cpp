#include "automation/server_exchange.h"

#include "net/weight_server.h"

namespace vesmera {

namespace {

// A NUL would cut the text short for many clients; it becomes U+FFFD, as invalid bytes do.
std::string WithoutNul(const std::string& line) {
    std::string text;
    for (const char c : line)
        text += c == '\0' ? std::string("\xEF\xBF\xBD") : std::string(1, c);
    return text;
}

bool WantsStatusLine(ExchangeUser member) {
    return member == ExchangeUser::DataGetStatus || member == ExchangeUser::ScAutoGetStatusNet;
}

} // namespace

std::string ServerNotAsked() {
    return std::to_string(kNoServerAnswer);
}

bool NeedsMainConnection(ExchangeUser member) {
    return UseOf(member).needsMainConnected;
}

void AskServer(ServerCallPool& calls, const ServerAddress& server, const std::string& name,
               ExchangeUser member, ServerAnswer answer) {
    const bool status = WantsStatusLine(member);
    if (CheckPollName(name) == PollName::ZeroLookalike) {
        // Never sent, since the server would zero the rest of the name; answered as the server
        // answers a name it does not know.
        answer(status ? std::to_string(kStatusUnstable) : std::to_string(kNoSuchTerminal));
        return;
    }
    const auto ended = [status, answer](const ExchangeOutcome& outcome) {
        // A failed exchange replaces even a line already read.
        if (outcome.error)
            answer(ServerNotAsked());
        else
            answer(WithoutNul(status ? outcome.reply.statusLine : outcome.reply.weightLine));
    };
    if (!calls.Start(member, server.host, server.port, name, ended))
        answer(ServerNotAsked());
}

void ZeroOnServer(ServerCallPool& calls, const ServerAddress& server, const std::string& name,
                  ExchangeUser member, std::function<void()> done) {
    // Nothing to report either way: the zero request never has an answer.
    if (!calls.Start(member, server.host, server.port, name,
                     [done](const ExchangeOutcome&) { done(); }))
        done();
}

} // namespace vesmera
