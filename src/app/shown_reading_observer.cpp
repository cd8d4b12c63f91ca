#include "app/shown_reading_observer.h"

#include <algorithm>

namespace vesmera {

void ShownReadingObserver::Observe() {
    const ShownReading shown = Shown();
    reading_.SetPollPeriod(PollPeriodMs());
    reading_.Observe(shown);
    describe_(shown);
}

ShownReading ShownReadingObserver::Shown() const {
    ShownReading shown;
    if (s_.settings.networkMode) {
        const NetworkPoller::ServerReading& last = s_.network.LastReading();
        shown.weight = static_cast<double>(last.weight);
        shown.status = last.status;
    } else {
        shown.weight = static_cast<double>(s_.weight.weight);
        shown.status = s_.weight.status;
    }
    shown.message = s_.message.IsVisible() && !s_.indicator.IsVisible();
    shown.text = shown.message ? s_.message.Text() : s_.indicator.IndicatorString();
    return shown;
}

std::int64_t ShownReadingObserver::PollPeriodMs() const {
    if (s_.settings.networkMode)
        return s_.timer2.Interval();
    if (s_.settings.protocol == kProtocol643)
        return std::max<std::int64_t>(s_.timer5.Interval(), 2 * std::int64_t{s_.settings.delayMs});
    return std::max<std::int64_t>(s_.timer1.Interval(), s_.settings.delayMs);
}

} // namespace vesmera
