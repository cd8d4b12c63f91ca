#include "app/poll_wiring.h"

#include <QString>
#include <QWidget>

#include "app/qt_timer.h"
#include "common/failure_report.h"
#include "common/held_settings.h"
#include "common/live_reading.h"
#include "link/serial_link.h"
#include "net/network_poller.h"

namespace vesmera {

PollWiring::PollWiring(const Timers& timers, const Parts& parts, Window window) {
    const auto observe = window.observeReading;
    // The last failure of the serial channel or the line channel, as a tooltip over the
    // display; a successful poll removes it.
    parts.serialLink.SetFailureReport(&parts.failures);
    parts.networkPoller.SetFailureReport(&parts.failures);
    // A network exchange ends after its tick has returned; what it shows is told then.
    parts.networkPoller.SetWorkEnded(observe);
    parts.failures.SetListener(
        [&indicator = parts.indicator, &screen = parts.screen](const std::string& text) {
            const QString tip = QString::fromStdString(text);
            indicator.setToolTip(tip);
            screen.setToolTip(tip);
        });

    parts.failures.SetSuccessListener([&reading = parts.reading] { reading.PollSucceeded(); });
    parts.reading.SetTerminalSource(
        [&settings = parts.settings, selected = std::move(window.selectedTabText)] {
            return settings.networkMode ? selected().value_or(std::string()) : std::string();
        });

    // Each tick ends by telling the live reading what it left on the display, so clients
    // hear of a change at most once a poll.
    const auto observed = [observe](std::function<void()> tick) {
        return [observe, tick = std::move(tick)] {
            tick();
            observe();
        };
    };
    NetworkPoller& poller = parts.networkPoller;
    SerialLink& link = parts.serialLink;
    timers.timer2.SetHandler(observed([&poller] { poller.Timer2Tick(); }));
    timers.timer3.SetHandler(observed([&poller] { poller.Timer3Tick(); }));
    // The serial ticks only start exchanges (or hold them until the line is free) and return
    // at once; what a poll or supervision tick shows is known when its exchange ends.
    timers.timer1.SetHandler([&link] { link.TickVorlen(); });
    timers.timer4.SetHandler([&link] { link.SupervisionTick(); });
    timers.timer5.SetHandler([&link] { link.Tick643(); });
    link.SetEndListener([observe](SerialLink::Ending, bool) { observe(); });
    timers.timer4.SetEnabled(true); // the only timer on from the start, and never switched off
}

} // namespace vesmera
