#pragma once

#include <functional>
#include <optional>
#include <string>

#include "common/held_settings.h"
#include "net/line_channel.h"

namespace vesmera {

// The settings dialog's "<0>". In network mode (the mode in force, not the dialog's check box)
// the server is asked to zero the selected tab's terminal over a per-call channel, but only
// while the main window's channel reports itself connected; every failure is ignored. In local
// mode the main window's serial zero command runs.
void DialogZeroAction(bool networkMode, ILineChannel& mainClient, ILineChannelFactory& factory,
                      const HeldSettings& settings, std::optional<std::string> selectedTab,
                      const std::function<void()>& localZeroCommand);

} // namespace vesmera
