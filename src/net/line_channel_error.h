#pragma once

#include <string>

#include "common/exception.h"

namespace vesmera {

// The failures of a line channel. Callers only tell success from failure; the kind lets the
// channel's own tests and the polling tell a time-out from a lost connection.
enum class LineFailure {
    AlreadyConnected,
    NotConfigured, // empty host or port 0; the message is empty
    ConnectTimedOut,
    Socket, // "Socket Error # %d\r\n%s"
    ClosedGracefully,
    ReadTimedOut,
    LineTooLong,
};

class LineChannelError : public Exception {
public:
    explicit LineChannelError(LineFailure kind, int code = 0);
    LineChannelError(LineFailure kind, int code, const std::string& message);
    LineFailure Kind() const { return kind_; }
    // The errno (or resolver code) of a socket error, else 0.
    int Code() const { return code_; }

private:
    LineFailure kind_;
    int code_;
};

// The one place where a system error becomes the channel's message text.
std::string LineFailureMessage(LineFailure kind, int code);

// A resolver failure as a socket error: its getaddrinfo code and text.
LineChannelError ResolveError(int gaiCode);

} // namespace vesmera
