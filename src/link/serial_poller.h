#pragma once

#include <optional>
#include <string>

#include "common/held_settings.h"
#include "common/poll_reading.h"
#include "link/serial_exchange.h"
#include "link/shared_weight.h"
#include "link/terminal_reading.h"

namespace vesmera {

inline constexpr std::int32_t kLinkLostAfter = 10; // failures tolerated before the link is lost

enum class SerialProtocol { Vorlen, P643 };

// The end of one poll of Timer1 ("Ворлен") or Timer5 ("6.43"): decodes what the exchange took,
// keeps the shared weight state up to date, counts failures into the link-lost state, and says
// what the poll means for the display and for clients. Colours are read from the settings at
// each poll. Nothing escapes.
class SerialPoller {
public:
    SerialPoller(const HeldSettings& settings, SharedWeightState& state, char decimalSeparator);

    // A "Ворлен" reply must come from the address the request went to. The reading is fresh
    // when the poll succeeded.
    PollReading Ended(SerialProtocol protocol, const SerialOutcome& outcome, std::int32_t address);

private:
    // False when the terminal's reading cannot be applied, or the colour setting names no
    // colour (the weight and status are stored all the same).
    bool Apply(const std::optional<TerminalReading>& terminal, PollReading& reading);
    void CountFailure(const std::string& reply, PollReading& reading);

    const HeldSettings& settings_;
    SharedWeightState& state_;
    char decimalSeparator_;
};

} // namespace vesmera
