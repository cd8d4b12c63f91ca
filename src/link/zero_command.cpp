#include "link/zero_command.h"

#include "common/exception.h"
#include "link/protocol_643.h"
#include "link/vorlen_protocol.h"

namespace vesmera {

ZeroCommand::ZeroCommand(ISerialChannel& channel, const HeldSettings& settings, ISleeper& sleeper,
                         ITimerSwitch& timer5)
    : channel_(channel), settings_(settings), sleeper_(sleeper), timer5_(timer5) {}

void ZeroCommand::Run() {
    if (settings_.protocol == kProtocolVorlen) {
        // The terminal's answer is not waited for; it stays queued in front of the next
        // poll's reply.
        try {
            channel_.WriteStr(VorlenFrame(settings_.channel, kVorlenZeroCommand));
        } catch (const Exception&) {
            // No result to report: the scale is simply not zeroed.
        }
    } else if (settings_.protocol == kProtocol643) {
        ZeroExchange643(channel_, sleeper_, settings_, timer5_);
    }
}

} // namespace vesmera
