#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/held_settings.h"
#include "link/serial_exchange.h"
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

// Selects the terminal, drops its answer, asks for the weight and takes what arrived after the
// delay (at most 100 bytes) as the reply.
SerialScript PollScript643(const HeldSettings& settings);

// The zero exchange: a delay, then the terminal is selected and CR goes out. Its failures are
// ignored by the caller; no reply is read. The caller keeps Timer5 stopped around it.
SerialScript ZeroScript643(const HeldSettings& settings);

} // namespace vesmera
