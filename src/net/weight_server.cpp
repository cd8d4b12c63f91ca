#include "net/weight_server.h"

namespace vesmera {

namespace {

bool EndsALine(const std::string& name) {
    return name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

} // namespace

PollName CheckPollName(const std::string& name) {
    if (EndsALine(name))
        return PollName::Smuggles;
    if (IsZeroRequest(name))
        return PollName::ZeroLookalike;
    return PollName::Sendable;
}

bool LineSendable(const std::string& name) {
    return !EndsALine(name);
}

bool MayAskServer(ExchangeUser user, bool networkMode, ILineChannel& mainChannel) {
    if (!networkMode)
        return false;
    return !UseOf(user).needsMainConnected || mainChannel.Connected();
}

ServerExchange::ServerExchange(ILineChannel& channel, Exchange exchange, Channel kind,
                               std::string terminal, Done done)
    : channel_(channel), exchange_(exchange), kind_(kind),
      line_(exchange == Exchange::Zero ? kZeroRequestPrefix + terminal : std::move(terminal)),
      done_(std::move(done)) {}

ServerExchange::~ServerExchange() {
    // An exchange dropped mid-step takes its channel operation with it, so no step of a gone
    // exchange ever runs.
    if (running_)
        channel_.Discard();
}

void ServerExchange::Start() {
    running_ = true;
    Run(kind_ == Channel::PerCall ? Step::Connect : Step::Write);
}

void ServerExchange::Run(Step step) {
    step_ = step;
    const auto next = [this](const LineResult& result) { Ended(result); };
    switch (step) {
    case Step::Connect:
        channel_.Connect(next);
        return;
    case Step::Write:
        outcome_.requestSent = true;
        channel_.WriteLn(line_, next);
        return;
    case Step::ReadWeight:
    case Step::ReadStatus:
        channel_.ReadLn(next);
        return;
    case Step::End:
        Finish(std::nullopt);
        return;
    }
}

void ServerExchange::Ended(const LineResult& result) {
    if (!result.Ok()) {
        Finish(result.error);
        return;
    }
    switch (step_) {
    case Step::Connect:
        Run(Step::Write);
        return;
    case Step::Write:
        Run(exchange_ == Exchange::Poll ? Step::ReadWeight : Step::End);
        return;
    case Step::ReadWeight:
        outcome_.reply.weightLine = result.line;
        Run(Step::ReadStatus);
        return;
    case Step::ReadStatus:
        outcome_.reply.statusLine = result.line;
        Run(Step::End);
        return;
    case Step::End:
        return;
    }
}

void ServerExchange::Finish(std::optional<LineChannelError> error) {
    running_ = false;
    // A per-call channel carries one request: closed whether the exchange succeeded or not.
    if (kind_ == Channel::PerCall)
        channel_.Disconnect();
    outcome_.error = std::move(error);
    // Last, and from copies: done may destroy this exchange and its channel.
    const Done done = std::move(done_);
    const ExchangeOutcome outcome = outcome_;
    done(outcome);
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

ServerCallPool::~ServerCallPool() = default;

bool ServerCallPool::Start(ExchangeUser user, const std::string& host, std::uint16_t port,
                           const std::string& terminal, ServerExchange::Done done) {
    if (calls_.size() >= kMaxInFlight || !LineSendable(terminal))
        return false;
    const std::uint64_t id = ++next_;
    Call& call = calls_[id];
    call.channel = MakeExchangeChannel(channels_, user, host, port);
    call.exchange = std::make_unique<ServerExchange>(
        *call.channel, UseOf(user).exchange, ServerExchange::Channel::PerCall, terminal,
        [this, id, done = std::move(done)](const ExchangeOutcome& outcome) {
            // The exchange has let go of everything; its channel is released before the
            // caller hears the outcome.
            const ServerExchange::Done tell = done;
            calls_.erase(id);
            tell(outcome);
        });
    call.exchange->Start();
    return true;
}

} // namespace vesmera
