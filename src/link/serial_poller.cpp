#include "link/serial_poller.h"

#include <algorithm>

#include "common/color.h"
#include "common/exception.h"
#include "common/number_text.h"
#include "link/link_display.h"
#include "link/protocol_643.h"
#include "link/vorlen_protocol.h"

namespace vesmera {

SerialPoller::SerialPoller(ISerialChannel& channel, const HeldSettings& settings,
                           SharedWeightState& state, IIndicatorView& indicator,
                           IMessageView& message, ISleeper& sleeper, char decimalSeparator)
    : channel_(channel), settings_(settings), state_(state), indicator_(indicator),
      message_(message), sleeper_(sleeper), decimalSeparator_(decimalSeparator) {}

void SerialPoller::VorlenTick() {
    Poll(&VorlenWeightExchange, &DecodeVorlenReply);
}

void SerialPoller::Tick643() {
    Poll(&WeightExchange643, &DecodeReply643);
}

void SerialPoller::Poll(Exchange exchange, Decoder decode) {
    std::string reply;
    bool applied = false;
    try {
        reply = exchange(channel_, sleeper_, settings_);
    } catch (const Exception& e) {
        // A channel failure: one failed poll, and the reason kept for the user.
        if (failures_)
            failures_->Failed(e.Message());
        CountFailure(reply);
        indicator_.SetIndicatorString(FormatGeneral(state_.weight, decimalSeparator_));
        return;
    }
    try {
        applied = Apply(decode(reply));
    } catch (const Exception&) {
        // A colour text that names no colour: one failed poll.
        applied = false;
    }
    if (applied) {
        state_.errorCounter = 0;
        if (failures_)
            failures_->Succeeded();
    } else
        CountFailure(reply);
    indicator_.SetIndicatorString(FormatGeneral(state_.weight, decimalSeparator_));
}

bool SerialPoller::Apply(const std::optional<TerminalReading>& reading) {
    if (!reading)
        return false;
    state_.weight = reading->weight;
    state_.status = reading->stable ? kStatusStable : kStatusUnstable;
    indicator_.SetNumberForeColor(
        TextToColor(state_.status == kStatusStable ? settings_.color2 : settings_.color1));
    if (reading->overload) {
        state_.weight = kWeightLinkLost;
        state_.status = kStatusUnstable;
        ShowLinkMessage(indicator_, message_, kMessageOverload);
    } else {
        ShowIndicator(indicator_, message_);
    }
    return true;
}

void SerialPoller::CountFailure(const std::string& reply) {
    state_.errorCounter = std::min(state_.errorCounter, kLinkLostAfter) + 1;
    if (state_.errorCounter <= kLinkLostAfter)
        return;
    // The link is lost. The digits take the stable colour only when the last reading was
    // stable and this poll received more than two characters.
    const bool stableColor = state_.status == kStatusStable && reply.size() > 2;
    // A colour text that names no colour leaves the digits as they are; the link-lost state
    // must still be entered.
    if (const auto color = TryTextToColor(stableColor ? settings_.color2 : settings_.color1))
        indicator_.SetNumberForeColor(*color);
    state_.weight = kWeightLinkLost;
    state_.status = kStatusUnstable;
    ShowLinkMessage(indicator_, message_, kMessageLinkLost);
}

} // namespace vesmera
