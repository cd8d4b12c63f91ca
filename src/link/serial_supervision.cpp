#include "link/serial_supervision.h"

#include "common/exception.h"
#include "common/shown_messages.h"
#include "link/poll_timers.h"

namespace vesmera {

namespace {

// Sent every ten seconds only to prove that the port still takes a write.
constexpr const char* kProbe = "1";

} // namespace

SerialSupervision::SerialSupervision(ISerialChannel& channel, const HeldSettings& settings,
                                     SharedWeightState& state, ITimerSwitch& timer1,
                                     ITimerSwitch& timer5)
    : channel_(channel), settings_(settings), state_(state), timer1_(timer1), timer5_(timer5) {}

SerialScript SerialSupervision::Script() {
    return {SerialStep::Open(), SerialStep::Write(kProbe)};
}

PollReading SerialSupervision::Ended(const SerialOutcome& outcome) {
    if (!outcome.Failed()) {
        SelectPollTimer(settings_.protocol, timer1_, timer5_);
        return {};
    }
    Fail();
    PollReading reading = PollReading::Message(kMessagePortFailed);
    reading.failure = *outcome.failure;
    reading.value = ReadingValue{state_.weight, state_.status};
    return reading;
}

void SerialSupervision::Fail() {
    timer1_.SetEnabled(false);
    timer5_.SetEnabled(false);
    state_.weight = kPortFailed;
    ClosePort(channel_);
}

void ClosePort(ISerialChannel& channel) {
    try {
        channel.Close();
    } catch (const Exception&) {
        channel.ReleaseDevice();
    }
}

} // namespace vesmera
