#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace vesmera::test {

// A weight server on 127.0.0.1 with an ephemeral port. Each accepted connection is handed to
// the behaviour on the server's thread; what the client sent is kept for the test.
class LoopbackServer {
public:
    struct Connection {
        int fd;
        // The next request line with its terminator; empty when the client closed first.
        std::string ReadLine() {
            std::string line;
            char c;
            while (::recv(fd, &c, 1, 0) == 1) {
                line += c;
                if (c == '\n')
                    break;
            }
            return line;
        }
        // Everything until the client closes its side.
        std::string ReadToEnd() {
            std::string all;
            char buffer[4096];
            for (;;) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 5000) <= 0)
                    break;
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                all.append(buffer, static_cast<std::size_t>(n));
            }
            return all;
        }
        void Send(const std::string& bytes) {
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        }
    };
    using Behaviour = std::function<void(Connection&)>;

    explicit LoopbackServer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 16);
        socklen_t size = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~LoopbackServer() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }

    std::uint16_t Port() const { return port_; }
    int Accepted() const { return accepted_; }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0)
                continue;
            ++accepted_;
            Connection connection{fd};
            behaviour_(connection);
            ::close(fd);
        }
    }

    Behaviour behaviour_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

} // namespace vesmera::test
