#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/weight_server.h"

namespace vesmera {

struct ServerAddress {
    std::string host;
    std::uint16_t port;
};

// The local answer of the automation objects when the weight server cannot be asked.
std::string ServerNotAsked();

// A member's text answer; it may come at once or later, from the event loop.
using ServerAnswer = std::function<void(const std::string&)>;

// One poll for `name` on a channel of its own: answers the weight line for the weight
// members, the status line for the status members (both lines are always read; a NUL in them
// becomes U+FFFD), or "-5008" when any step of the exchange fails. "-5008" comes at once when
// the pool is full or the name holds CR, LF or NUL; a name that begins with "SetNull" is never
// sent and answers "-5000" (weight) or "-5003" (status), as the server answers an unknown one.
void AskServer(ServerCallPool& calls, const ServerAddress& server, const std::string& name,
               ExchangeUser member, ServerAnswer answer);

// The zero request for `name` on a channel of its own; nothing is read and every failure is
// ignored, since the request has no answer and nobody to be told. `done` runs when the
// request has gone out or failed (at once, with nothing sent, when the pool is full or the
// name holds CR, LF or NUL).
void ZeroOnServer(ServerCallPool& calls, const ServerAddress& server, const std::string& name,
                  ExchangeUser member, std::function<void()> done);

// Whether a member waits for the main window's connection before asking.
bool NeedsMainConnection(ExchangeUser member);

} // namespace vesmera
