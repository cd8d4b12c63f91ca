#pragma once

#include <cstdint>
#include <functional>

#include "app/main_window_views.h"
#include "app/qt_timer.h"
#include "common/held_settings.h"
#include "common/live_reading.h"
#include "link/shared_weight.h"
#include "net/network_poller.h"

namespace vesmera {

// The main window's live-reading wiring. After every tick it tells the live reading what the
// window shows (the weight and status of the mode in use, the message or the indicator's text)
// and the pace of the polls, and hands what it told to the window's description for assistive
// technology.
class ShownReadingObserver {
public:
    struct Sources {
        const HeldSettings& settings;
        const SharedWeightState& weight;
        const NetworkPoller& network;
        const IIndicatorPanel& indicator;
        const IScreenPanel& message;
        const QtTimerSwitch& timer1; // the "Ворлен" polls
        const QtTimerSwitch& timer2; // the network polls
        const QtTimerSwitch& timer5; // the "6.43" polls
    };
    using Describe = std::function<void(const ShownReading&)>;

    ShownReadingObserver(Sources sources, LiveReading& reading, Describe describe)
        : s_(sources), reading_(reading), describe_(std::move(describe)) {}

    void Observe();
    ShownReading Shown() const;
    // An exchange longer than its timer's interval sets the pace itself: the tick that fell
    // due meanwhile runs as soon as the exchange ends.
    std::int64_t PollPeriodMs() const;

private:
    Sources s_;
    LiveReading& reading_;
    Describe describe_;
};

} // namespace vesmera
