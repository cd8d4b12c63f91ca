#include "automation/server_calls.h"

#include "common/weight_codes.h"

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

bool MayAsk(const AutomationContext& context, ExchangeUser member) {
    return MayAskServer(member, context.settings.networkMode, context.mainChannel);
}

// Host and port are read at the moment of the call, as the settings stand after the last
// apply step.
bool Start(const AutomationContext& context, ExchangeUser member, const std::string& name,
           ServerExchange::Done done) {
    return context.serverCalls.Start(member, context.settings.ip, context.settings.TcpPort(), name,
                                     std::move(done));
}

} // namespace

void AskServerFor(const AutomationContext& context, const std::string& name, ExchangeUser member,
                  ServerAnswer answer) {
    const std::string noAnswer = std::to_string(kNoServerAnswer);
    if (!MayAsk(context, member)) {
        answer(noAnswer);
        return;
    }
    const bool status = WantsStatusLine(member);
    if (CheckPollName(name) == PollName::ZeroLookalike) {
        // Never sent, since the server would zero the rest of the name; answered as the server
        // answers a name it does not know.
        answer(std::to_string(status ? kStatusUnstable : kNoSuchTerminal));
        return;
    }
    const auto ended = [status, answer, noAnswer](const ExchangeOutcome& outcome) {
        // A failed exchange replaces even a line already read.
        if (outcome.error)
            answer(noAnswer);
        else
            answer(WithoutNul(status ? outcome.reply.statusLine : outcome.reply.weightLine));
    };
    if (!Start(context, member, name, ended))
        answer(noAnswer);
}

void ZeroServerFor(const AutomationContext& context, const std::string& name, ExchangeUser member,
                   std::function<void()> done) {
    if (!MayAsk(context, member) ||
        !Start(context, member, name, [done](const ExchangeOutcome&) { done(); }))
        done();
}

} // namespace vesmera
