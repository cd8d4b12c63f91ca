#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/held_settings.h"
#include "common/sleeper.h"
#include "common/views.h"
#include "link/serial_channel.h"
#include "link/shared_weight.h"
#include "link/terminal_reading.h"

#include "common/failure_report.h"

namespace vesmera {

inline constexpr std::int32_t kLinkLostAfter = 10; // failures tolerated before the link is lost

// The poll ticks of Timer1 ("Ворлен") and Timer5 ("6.43"). Each tick asks the terminal once,
// keeps the shared weight state up to date, counts failures into the link-lost state and
// writes the weight text to the indicator. Nothing escapes a tick.
class SerialPoller {
public:
    SerialPoller(ISerialChannel& channel, const HeldSettings& settings, SharedWeightState& state,
                 IIndicatorView& indicator, IMessageView& message, ISleeper& sleeper,
                 char decimalSeparator);

    void VorlenTick();
    void Tick643();

    // Where the channel's failure texts go; none by default.
    void SetFailureReport(FailureReport* report) { failures_ = report; }

private:
    using Exchange = std::string (*)(ISerialChannel&, ISleeper&, const HeldSettings&);
    using Decoder = std::optional<TerminalReading> (*)(std::string_view);

    void Poll(Exchange exchange, Decoder decode);
    // False when the reading cannot be applied; may throw for a colour text that names no
    // colour, after the weight and status are stored.
    bool Apply(const std::optional<TerminalReading>& reading);
    void CountFailure(const std::string& reply);

    ISerialChannel& channel_;
    const HeldSettings& settings_;
    SharedWeightState& state_;
    IIndicatorView& indicator_;
    IMessageView& message_;
    ISleeper& sleeper_;
    char decimalSeparator_;
    FailureReport* failures_ = nullptr;
};

} // namespace vesmera
