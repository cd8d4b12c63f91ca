#include "app/protocol_selection.h"

#include "common/held_settings.h"

namespace vesmera {

void SelectPollTimer(const std::string& protocol, ITimerSwitch& timer1, ITimerSwitch& timer5) {
    if (protocol == kProtocolVorlen) {
        timer1.SetEnabled(true);
        timer5.SetEnabled(false);
    } else if (protocol == kProtocol643) {
        timer1.SetEnabled(false);
        timer5.SetEnabled(true);
    }
}

} // namespace vesmera
