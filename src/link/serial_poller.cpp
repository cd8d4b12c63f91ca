#include "link/serial_poller.h"

#include <algorithm>

#include "common/number_text.h"
#include "common/shown_messages.h"
#include "link/protocol_643.h"
#include "link/vorlen_protocol.h"

namespace vesmera {

SerialPoller::SerialPoller(const HeldSettings& settings, SharedWeightState& state,
                           char decimalSeparator)
    : settings_(settings), state_(state), decimalSeparator_(decimalSeparator) {}

PollReading SerialPoller::Ended(SerialProtocol protocol, const SerialOutcome& outcome,
                                std::int32_t address) {
    PollReading reading;
    bool applied = false;
    if (outcome.Failed()) {
        // A channel failure: one failed poll, and the reason kept for the user.
        reading.failure = *outcome.failure;
    } else {
        applied =
            Apply(protocol == SerialProtocol::Vorlen ? DecodeReplyVorlen(outcome.reply, address)
                                                     : DecodeReply643(outcome.reply),
                  reading);
    }
    if (applied) {
        state_.errorCounter = 0;
        reading.fresh = true;
    } else {
        CountFailure(outcome.reply, reading);
    }
    // After every poll, shown or not.
    reading.weightText = FormatGeneral(state_.weight, decimalSeparator_);
    reading.value = ReadingValue{state_.weight, state_.status};
    return reading;
}

bool SerialPoller::Apply(const std::optional<TerminalReading>& terminal, PollReading& reading) {
    if (!terminal)
        return false;
    state_.weight = terminal->weight;
    state_.status = terminal->stable ? kStatusStable : kStatusUnstable;
    const std::optional<TColor> digits =
        TryTextToColor(terminal->stable ? settings_.color2 : settings_.color1);
    if (!digits)
        return false; // a colour text that names no colour: one failed poll
    reading.digits = digits;
    if (terminal->overload) {
        state_.weight = kNoTerminalLink;
        state_.status = kStatusUnstable;
        reading.face = PollReading::Face::Message;
        reading.messageText = kMessageOverload;
    } else {
        reading.face = PollReading::Face::Indicator;
    }
    return true;
}

void SerialPoller::CountFailure(const std::string& reply, PollReading& reading) {
    state_.errorCounter = std::min(state_.errorCounter, kLinkLostAfter) + 1;
    if (state_.errorCounter <= kLinkLostAfter)
        return;
    // The link is lost. The digits take the stable colour only when the last reading was
    // stable and this poll received more than two characters; a colour text that names no
    // colour leaves them as they are.
    const bool stable = state_.status == kStatusStable && reply.size() > 2;
    reading.digits = TryTextToColor(stable ? settings_.color2 : settings_.color1);
    state_.weight = kNoTerminalLink;
    state_.status = kStatusUnstable;
    reading.face = PollReading::Face::Message;
    reading.messageText = kMessageLinkLost;
}

} // namespace vesmera
