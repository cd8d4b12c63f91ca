#include "common/poll_reading.h"

#include "common/shown_messages.h"

namespace vesmera {

void RenderReading(const PollReading& reading, IIndicatorView& indicator, IMessageView& message) {
    if (reading.digits)
        indicator.SetNumberForeColor(*reading.digits);
    switch (reading.face) {
    case PollReading::Face::Keep:
        break;
    case PollReading::Face::Indicator:
        ShowIndicator(indicator, message);
        break;
    case PollReading::Face::Message:
        indicator.SetVisible(false);
        message.SetVisible(true);
        break;
    }
    if (reading.messageText)
        message.SetText(*reading.messageText);
    if (reading.weightText)
        indicator.SetIndicatorString(*reading.weightText);
}

void ReportReading(const PollReading& reading, FailureReport& failures) {
    if (reading.failure)
        failures.Failed(*reading.failure);
    else if (reading.fresh)
        failures.Succeeded();
}

} // namespace vesmera
