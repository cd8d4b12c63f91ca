#include "link/ecomport.h"

#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

namespace vesmera {

namespace {

constexpr std::array<const char*, 24> kMessages = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
    "Port Not Open",
};

std::string FormMessage(std::int32_t code, std::int32_t errorNumber) {
    std::string message = ComErrorMessage(code);
    if (errorNumber > 0) {
        std::array<char, 16> digits{};
        auto end = std::to_chars(digits.data(), digits.data() + digits.size(), errorNumber).ptr;
        message += " (Error: ";
        message.append(digits.data(), end);
        message += ')';
    }
    return message;
}

} // namespace

std::string ComErrorMessage(std::int32_t code) {
    if (code < 1 || code > static_cast<std::int32_t>(kMessages.size()))
        return {};
    return kMessages[static_cast<std::size_t>(code - 1)];
}

std::string ComErrorWithReason(const std::string& message) {
    constexpr std::string_view kOpen = " (Error: ";
    const auto open = message.rfind(kOpen);
    if (open == std::string::npos || message.back() != ')')
        return message;
    int number = 0;
    const char* first = message.data() + open + kOpen.size();
    const char* last = message.data() + message.size() - 1;
    const auto [end, ec] = std::from_chars(first, last, number);
    if (ec != std::errc() || end != last || number <= 0)
        return message;
    return message + ": " + std::strerror(number);
}

EComPort::EComPort(std::int32_t code, std::int32_t errorNumber)
    : Exception(FormMessage(code, errorNumber)), FCode(code),
      FWinCode(errorNumber > 0 ? errorNumber : -1) {}

} // namespace vesmera
