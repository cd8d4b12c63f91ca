#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace vesmera {

// What the line channel needs of time and of the operating system besides the socket calls
// themselves: a monotonic clock, the sleep of one connect wait step, the wait for a socket to
// become ready, and host name resolution. Tests pass a fake so that the wait rules run on a
// fake clock and no resolver is asked.
class ISocketSystem {
public:
    virtual ~ISocketSystem() = default;
    // Milliseconds of a monotonic clock.
    virtual std::int64_t NowMs() = 0;
    // One step of the connect wait.
    virtual void Sleep(std::uint32_t ms) = 0;
    // Waits until the socket has one of the poll events, at most timeoutMs (negative: no limit,
    // 0: no wait). Returns the events that occurred, 0 when the time ran out, or -1 with errno.
    virtual int Wait(int fd, short events, int timeoutMs) = 0;
    // Resolves a host name to an IPv4 address. Returns 0, or a getaddrinfo error code.
    virtual int Resolve(const std::string& host, in_addr& address) = 0;
};

// The real clock, sleep, poll and getaddrinfo.
class PosixSocketSystem final : public ISocketSystem {
public:
    std::int64_t NowMs() override;
    void Sleep(std::uint32_t ms) override;
    int Wait(int fd, short events, int timeoutMs) override;
    int Resolve(const std::string& host, in_addr& address) override;
};

// The process's one real socket system.
ISocketSystem& PosixSockets();

// A server that resets a connection must never end the program: every send passes
// MSG_NOSIGNAL, and the program calls this once at start for anything else that writes to a
// socket or pipe.
void IgnoreSigpipe();

} // namespace vesmera
