#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/failure_report.h"
#include "link/poll_display.h"
#include "link/serial_exchange.h"
#include "link/shared_weight.h"
#include "link/terminal_reading.h"

namespace vesmera {

inline constexpr std::int32_t kLinkLostAfter = 10; // failures tolerated before the link is lost

enum class SerialProtocol { Vorlen, P643 };

// The end of one poll of Timer1 ("Ворлен") or Timer5 ("6.43"): decodes what the exchange took,
// keeps the shared weight state up to date, counts failures into the link-lost state and shows
// the effects in the order the polls always did. Nothing escapes.
class SerialPoller {
public:
    SerialPoller(SharedWeightState& state, IPollDisplay& display);

    // Returns whether the poll succeeded. A "Ворлен" reply must come from the address the
    // request went to.
    bool Ended(SerialProtocol protocol, const SerialOutcome& outcome, std::int32_t address);

    // Where the channel's failure texts go; none by default.
    void SetFailureReport(FailureReport* report) { failures_ = report; }

private:
    // False when the reading cannot be applied; may throw for a colour text that names no
    // colour, after the weight and status are stored.
    bool Apply(const std::optional<TerminalReading>& reading);
    void CountFailure(const std::string& reply);

    SharedWeightState& state_;
    IPollDisplay& display_;
    FailureReport* failures_ = nullptr;
};

} // namespace vesmera
