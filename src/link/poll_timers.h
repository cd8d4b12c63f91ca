#pragma once

#include <string_view>

#include "common/views.h"

namespace vesmera {

// The protocol selection rule: "Ворлен" polls with Timer1, "6.43" with Timer5; any other
// protocol text leaves both timers as they are. Returns whether the text named a protocol.
bool SelectPollTimer(std::string_view protocol, ITimerSwitch& timer1, ITimerSwitch& timer5);

} // namespace vesmera
