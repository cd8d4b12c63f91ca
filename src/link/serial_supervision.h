#pragma once

#include "common/failure_report.h"
#include "common/held_settings.h"
#include "common/views.h"
#include "link/poll_display.h"
#include "link/serial_exchange.h"
#include "link/shared_weight.h"

namespace vesmera {

// The Timer4 tick in local mode: reopens a closed port, checks that it takes a write, and
// re-selects the poll timer. When the port fails, both polls stop and the message says so
// until a poll succeeds again. Nothing escapes.
class SerialSupervision {
public:
    SerialSupervision(ISerialChannel& channel, const HeldSettings& settings,
                      SharedWeightState& state, IPollDisplay& display, ITimerSwitch& timer1,
                      ITimerSwitch& timer5);

    // The exchange of a tick: open the port, write the probe byte.
    static SerialScript Script();
    // The end of a tick's exchange. Returns whether the port works.
    bool Ended(const SerialOutcome& outcome);

    // Where the channel's failure texts go; none by default.
    void SetFailureReport(FailureReport* report) { failures_ = report; }

private:
    void Fail();

    ISerialChannel& channel_;
    const HeldSettings& settings_;
    SharedWeightState& state_;
    IPollDisplay& display_;
    ITimerSwitch& timer1_;
    ITimerSwitch& timer5_;
    FailureReport* failures_ = nullptr;
};

} // namespace vesmera
