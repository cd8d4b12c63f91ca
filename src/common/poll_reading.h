#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/color.h"
#include "common/failure_report.h"
#include "common/views.h"

namespace vesmera {

// The weight and status behind the display, as clients read them.
struct ReadingValue {
    long double weight = 0;
    std::int32_t status = 0;
};

// What one finished exchange means for the screen and for clients, on the serial and the
// network road alike. Each road builds it in one place from the exchange's outcome; the main
// window renders it on its views and hands the same value to the live reading, the failure
// tooltip and the pace of the polls. Everything left unset leaves what is shown as it is.
struct PollReading {
    enum class Face { Keep, Indicator, Message };

    std::optional<TColor> digits;           // the digits' new colour
    Face face = Face::Keep;                 // which of the two takes the display's place
    std::optional<std::string> messageText; // the message screen's new text
    std::optional<std::string> weightText;  // the indicator's new text
    std::optional<ReadingValue> value;      // the road's weight and status after the exchange
    bool fresh = false; // a poll got a valid answer: the reading is live, and the failure text goes
    std::optional<std::string> failure; // the channel's failure text, kept for the user
    // How long the poll's own script waits: with the timer's interval it sets the poll period.
    std::optional<std::int64_t> scriptWaitMs;

    static PollReading Message(const std::string& text) {
        PollReading r;
        r.face = Face::Message;
        r.messageText = text;
        return r;
    }
};

// The display's part, in the order the polls always gave it: the digits' colour, the face,
// then the indicator's text.
void RenderReading(const PollReading& reading, IIndicatorView& indicator, IMessageView& message);

// The failure tooltip's part: a channel failure is kept, a fresh reading clears it.
void ReportReading(const PollReading& reading, FailureReport& failures);

} // namespace vesmera
