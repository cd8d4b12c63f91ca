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

// A weight reply counts only when it is framed as one: FF, the terminal address (its low 8
// bits) and the weight command C3. What arrived may begin with the answer to an earlier zero
// request (FF, address, C0); the bytes up to the first FF, address, C3 are then skipped. After
// the frame's first three bytes come three packed-decimal byte pairs of the weight, least
// significant first, then the status byte. No value for any other start of the reply (line
// noise, another terminal, a wrong line speed), a frame cut short before its status byte, a
// decimal-point position that is not a decimal digit, or a weight digit that is not 0 to 9
// while the position is 0 to 4.
std::optional<TerminalReading> DecodeReplyVorlen(std::string_view reply, std::int32_t address);

// One weight request: the frame goes out, the delay passes, then whatever has arrived (at most
// 100 bytes) is the reply.
SerialScript PollScriptVorlen(const HeldSettings& settings);
// The zero request: the frame alone. The terminal's answer is not waited for; it stays queued
// in front of the next poll's reply.
SerialScript ZeroScriptVorlen(const HeldSettings& settings);

} // namespace vesmera
