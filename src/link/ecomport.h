#pragma once

#include "common/exception.h"

#include <cstdint>
#include <string>

namespace vesmera {

// Failure codes of the serial port. The names and numbers are those of the serial component
// library, so that a caller can tell the failing step from the code alone.
inline constexpr std::int32_t CE_OpenFailed = 1;
inline constexpr std::int32_t CE_WriteFailed = 2;
inline constexpr std::int32_t CE_ReadFailed = 3;
inline constexpr std::int32_t CE_InvalidAsync = 4;
inline constexpr std::int32_t CE_PurgeFailed = 5;
inline constexpr std::int32_t CE_AsyncCheck = 6;
inline constexpr std::int32_t CE_SetStateFailed = 7;
inline constexpr std::int32_t CE_TimeoutsFailed = 8;
inline constexpr std::int32_t CE_SetupComFailed = 9;
inline constexpr std::int32_t CE_ClearComFailed = 10;
inline constexpr std::int32_t CE_ModemStatFailed = 11;
inline constexpr std::int32_t CE_EscapeComFailed = 12;
inline constexpr std::int32_t CE_TransmitFailed = 13;
inline constexpr std::int32_t CE_ConnChangeProp = 14;
inline constexpr std::int32_t CE_EnumPortsFailed = 15;
inline constexpr std::int32_t CE_StoreFailed = 16;
inline constexpr std::int32_t CE_LoadFailed = 17;
inline constexpr std::int32_t CE_RegFailed = 18;
inline constexpr std::int32_t CE_LedStateFailed = 19;
inline constexpr std::int32_t CE_ThreadCreated = 20;
inline constexpr std::int32_t CE_WaitFailed = 21;
inline constexpr std::int32_t CE_HasLink = 22;
inline constexpr std::int32_t CE_RegError = 23;
inline constexpr std::int32_t CEPortNotOpen = 24;

// The fixed text of a failure code, without the error number; empty for an unknown code.
std::string ComErrorMessage(std::int32_t code);

// The message followed by the system's reason for its error number, for a log that people
// read: "Unable to open com port (Error: 2): No such file or directory". A message without an
// error number stays as it is.
std::string ComErrorWithReason(const std::string& message);

// A failure of the serial port. The operating-system error number (errno) is quoted in the
// message only when it is above zero; otherwise WinCode is -1 and the message is the code's
// text alone ("Port Not Open").
class EComPort : public Exception {
public:
    EComPort(std::int32_t code, std::int32_t errorNumber);

    std::int32_t Code() const { return FCode; }
    std::int32_t WinCode() const { return FWinCode; }

private:
    std::int32_t FCode;
    std::int32_t FWinCode;
};

} // namespace vesmera
