#include "link/serial_supervision.h"

#include "common/exception.h"
#include "link/link_display.h"
#include "link/poll_timers.h"

namespace vesmera {

namespace {

// Sent every ten seconds only to prove that the port still takes a write.
constexpr const char* kProbe = "1";

} // namespace

SerialSupervision::SerialSupervision(ISerialChannel& channel, const HeldSettings& settings,
                                     SharedWeightState& state, IIndicatorView& indicator,
                                     IMessageView& message, ITimerSwitch& timer1,
                                     ITimerSwitch& timer5)
    : channel_(channel), settings_(settings), state_(state), indicator_(indicator),
      message_(message), timer1_(timer1), timer5_(timer5) {}

void SerialSupervision::Tick() {
    if (settings_.networkMode)
        return;
    try {
        channel_.Open();
        channel_.WriteStr(kProbe);
        SelectPollTimer(settings_.protocol, timer1_, timer5_);
    } catch (const Exception& e) {
        if (failures_)
            failures_->Failed(e.Message());
        Fail();
    }
}

void SerialSupervision::Fail() {
    timer1_.SetEnabled(false);
    timer5_.SetEnabled(false);
    state_.weight = kWeightPortFailed;
    try {
        channel_.Close();
    } catch (const Exception&) {
        // A device that has gone away may refuse to abort its transfers. The port's Close
        // still gives the device up, and the next tick opens it afresh.
    }
    ShowLinkMessage(indicator_, message_, kMessagePortFailed);
}

} // namespace vesmera
