#include "app/reading_presenter.h"

#include <algorithm>

#include "common/status_codes.h"

namespace vesmera {

void ReadingPresenter::Present(const PollReading& reading) {
    RenderReading(reading, indicator_, message_);
    Note(reading);
}

void ReadingPresenter::Note(const PollReading& reading) {
    if (reading.face != PollReading::Face::Keep)
        shown_.messageShown = reading.face == PollReading::Face::Message;
    if (reading.messageText)
        shown_.messageText = *reading.messageText;
    if (reading.weightText)
        shown_.indicatorText = *reading.weightText;
    if (reading.value)
        value_ = *reading.value;
    shown_.stable = value_.status == kStatusStable;

    ReportReading(reading, failures_);
    if (reading.fresh)
        reading_.PollSucceeded();
    if (reading.scriptWaitMs)
        reading_.SetPollPeriod(PollPeriodMs(reading));
    reading_.Observe(ShownReading{static_cast<double>(value_.weight), value_.status,
                                  shown_.messageShown ? shown_.messageText : shown_.indicatorText,
                                  shown_.messageShown});
    if (describe_)
        describe_(shown_);
}

std::int64_t ReadingPresenter::PollPeriodMs(const PollReading& reading) const {
    // An exchange longer than its timer's interval sets the pace itself: the tick that fell due
    // meanwhile runs as soon as the exchange ends.
    return std::max(pollIntervalMs_, reading.scriptWaitMs.value_or(0));
}

} // namespace vesmera
