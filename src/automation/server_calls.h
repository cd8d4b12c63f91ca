#pragma once

#include <string>

#include "automation/automation_context.h"
#include "automation/server_exchange.h"

namespace vesmera {

// The network members' common rule: nothing is asked outside network mode, nor, for the
// members that need it, while the main window's connection is down. That connected test runs
// outside the exchange's own failure handling: its failure (a reset main connection) reaches
// the caller as an unexpected fault.
// The answer comes through `answer`, at once when nothing is asked.
void AskServerFor(const AutomationContext& context, const std::string& name, ExchangeUser member,
                  ServerAnswer answer);
void ZeroServerFor(const AutomationContext& context, const std::string& name, ExchangeUser member,
                   std::function<void()> done);

} // namespace vesmera
