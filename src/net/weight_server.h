#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "common/weight_codes.h"
#include "common/zero_request.h"
#include "net/line_channel.h"

namespace vesmera {

// What may be sent as a poll for a terminal name. A name holding CR, LF or NUL would put
// further requests on the wire; one that begins with "SetNull" (as the server compares it)
// would be taken by the server as a zero request.
enum class PollName { Sendable, Smuggles, ZeroLookalike };
PollName CheckPollName(const std::string& name);
// A name that may go on the wire at all, as a poll or after "SetNull": nothing that ends the
// line early.
bool LineSendable(const std::string& name);

// Which exchange a user runs, on which channel, with which time-outs, and whether the main
// window's channel must report itself connected first.
enum class Exchange { Poll, Zero };
enum class ExchangeUser {
    MainWindowPoll,
    DataGetWeight,
    DataGetStatus,
    ScAutoGetWeightNet,
    ScAutoGetStatusNet,
    DialogZero,
    DataSetNull,
    ScAutoSetNullNet,
};

struct ExchangeUse {
    Exchange exchange;
    bool perCallChannel;
    std::int32_t connectTimeoutMs;
    std::optional<std::int32_t> readTimeoutMs; // unset: the channel's default, nothing is read
    bool needsMainConnected;
};

inline constexpr ExchangeUse kExchangeUses[] = {
    /* MainWindowPoll     */ {Exchange::Poll, false, 100, 100, true},
    /* DataGetWeight      */ {Exchange::Poll, true, 100, 10, true},
    /* DataGetStatus      */ {Exchange::Poll, true, 100, 10, true},
    /* ScAutoGetWeightNet */ {Exchange::Poll, true, 100, 100, false},
    /* ScAutoGetStatusNet */ {Exchange::Poll, true, 100, 100, true},
    /* DialogZero         */ {Exchange::Zero, true, 1000, std::nullopt, true},
    /* DataSetNull        */ {Exchange::Zero, true, 1000, std::nullopt, true},
    /* ScAutoSetNullNet   */ {Exchange::Zero, true, 1000, std::nullopt, true},
};

constexpr const ExchangeUse& UseOf(ExchangeUser user) {
    return kExchangeUses[static_cast<int>(user)];
}

// Whether the user may ask the server now: only in network mode and, for the users whose row
// says so, while the main window's channel reports itself connected. That connected test
// throws when it fails itself (a reset connection); each caller deals with that as its own
// rules say.
bool MayAskServer(ExchangeUser user, bool networkMode, ILineChannel& mainChannel);

struct PollReply {
    std::string weightLine;
    std::string statusLine;
};

// How one exchange with the server ended.
struct ExchangeOutcome {
    std::optional<LineChannelError> error; // none: every step succeeded
    PollReply reply;
    // The request left (wholly or in part) before the failure: whatever the server sends for
    // it can no longer be told from the answer to a later request on the same connection.
    bool requestSent = false;
};

// One exchange with the weight server as explicit steps, each started when the previous one
// has ended: [connect], write the request, [read the weight line, read the status line],
// [disconnect]. The poll always reads both lines, so the next request on the same connection
// starts after a complete reply. Nothing waits; `done` runs once, at the end, from the event
// loop. Destroying the exchange mid-step drops it (the channel's operation goes with it).
class ServerExchange {
public:
    using Done = std::function<void(const ExchangeOutcome&)>;
    enum class Channel { Main, PerCall }; // per-call: connect first, disconnect at the end

    ServerExchange(ILineChannel& channel, Exchange exchange, Channel kind, std::string terminal,
                   Done done);
    ~ServerExchange();
    ServerExchange(const ServerExchange&) = delete;
    ServerExchange& operator=(const ServerExchange&) = delete;

    void Start();

private:
    enum class Step { Connect, Write, ReadWeight, ReadStatus, End };
    void Run(Step step);
    void Ended(const LineResult& result);
    void Finish(std::optional<LineChannelError> error);

    ILineChannel& channel_;
    Exchange exchange_;
    Channel kind_;
    std::string line_;
    Done done_;
    Step step_ = Step::Connect;
    ExchangeOutcome outcome_;
    bool running_ = false;
};

// The per-call channels of the automation members and the settings dialog's zero button: each
// exchange on a channel of its own, made from the factory with the user's row of the table,
// released when the exchange ends. A bounded number run at once, so that a client cannot make
// the program hold sockets without end.
class ServerCallPool {
public:
    static constexpr std::size_t kMaxInFlight = 64;

    explicit ServerCallPool(ILineChannelFactory& channels) : channels_(channels) {}
    ~ServerCallPool();
    ServerCallPool(const ServerCallPool&) = delete;
    ServerCallPool& operator=(const ServerCallPool&) = delete;

    // Starts the user's exchange for terminal with host and port as given at this moment.
    // False, with nothing started and `done` never run, when kMaxInFlight are in flight or
    // the name is not LineSendable.
    bool Start(ExchangeUser user, const std::string& host, std::uint16_t port,
               const std::string& terminal, ServerExchange::Done done);
    std::size_t InFlight() const { return calls_.size(); }

private:
    struct Call {
        std::unique_ptr<ILineChannel> channel;
        std::unique_ptr<ServerExchange> exchange;
    };
    ILineChannelFactory& channels_;
    std::map<std::uint64_t, Call> calls_;
    std::uint64_t next_ = 0;
};

// A per-call channel from the factory, set up for the user's row of the table.
std::unique_ptr<ILineChannel> MakeExchangeChannel(ILineChannelFactory& factory, ExchangeUser user,
                                                  const std::string& host, std::uint16_t port);

} // namespace vesmera
