#include "net/resolver.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace vesmera {

bool ParseAddressLiteral(const std::string& host, SocketAddress& address) {
    address = SocketAddress{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        address.length = sizeof(sockaddr_in);
        return true;
    }
    std::string bare = host;
    if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']')
        bare = bare.substr(1, bare.size() - 2);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (::inet_pton(AF_INET6, bare.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        address.length = sizeof(sockaddr_in6);
        return true;
    }
    address = SocketAddress{};
    return false;
}

void SetAddressPort(SocketAddress& address, std::uint16_t port) {
    if (address.Family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&address.storage)->sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in*>(&address.storage)->sin_port = htons(port);
}

} // namespace vesmera
