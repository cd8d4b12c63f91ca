#pragma once

#include <functional>
#include <optional>
#include <string>

#include "common/held_settings.h"
#include "net/line_channel.h"
#include "net/weight_server.h"

namespace vesmera {

// The settings dialog's "<0>". In network mode (the mode in force, not the dialog's check box)
// the server is asked to zero the selected tab's terminal over a per-call channel, but only
// while the main window's channel reports itself connected; the request goes out from the
// event loop, and every failure is ignored. In local mode the main window's serial zero
// command runs.
void DialogZeroAction(bool networkMode, ILineChannel& mainClient, ServerCallPool& calls,
                      const HeldSettings& settings, std::optional<std::string> selectedTab,
                      const std::function<void()>& localZeroCommand);

} // namespace vesmera
