#pragma once

#include <functional>
#include <string>

#include "automation/automation_context.h"
#include "net/weight_server.h"

namespace vesmera {

// A member's text answer; it may come at once or later, from the event loop.
using ServerAnswer = std::function<void(const std::string&)>;

// The network members' questions to the weight server, each on a channel of its own, asked
// only where MayAskServer allows. The connected test of the main window's channel runs
// outside the exchange's own failure handling: its failure (a reset main connection) reaches
// the caller as an unexpected fault.

// One poll for `name`: answers the weight line for the weight members, the status line for
// the status members (both lines are always read; a NUL in them becomes U+FFFD), or "-5008"
// when the server may not be asked or any step of the exchange fails. "-5008" comes at once
// when nothing is asked, the pool is full or the name holds CR, LF or NUL; a name that begins
// with "SetNull" is never sent and answers "-5000" (weight) or "-5003" (status), as the server
// answers an unknown one.
void AskServerFor(const AutomationContext& context, const std::string& name, ExchangeUser member,
                  ServerAnswer answer);

// The zero request for `name`; nothing is read and every failure of the exchange is ignored,
// since the request has no answer and nobody to be told. `done` runs when the request has gone
// out or failed (at once, with nothing sent, when nothing may be asked, the pool is full or
// the name holds CR, LF or NUL).
void ZeroServerFor(const AutomationContext& context, const std::string& name, ExchangeUser member,
                   std::function<void()> done);

} // namespace vesmera
