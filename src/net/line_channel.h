#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/line_channel_error.h"

namespace vesmera {

// The end of one channel operation: no error and, for ReadLn, the line; or the failure with
// the channel's message text ("Already connected.", "Read timed out.", ...).
struct LineResult {
    std::optional<LineChannelError> error;
    std::string line;
    bool Ok() const { return !error; }
};
using LineDone = std::function<void(const LineResult&)>;

// A TCP client exchanging UTF-8 text lines. Nothing here waits: Connect, WriteLn and ReadLn
// start an operation and return at once; its end is handed to `done` later, from the event
// loop, never from inside the call. One operation at a time. Destroying the channel, Discard
// and Disconnect drop an operation in flight without calling its `done`.
class ILineChannel {
public:
    virtual ~ILineChannel() = default;
    virtual void SetHost(const std::string& host) = 0;
    virtual void SetPort(std::uint16_t port) = 0;
    virtual void SetConnectTimeout(std::int32_t ms) = 0; // 0 or -1: no limit
    virtual void SetReadTimeout(std::int32_t ms) = 0;    // -1 or 0: no limit
    virtual void SetNagle(bool on) = 0;
    virtual void Connect(LineDone done) = 0;
    // The connection test; looks at the socket without waiting. Fails with the socket error
    // of a reset connection.
    virtual bool Connected() = 0;
    virtual void WriteLn(const std::string& line, LineDone done) = 0;
    virtual void ReadLn(LineDone done) = 0;
    virtual void Disconnect() = 0;
    // True while an operation is in flight.
    virtual bool Busy() const = 0;
    // Bytes received and not yet taken by ReadLn. A poll's reply is exactly its two lines, so
    // any byte left over belongs to no request.
    virtual bool HasUnread() const { return false; }

    // A connection the peer has closed (or whose socket is gone) while unread bytes still make
    // Connected() answer yes. Such a channel can neither send nor reconnect until discarded.
    virtual bool Dead() const = 0;
    // Drops the connection for good: the socket is closed, the input buffer emptied and the
    // closed-by-peer mark cleared, so Connected() answers no and the next Connect starts afresh.
    virtual void Discard() = 0;
};

// Makes the per-call channels of the automation objects and the settings dialog's zero action.
class ILineChannelFactory {
public:
    virtual ~ILineChannelFactory() = default;
    virtual std::unique_ptr<ILineChannel> Create() = 0;
};

} // namespace vesmera
