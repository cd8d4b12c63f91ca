#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/failure_report.h"
#include "common/live_reading.h"
#include "common/poll_reading.h"
#include "common/views.h"

namespace vesmera {

// The one path from a finished exchange to what the window shows and what clients read. Each
// PollReading of the serial link or the network poller is rendered on the indicator and the
// message screen, then handed, in this order, to the failure report, the live reading (its
// freshness, the poll period, and what is shown now) and the description for assistive
// technology. What is shown is kept here as it was written, never read back from the views.
class ReadingPresenter {
public:
    struct Shown {
        std::string indicatorText;
        std::string messageText;
        bool messageShown = false; // the message screen stands in the indicator's place
        bool stable = false;
    };
    using Describe = std::function<void(const Shown&)>;

    // pollIntervalMs: the poll timers' interval, the pace of any exchange that is quicker.
    ReadingPresenter(IIndicatorView& indicator, IMessageView& message, LiveReading& reading,
                     FailureReport& failures, std::int64_t pollIntervalMs, Describe describe)
        : indicator_(indicator), message_(message), reading_(reading), failures_(failures),
          pollIntervalMs_(pollIntervalMs), describe_(std::move(describe)) {}

    // A finished exchange, or the apply step's own change of the display.
    void Present(const PollReading& reading);
    // A change someone else has already made on the views (a tab change blanks the message).
    void Note(const PollReading& reading);

    const Shown& Current() const { return shown_; }
    std::int64_t PollPeriodMs(const PollReading& reading) const;

private:
    IIndicatorView& indicator_;
    IMessageView& message_;
    LiveReading& reading_;
    FailureReport& failures_;
    std::int64_t pollIntervalMs_;
    Describe describe_;
    Shown shown_;
    ReadingValue value_;
};

} // namespace vesmera
