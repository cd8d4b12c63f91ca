#pragma once

#include "common/held_settings.h"
#include "common/sleeper.h"
#include "common/views.h"
#include "link/serial_channel.h"

namespace vesmera {

// The click of the hidden Button1: the selected protocol's zero request. It has no result and
// never fails toward its caller (the settings dialog's zero button, automation's SetNull).
class ZeroCommand {
public:
    ZeroCommand(ISerialChannel& channel, const HeldSettings& settings, ISleeper& sleeper,
                ITimerSwitch& timer5);

    void Run();

private:
    ISerialChannel& channel_;
    const HeldSettings& settings_;
    ISleeper& sleeper_;
    ITimerSwitch& timer5_;
};

} // namespace vesmera
