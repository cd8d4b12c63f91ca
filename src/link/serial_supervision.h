#pragma once

#include "common/held_settings.h"
#include "common/views.h"
#include "link/serial_channel.h"
#include "link/shared_weight.h"

#include "common/failure_report.h"

namespace vesmera {

// The Timer4 tick in local mode: reopens a closed port, checks that it takes a write, and
// re-selects the poll timer. When the port fails, both polls stop and the message says so
// until a tick succeeds again. Nothing escapes a tick.
class SerialSupervision {
public:
    SerialSupervision(ISerialChannel& channel, const HeldSettings& settings,
                      SharedWeightState& state, IIndicatorView& indicator, IMessageView& message,
                      ITimerSwitch& timer1, ITimerSwitch& timer5);

    void Tick();

    // Where the channel's failure texts go; none by default.
    void SetFailureReport(FailureReport* report) { failures_ = report; }

private:
    void Fail();

    ISerialChannel& channel_;
    const HeldSettings& settings_;
    SharedWeightState& state_;
    IIndicatorView& indicator_;
    IMessageView& message_;
    ITimerSwitch& timer1_;
    ITimerSwitch& timer5_;
    FailureReport* failures_ = nullptr;
};

} // namespace vesmera
