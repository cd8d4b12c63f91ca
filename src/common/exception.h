#pragma once

#include <stdexcept>
#include <string>

namespace vesmera {

// Every failure of the program is an exception carrying the message text that the user or a
// caller may see. Subsystems derive their own kinds (serial, socket) from it.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message)
        : std::runtime_error(message), message_(message) {}
    // The whole text, also past a NUL that what() would stop at.
    std::string Message() const { return message_; }

private:
    std::string message_;
};

} // namespace vesmera
