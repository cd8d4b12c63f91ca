#pragma once

#include <cstdint>
#include <string>

namespace vesmera {

// The part of the serial port that the polls and the supervision tick use. Texts are bytes:
// each char is one byte on the line (0 to 255), in both directions. Failures are EComPort.
class ISerialChannel {
public:
    virtual ~ISerialChannel() = default;
    // Does nothing when the port is open already.
    virtual void Open() = 0;
    virtual void Close() = 0;
    // Gives the device up without aborting its pending transfers: what is left to do when
    // Close has failed and the caller passes over it, so that the next Open starts afresh.
    // A channel that holds no device has nothing to give up.
    virtual void ReleaseDevice() {}
    virtual bool Connected() const = 0;
    // Hands the bytes to the driver without waiting for them to leave: returns how many it
    // took, fewer than given only when its output buffer is full.
    virtual int WriteStr(const std::string& bytes) = 0;
    // Takes at most count bytes that have already arrived, never waiting.
    virtual int ReadStr(std::string& bytes, int count) = 0;
    // How long the bytes written last still need to leave the output queue: about one line
    // time of what is queued, up to 1000 ms at a time at slow speeds, and never beyond the
    // port's write time-out; 0 when they are out or that time-out has passed.
    // Exchanges wait this long as a timer before their reply delay starts.
    virtual std::uint32_t DrainMs() { return 0; }
};

} // namespace vesmera
