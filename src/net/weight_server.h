#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/line_channel.h"

namespace vesmera {

// Codes the weight server sends in the weight line in place of a weight. A value above
// kWeightFloor is a weight; anything at or below it never is.
inline constexpr int kWeightFloor = -4999;
inline constexpr int kNoSuchTerminal = -5000;
inline constexpr int kNoTerminalLink = -5001;
inline constexpr int kServerPortError = -5006;
// Status line values; any other whole number counts as unstable.
inline constexpr int kStatusStable = -5002;
inline constexpr int kStatusUnstable = -5003;
// The text automation members answer when the server cannot be asked.
inline constexpr const char* kNoServerAnswer = "-5008";

inline constexpr const char* kZeroRequestPrefix = "SetNull";

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

struct PollReply {
    std::string weightLine;
    std::string statusLine;
};

// The poll on a connected channel: the terminal name, then both reply lines, always both, so
// the next request on the same connection starts after a complete reply.
PollReply PollExchange(ILineChannel& channel, const std::string& terminal);

// A per-call channel from the factory, set up for the user's row of the table. Host and port
// are taken as given at this moment.
std::unique_ptr<ILineChannel> MakeExchangeChannel(ILineChannelFactory& factory, ExchangeUser user,
                                                  const std::string& host, std::uint16_t port);

// Connect, poll, disconnect on a per-call channel, released on every path. Fails with the
// channel's errors.
PollReply PollOnce(ILineChannelFactory& factory, ExchangeUser user, const std::string& host,
                   std::uint16_t port, const std::string& terminal);

// Connect, send "SetNull" and the name, disconnect on a per-call channel, released on every
// path. Nothing is read. Fails with the channel's errors.
void ZeroOnce(ILineChannelFactory& factory, ExchangeUser user, const std::string& host,
              std::uint16_t port, const std::string& terminal);

} // namespace vesmera
