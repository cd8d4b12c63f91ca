#include "link/serial_poller.h"

#include <algorithm>

#include "common/exception.h"
#include "link/link_display.h"
#include "link/protocol_643.h"
#include "link/vorlen_protocol.h"

namespace vesmera {

SerialPoller::SerialPoller(SharedWeightState& state, IPollDisplay& display)
    : state_(state), display_(display) {}

bool SerialPoller::Ended(SerialProtocol protocol, const SerialOutcome& outcome,
                         std::int32_t address) {
    bool applied = false;
    if (outcome.Failed()) {
        // A channel failure: one failed poll, and the reason kept for the user.
        if (failures_)
            failures_->Failed(*outcome.failure);
    } else {
        try {
            applied =
                Apply(protocol == SerialProtocol::Vorlen ? DecodeReplyVorlen(outcome.reply, address)
                                                         : DecodeReply643(outcome.reply));
        } catch (const Exception&) {
            // A colour text that names no colour: one failed poll.
            applied = false;
        }
    }
    if (applied) {
        state_.errorCounter = 0;
        if (failures_)
            failures_->Succeeded();
    } else {
        CountFailure(outcome.reply);
    }
    display_.ShowWeight(state_.weight);
    return applied;
}

bool SerialPoller::Apply(const std::optional<TerminalReading>& reading) {
    if (!reading)
        return false;
    state_.weight = reading->weight;
    state_.status = reading->stable ? kStatusStable : kStatusUnstable;
    display_.ShowReadingColour(state_.status == kStatusStable);
    if (reading->overload) {
        state_.weight = kNoTerminalLink;
        state_.status = kStatusUnstable;
        display_.ShowMessage(kMessageOverload);
    } else {
        display_.ShowIndicator();
    }
    return true;
}

void SerialPoller::CountFailure(const std::string& reply) {
    state_.errorCounter = std::min(state_.errorCounter, kLinkLostAfter) + 1;
    if (state_.errorCounter <= kLinkLostAfter)
        return;
    // The link is lost. The digits take the stable colour only when the last reading was
    // stable and this poll received more than two characters.
    display_.ShowLinkLostColour(state_.status == kStatusStable && reply.size() > 2);
    state_.weight = kNoTerminalLink;
    state_.status = kStatusUnstable;
    display_.ShowMessage(kMessageLinkLost);
}

} // namespace vesmera
