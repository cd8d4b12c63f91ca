#pragma once

#include "link/comport_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vesmera {

// Outcome of one device call: a byte count and the errno of a failure (0 when it succeeded).
struct SerialTransfer {
    std::size_t count = 0;
    int error = 0;
};

// One opened serial device. The port calls these and turns every non-zero error number into
// its EComPort; the device itself never throws. Calls never block longer than they say.
class ISerialDevice {
public:
    virtual ~ISerialDevice() = default;
    virtual int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize) = 0;
    virtual int SetLineState(const TComLineState& state) = 0;
    virtual int SetTimeouts(const TComTimeoutValues& timeouts) = 0;
    // Hands the driver as many bytes as it takes now, without waiting (possibly none).
    virtual SerialTransfer Write(const char* bytes, std::size_t count) = 0;
    // Bytes the driver holds that have not yet left on the line.
    virtual SerialTransfer OutputQueued() = 0;
    // Takes at most count bytes that have already arrived, never waiting. A hung-up device
    // (vanished adapter, pseudo-terminal whose master closed) is the error EIO.
    virtual SerialTransfer Read(char* bytes, std::size_t count) = 0;
    // The status query after a read: bytes waiting, and clearing of line-error flags.
    virtual int QueryStatus() = 0;
    // Aborts transfers still pending on the device.
    virtual int AbortPending() = 0;
    // Releases the device. It is released whatever the result.
    virtual int Close() = 0;
    // The descriptor for waiting on the device from outside, -1 where there is none.
    virtual int Handle() const = 0;
};

struct SerialOpenResult {
    std::unique_ptr<ISerialDevice> device; // empty on failure
    int error = 0;
};

// Opens devices by path: read-write, exclusive, existing devices only.
class ISerialBackend {
public:
    virtual ~ISerialBackend() = default;
    virtual SerialOpenResult Open(const std::string& path) = 0;
};

} // namespace vesmera
