#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/held_settings.h"
#include "common/sleeper.h"
#include "common/views.h"
#include "link/serial_channel.h"
#include "link/terminal_reading.h"

namespace vesmera {

inline constexpr char kStx = 0x02;
inline constexpr char kSoh = 0x01;
inline constexpr char kDle = 0x10; // weight request
inline constexpr char kCr = 0x0D;  // zero request
inline constexpr int k643SelectReadCount = 10;
inline constexpr int k643ReplyReadCount = 100;
inline constexpr std::size_t k643MinimumReply = 9;

// STX, SOH, then the address in decimal after "000" (below 10, negative addresses included)
// or "00" (10 and above).
std::string AddressText643(std::int32_t address);

// Characters 2 to 8 are the weight field ("." is the decimal point, blanks are dropped), and
// bit 0 of character 9 is set while the weight is unstable. No value for a reply shorter than
// 9 characters or a field that is no number.
std::optional<TerminalReading> DecodeReply643(std::string_view reply);

// Selects the terminal, drops its answer, asks for the weight and returns what arrived after
// the delay (at most 100 bytes). Channel failures pass through.
std::string WeightExchange643(ISerialChannel& channel, ISleeper& sleeper,
                              const HeldSettings& settings);

// Zeroes the scale with Timer5 held off, so that no poll interleaves with the exchange.
// Channel failures are ignored; Timer5 ends in the state it had before.
void ZeroExchange643(ISerialChannel& channel, ISleeper& sleeper, const HeldSettings& settings,
                     ITimerSwitch& timer5);

} // namespace vesmera
