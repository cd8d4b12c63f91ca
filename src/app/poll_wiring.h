#pragma once

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace vesmera {

class FailureReport;
class LiveReading;
class NetworkPoller;
class QtTimerSwitch;
class ReadingPresenter;
class SerialLink;
struct HeldSettings;

// Joins the main window's polling parts once they exist: the five timers to the serial link's
// and the network poller's ticks, the reading of every finished exchange to the presenter, and
// the failure report to the display's tooltip. It holds nothing itself; what it joins must
// outlive the window's timers.
class PollWiring {
public:
    struct Timers {
        QtTimerSwitch& timer1; // serial poll
        QtTimerSwitch& timer2; // network poll
        QtTimerSwitch& timer3; // network reconnect
        QtTimerSwitch& timer4; // serial supervision
        QtTimerSwitch& timer5; // serial 643 exchange
    };
    struct Parts {
        const HeldSettings& settings;
        SerialLink& serialLink;
        NetworkPoller& networkPoller;
        ReadingPresenter& presenter;
        FailureReport& failures;
        LiveReading& reading;
        // The widgets whose tooltip tells the last failure.
        QWidget& indicator;
        QWidget& screen;
    };

    PollWiring(const Timers& timers, const Parts& parts,
               std::function<std::optional<std::string>()> selectedTabText);
};

} // namespace vesmera
