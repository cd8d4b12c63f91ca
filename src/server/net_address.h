#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesmera {

// One address to listen on: "host:port" with an IPv4 literal, or "[IPv6]:port". Port 0 asks
// the system for a free port.
struct ListenAddress {
    int family = AF_INET; // AF_INET or AF_INET6
    std::array<std::uint8_t, 16> bytes{};
    std::uint16_t port = 0;

    bool operator==(const ListenAddress&) const = default;
};

std::optional<ListenAddress> ParseListenAddress(std::string_view text);

// "HOST:PORT" of a bound socket, IPv6 hosts in brackets, as the start-up lines print it.
std::string FormatEndpoint(const sockaddr_storage& address);

// The client's address without its port: 4 bytes for IPv4, also when it reaches an IPv6
// socket as ::ffff:a.b.c.d; 16 bytes for IPv6.
std::string HostBytes(const sockaddr_storage& address);

// A listening TCP socket on the address, non-blocking: its descriptor, and the bound address
// in `bound` (the real port when 0 was asked). An IPv6 address listens for IPv6 only, so
// "[::]" and "0.0.0.0" can share a port. Fails with an Exception naming the address and the
// system's reason.
int OpenListenSocket(const ListenAddress& address, sockaddr_storage& bound);

// A client address or range that the server admits: an address alone, or address/prefix.
// An IPv4 range also admits the same clients reaching an IPv6 socket as ::ffff:a.b.c.d.
class AddressRange {
public:
    static std::optional<AddressRange> Parse(std::string_view text);
    bool Contains(const sockaddr_storage& address) const;

    bool operator==(const AddressRange&) const = default;

private:
    int family_ = AF_INET;
    std::array<std::uint8_t, 16> bytes_{};
    int prefix_ = 0;
};

} // namespace vesmera
