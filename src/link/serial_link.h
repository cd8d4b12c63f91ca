#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/held_settings.h"
#include "common/poll_reading.h"
#include "common/scheduler.h"
#include "common/views.h"
#include "link/device_watch.h"
#include "link/serial_channel.h"
#include "link/serial_line.h"
#include "link/serial_poller.h"
#include "link/serial_supervision.h"
#include "link/shared_weight.h"

namespace vesmera {

// Everything that happens on one serial line to a terminal: the polls of Timer1 ("Ворлен") and
// Timer5 ("6.43"), the supervision tick of Timer4 and the zero command, as exchanges that take
// turns on the line (SerialLine) and never block the thread: each step that has to wait is a
// timer of the scheduler. The ticks only start exchanges; the effects of a poll or a
// supervision tick (shared state, error counter, timers) happen when its exchange ends, and
// what that means for the display and for clients is handed on as one PollReading.
//
// Needs no window: a program with a scheduler, a channel, the held settings and two timer
// switches runs it and reads the shared state after each end.
class SerialLink {
public:
    enum class Ending { Poll, Supervision, Zero };
    // Told after the effects of every exchange, with what it means for the display. A poll
    // succeeded when its reading is fresh, a supervision tick when it has no failure; a zero
    // command never fails toward anyone and changes nothing shown.
    using EndListener = std::function<void(Ending ending, const PollReading& reading)>;

    SerialLink(IScheduler& scheduler, ISerialChannel& channel, const HeldSettings& settings,
               SharedWeightState& state, char decimalSeparator, ITimerSwitch& timer1,
               ITimerSwitch& timer5);

    void TickVorlen();
    void Tick643();
    void SupervisionTick();
    // The click of the hidden Button1: the selected protocol's zero request, after the exchange
    // in flight. done (may be empty) runs when it has ended, whatever became of it.
    void Zero(std::function<void()> done);

    // The apply step has replaced the settings: the exchange in flight and a held poll tick
    // belong to the old ones. The exchange runs to its end on the line, but its result is
    // dropped (no count, no display, no timer restored); the held tick does not run. Work that
    // starts later, queued or not, belongs to the new settings.
    void Supersede();
    // Watches the port's device from now on: when it goes away the port is closed at once (the
    // polls then fail and count toward link loss as before), and when it is there again the
    // supervision tick runs at once instead of at its next period. The device followed is the
    // port setting of the moment. note is told once when the device cannot be watched.
    void WatchDevice(DeviceWatch::Note note);

    void SetEndListener(EndListener listener) { ended_ = std::move(listener); }
    bool Busy() const { return line_.Busy(); }

private:
    // Which settings an exchange started under: set when it gets the line.
    struct Era {
        std::uint64_t startedIn = 0;
    };
    void Poll(SerialProtocol protocol, ITimerSwitch& timer);
    void Supervise();
    void Ended(Ending ending, const PollReading& reading);
    bool Superseded(const Era& era) const { return era.startedIn != era_; }
    void FollowDevice();
    void DeviceChanged(DeviceWatch::Change change);
    void CloseGoneDevice();

    IScheduler& scheduler_;
    ISerialChannel& channel_;
    const HeldSettings& settings_;
    ITimerSwitch& timer1_;
    ITimerSwitch& timer5_;
    SerialLine line_;
    SerialPoller poller_;
    SerialSupervision supervision_;
    EndListener ended_;
    std::uint64_t era_ = 0; // counts the apply steps that superseded work
    bool watching_ = false;
    DeviceWatch::Note note_;
    std::unique_ptr<DeviceWatch> watch_;
};

} // namespace vesmera
