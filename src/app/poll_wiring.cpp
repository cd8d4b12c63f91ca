#include "app/poll_wiring.h"

#include <QString>
#include <QWidget>
#include <iostream>

#include "app/qt_timer.h"
#include "app/reading_presenter.h"
#include "common/failure_report.h"
#include "common/held_settings.h"
#include "common/live_reading.h"
#include "link/serial_link.h"
#include "net/network_poller.h"

namespace vesmera {

PollWiring::PollWiring(const Timers& timers, const Parts& parts,
                       std::function<std::optional<std::string>()> selectedTabText) {
    // The last failure of the serial channel or the line channel, as a tooltip over the
    // display; a successful poll removes it.
    parts.failures.SetListener(
        [&indicator = parts.indicator, &screen = parts.screen](const std::string& text) {
            const QString tip = QString::fromStdString(text);
            indicator.setToolTip(tip);
            screen.setToolTip(tip);
        });
    parts.reading.SetTerminalSource(
        [&settings = parts.settings, selected = std::move(selectedTabText)] {
            return settings.networkMode ? selected().value_or(std::string()) : std::string();
        });

    // The ticks only start exchanges (or hold them until the line or the channel is free) and
    // return at once; what an exchange means is presented when it ends.
    ReadingPresenter& presenter = parts.presenter;
    parts.serialLink.SetEndListener([&presenter](SerialLink::Ending, const PollReading& reading) {
        presenter.Present(reading);
    });
    parts.networkPoller.SetReadingListener(
        [&presenter](const PollReading& reading) { presenter.Present(reading); });
    NetworkPoller& poller = parts.networkPoller;
    SerialLink& link = parts.serialLink;
    timers.timer2.SetHandler([&poller] { poller.Timer2Tick(); });
    timers.timer3.SetHandler([&poller] { poller.Timer3Tick(); });
    timers.timer1.SetHandler([&link] { link.TickVorlen(); });
    timers.timer4.SetHandler([&link] { link.SupervisionTick(); });
    timers.timer5.SetHandler([&link] { link.Tick643(); });
    timers.timer4.SetEnabled(true); // the only timer on from the start, and never switched off
    // A re-plugged adapter is opened as soon as its node is back. The display has no log; the
    // one line about a device that cannot be watched goes to standard error.
    link.WatchDevice([](const std::string& text) { std::cerr << "vesmera: " << text << "\n"; });
}

} // namespace vesmera
