#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/held_settings.h"
#include "link/serial_exchange.h"
#include "link/terminal_reading.h"

namespace vesmera {

inline constexpr std::uint8_t kVorlenFrameMark = 0xFF;
inline constexpr std::uint8_t kVorlenWeightCommand = 0xC3;
inline constexpr std::uint8_t kVorlenZeroCommand = 0xC0;
inline constexpr int kVorlenReplyReadCount = 100;

// Status byte of a weight reply.
inline constexpr std::uint8_t kVorlenNegativeBit = 0x80;
inline constexpr std::uint8_t kVorlenStableBit = 0x10;
inline constexpr std::uint8_t kVorlenOverloadBit = 0x08;
inline constexpr std::uint8_t kVorlenPointMask = 0x0F;

// CRC-8 with the polynomial 0x69, initial value 0, most significant bit first, no reflection
// and no final inversion, over the given bytes.
std::uint8_t VorlenCrc8(std::string_view bytes);
std::uint8_t VorlenCrc8(std::uint8_t address, std::uint8_t command);

// FF, address (its low 8 bits), command, CRC-8 of address and command, FF, FF.
std::string VorlenFrame(std::int32_t address, std::uint8_t command);

// Reads bytes 4 to 7 of whatever arrived: three packed-decimal byte pairs of the weight, least
// significant first, then the status byte. Nothing else of the reply is checked. No value
// when the reply is shorter than 7 bytes, the decimal-point position is not a decimal digit,
// or a weight digit is not 0 to 9 while the position is 0 to 4.
std::optional<TerminalReading> DecodeReplyVorlen(std::string_view reply);

// One weight request: the frame goes out, the delay passes, then whatever has arrived (at most
// 100 bytes) is the reply.
SerialScript PollScriptVorlen(const HeldSettings& settings);
// The zero request: the frame alone. The terminal's answer is not waited for; it stays queued
// in front of the next poll's reply.
SerialScript ZeroScriptVorlen(const HeldSettings& settings);

} // namespace vesmera
