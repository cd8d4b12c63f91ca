#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vesmera {

// A TCP client exchanging UTF-8 text lines. Every operation blocks the caller until it is done
// or failed; failures are exceptions (vesmera::Exception or a subclass) with the channel's
// message texts ("Already connected.", "Read timed out.", ...).
class ILineChannel {
public:
    virtual ~ILineChannel() = default;
    virtual void SetHost(const std::string& host) = 0;
    virtual void SetPort(std::uint16_t port) = 0;
    virtual void SetConnectTimeout(std::int32_t ms) = 0; // 0: no worker, no limit
    virtual void SetReadTimeout(std::int32_t ms) = 0;    // -1 or 0: no limit
    virtual void SetNagle(bool on) = 0;
    virtual void Connect() = 0;
    virtual bool Connected() = 0;
    virtual void WriteLn(const std::string& line) = 0;
    virtual std::string ReadLn() = 0;
    virtual void Disconnect() = 0;

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
