#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesmera {

// One address to connect to, IPv4 or IPv6, port included.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int Family() const { return storage.ss_family; }
};

// Host name lookup without waiting. A lookup ends later, from the event loop, with a
// getaddrinfo code (0: found) and the addresses in the resolver's order.
class IResolver {
public:
    using Ticket = std::uint64_t; // 0 is never a ticket
    using Done = std::function<void(int gaiCode, const std::vector<SocketAddress>& addresses)>;

    virtual ~IResolver() = default;
    // Looks up host (port 0 in the addresses). A lookup of the same host already in flight is
    // joined, not repeated.
    virtual Ticket Resolve(const std::string& host, Done done) = 0;
    // The ticket's done never runs; unknown and finished tickets are ignored.
    virtual void Cancel(Ticket ticket) = 0;
};

// An address literal, IPv4 or IPv6 (brackets allowed around IPv6), with port 0; false for a
// host name.
bool ParseAddressLiteral(const std::string& host, SocketAddress& address);

// Sets the port of an IPv4 or IPv6 address.
void SetAddressPort(SocketAddress& address, std::uint16_t port);

} // namespace vesmera
