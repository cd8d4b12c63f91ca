#include "net/socket_system.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

namespace vesmera {

std::int64_t PosixSocketSystem::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PosixSocketSystem::Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int PosixSocketSystem::Wait(int fd, short events, int timeoutMs) {
    // A signal must not shorten the wait: retry with the time that is left.
    const std::int64_t deadline = timeoutMs > 0 ? NowMs() + timeoutMs : 0;
    int wait = timeoutMs;
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, wait);
        if (r > 0) {
            return p.revents;
        }
        if (r == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
        if (timeoutMs > 0) {
            const std::int64_t left = deadline - NowMs();
            if (left <= 0) {
                return 0;
            }
            wait = static_cast<int>(left);
        }
    }
}

int PosixSocketSystem::Resolve(const std::string& host, in_addr& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (r != 0) {
        return r;
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return 0;
}

ISocketSystem& PosixSockets() {
    static PosixSocketSystem system;
    return system;
}

void IgnoreSigpipe() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

} // namespace vesmera
