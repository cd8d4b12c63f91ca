#include "net/line_channel_error.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace vesmera {

namespace {

std::string SocketErrorText(int code, const char* text) {
    return "Socket Error # " + std::to_string(code) + "\r\n" + text;
}

} // namespace

std::string LineFailureMessage(LineFailure kind, int code) {
    switch (kind) {
    case LineFailure::AlreadyConnected:
        return "Already connected.";
    case LineFailure::NotConfigured:
        return "";
    case LineFailure::ConnectTimedOut:
        return "Connect timed out.";
    case LineFailure::Socket:
        return SocketErrorText(code, std::strerror(code));
    case LineFailure::ClosedGracefully:
        return "Connection Closed Gracefully.";
    case LineFailure::ReadTimedOut:
        return "Read timed out.";
    case LineFailure::LineTooLong:
        return "Max line length exceeded.";
    }
    return "";
}

LineChannelError::LineChannelError(LineFailure kind, int code)
    : LineChannelError(kind, code, LineFailureMessage(kind, code)) {}

LineChannelError::LineChannelError(LineFailure kind, int code, const std::string& message)
    : Exception(message), kind_(kind), code_(code) {}

LineChannelError ResolveError(int gaiCode) {
    return LineChannelError(LineFailure::Socket, gaiCode,
                            SocketErrorText(gaiCode, ::gai_strerror(gaiCode)));
}

} // namespace vesmera
