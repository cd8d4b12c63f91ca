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
};

// Makes the per-call channels of the automation objects and the settings dialog's zero action.
class ILineChannelFactory {
public:
    virtual ~ILineChannelFactory() = default;
    virtual std::unique_ptr<ILineChannel> Create() = 0;
};

} // namespace vesmera
