#pragma once

#include <cstdint>

#include "common/status_codes.h"

namespace vesmera {

// The code values that stand where a weight would be, one name per meaning on every road: the
// serial polls' shared weight, the weight server's weight line, the automation members'
// answers and the command-line client. With the stability codes of status_codes.h they are
// every code the program speaks.

// A value above the floor is a weight; a value at or below it never is.
inline constexpr std::int32_t kWeightFloor = -4999;
// The weight server knows no terminal of that name.
inline constexpr std::int32_t kNoSuchTerminal = -5000;
// No link with the terminal: the serial link is lost (or a "Ворлен" terminal reports
// overload), or the weight server has none.
inline constexpr std::int32_t kNoTerminalLink = -5001;
// The serial port cannot be opened or written, here or on the weight server.
inline constexpr std::int32_t kPortFailed = -5006;

// The ScAuto members that have nothing behind them answer this.
inline constexpr std::int32_t kNotSupported = -5004;
// The automation members' answer, as text, when the weight server cannot be asked or its
// exchange fails.
inline constexpr std::int32_t kNoServerAnswer = -5008;

} // namespace vesmera
