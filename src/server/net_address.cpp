#include "server/net_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "common/exception.h"

namespace vesmera {

namespace {

constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

std::optional<int> ParseNumber(std::string_view text, int max) {
    int value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < 0 || value > max)
        return std::nullopt;
    return value;
}

// An IPv4 or IPv6 literal (no brackets) into family and bytes.
bool ParseHost(std::string_view host, int& family, std::array<std::uint8_t, 16>& bytes) {
    const std::string text(host);
    if (text.find('\0') != std::string::npos)
        return false;
    bytes.fill(0);
    if (::inet_pton(AF_INET, text.c_str(), bytes.data()) == 1) {
        family = AF_INET;
        return true;
    }
    if (::inet_pton(AF_INET6, text.c_str(), bytes.data()) == 1) {
        family = AF_INET6;
        return true;
    }
    return false;
}

sockaddr_storage SocketAddress(const ListenAddress& address) {
    sockaddr_storage ss{};
    if (address.family == AF_INET6) {
        auto& a6 = reinterpret_cast<sockaddr_in6&>(ss);
        a6.sin6_family = AF_INET6;
        a6.sin6_port = htons(address.port);
        std::memcpy(&a6.sin6_addr, address.bytes.data(), 16);
    } else {
        auto& a4 = reinterpret_cast<sockaddr_in&>(ss);
        a4.sin_family = AF_INET;
        a4.sin_port = htons(address.port);
        std::memcpy(&a4.sin_addr, address.bytes.data(), 4);
    }
    return ss;
}

} // namespace

int OpenListenSocket(const ListenAddress& address, sockaddr_storage& bound) {
    bound = SocketAddress(address);
    const int fd = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const auto fail = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        throw Exception("cannot listen on " + FormatEndpoint(bound) + ": " + std::strerror(error));
    };
    if (fd < 0)
        fail(errno);
    const int on = 1;
    // Best effort: a socket without reuse still serves; it only waits out TIME_WAIT.
    static_cast<void>(::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on));
    if (address.family == AF_INET6 &&
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0)
        fail(errno);
    const socklen_t size = address.family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&bound), size) != 0 ||
        ::listen(fd, SOMAXCONN) != 0)
        fail(errno);
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    return fd;
}

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
    std::string_view host, port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find("]:");
        if (close == std::string_view::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    ListenAddress address;
    const auto number = ParseNumber(port, 65535);
    if (!number || !ParseHost(host, address.family, address.bytes))
        return std::nullopt;
    // An IPv6 literal needs its brackets, so that the port cannot be mistaken for a group.
    if ((address.family == AF_INET6) != (text.front() == '['))
        return std::nullopt;
    address.port = static_cast<std::uint16_t>(*number);
    return address;
}

std::string FormatEndpoint(const sockaddr_storage& address) {
    char host[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        const auto& a6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &a6.sin6_addr, host, sizeof host);
        return "[" + std::string(host) + "]:" + std::to_string(ntohs(a6.sin6_port));
    }
    const auto& a4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &a4.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(a4.sin_port));
}

std::string HostBytes(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        const auto* bytes = reinterpret_cast<const char*>(
            &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr);
        if (std::memcmp(bytes, kMappedPrefix, sizeof kMappedPrefix) == 0)
            return std::string(bytes + sizeof kMappedPrefix, 4);
        return std::string(bytes, 16);
    }
    return std::string(
        reinterpret_cast<const char*>(&reinterpret_cast<const sockaddr_in&>(address).sin_addr), 4);
}

std::optional<AddressRange> AddressRange::Parse(std::string_view text) {
    AddressRange range;
    const auto slash = text.find('/');
    if (!ParseHost(text.substr(0, slash), range.family_, range.bytes_))
        return std::nullopt;
    const int bits = range.family_ == AF_INET ? 32 : 128;
    range.prefix_ = bits;
    if (slash != std::string_view::npos) {
        const auto prefix = ParseNumber(text.substr(slash + 1), bits);
        if (!prefix)
            return std::nullopt;
        range.prefix_ = *prefix;
    }
    return range;
}

bool AddressRange::Contains(const sockaddr_storage& address) const {
    const std::uint8_t* bytes = nullptr;
    if (address.ss_family == AF_INET && family_ == AF_INET) {
        bytes = reinterpret_cast<const std::uint8_t*>(
            &reinterpret_cast<const sockaddr_in&>(address).sin_addr);
    } else if (address.ss_family == AF_INET6) {
        const auto* b6 = reinterpret_cast<const std::uint8_t*>(
            &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr);
        if (family_ == AF_INET6)
            bytes = b6;
        else if (std::memcmp(b6, kMappedPrefix, sizeof kMappedPrefix) == 0)
            bytes = b6 + sizeof kMappedPrefix;
    }
    if (!bytes)
        return false;
    const int whole = prefix_ / 8, rest = prefix_ % 8;
    if (std::memcmp(bytes, bytes_.data(), whole) != 0)
        return false;
    if (rest == 0)
        return true;
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
    return (bytes[whole] & mask) == (bytes_[whole] & mask);
}

} // namespace vesmera
