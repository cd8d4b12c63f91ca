#pragma once

#include "common/held_settings.h"
#include "common/poll_reading.h"
#include "common/views.h"
#include "link/serial_exchange.h"
#include "link/shared_weight.h"

namespace vesmera {

// The Timer4 tick in local mode: reopens a closed port, checks that it takes a write, and
// re-selects the poll timer. When the port fails, both polls stop and the message says so
// until a poll succeeds again. Nothing escapes.
class SerialSupervision {
public:
    SerialSupervision(ISerialChannel& channel, const HeldSettings& settings,
                      SharedWeightState& state, ITimerSwitch& timer1, ITimerSwitch& timer5);

    // The exchange of a tick: open the port, write the probe byte.
    static SerialScript Script();
    // The end of a tick's exchange. A port that works changes nothing shown; one that fails
    // gives the message, with the channel's failure text.
    PollReading Ended(const SerialOutcome& outcome);

private:
    void Fail();

    ISerialChannel& channel_;
    const HeldSettings& settings_;
    SharedWeightState& state_;
    ITimerSwitch& timer1_;
    ITimerSwitch& timer5_;
};

// Closes the port. A device that has gone away may refuse to abort its transfers; the port
// gives it up all the same, so that the next open starts afresh.
void ClosePort(ISerialChannel& channel);

} // namespace vesmera
