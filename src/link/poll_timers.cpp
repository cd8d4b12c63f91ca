#include "link/poll_timers.h"

#include "common/held_settings.h"

namespace vesmera {

bool SelectPollTimer(std::string_view protocol, ITimerSwitch& timer1, ITimerSwitch& timer5) {
    if (protocol == kProtocolVorlen) {
        timer1.SetEnabled(true);
        timer5.SetEnabled(false);
        return true;
    }
    if (protocol == kProtocol643) {
        timer1.SetEnabled(false);
        timer5.SetEnabled(true);
        return true;
    }
    return false;
}

} // namespace vesmera
