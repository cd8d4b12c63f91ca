#pragma once

#include <string>

#include "common/views.h"

namespace vesmera {

// "Ворлен" runs Timer1, "6.43" runs Timer5; any other text, even one differing only in
// letter case, leaves both as they are.
void SelectPollTimer(const std::string& protocol, ITimerSwitch& timer1, ITimerSwitch& timer5);

} // namespace vesmera
