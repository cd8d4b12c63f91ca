#include "net_test_support.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

namespace vesmera::test {

int RealPoll(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0 ? p.revents : r;
}

void FakeSocketSystem::At(std::int64_t time, std::function<void()> action) {
    actions_.emplace(time, std::move(action));
}

void FakeSocketSystem::Sleep(std::uint32_t ms) {
    sleeps.push_back(ms);
    now += ms;
}

int FakeSocketSystem::Wait(int fd, short events, int timeoutMs) {
    if (events & POLLOUT) {
        // A connect check: a connect scripted to finish later is not finished yet; one that is
        // due is awaited for real, since the kernel finishes it on its own.
        if (now < connectDoneAt) {
            return 0;
        }
        return RealPoll(fd, events, kRealCapMs);
    }
    byteWaits.push_back(timeoutMs);
    const int there = RealPoll(fd, events, 0);
    if (there != 0 || timeoutMs == 0) {
        return there;
    }
    const std::int64_t deadline = timeoutMs < 0 ? INT64_MAX : now + timeoutMs;
    if (!actions_.empty() && actions_.begin()->first <= deadline) {
        auto next = actions_.begin();
        now = std::max(now, next->first);
        auto action = std::move(next->second);
        actions_.erase(next);
        action();
        return RealPoll(fd, events, kRealCapMs);
    }
    if (timeoutMs < 0) {
        ADD_FAILURE() << "an unlimited wait with nothing scripted";
        return RealPoll(fd, events, kRealCapMs);
    }
    now = deadline;
    return 0;
}

int FakeSocketSystem::Resolve(const std::string& host, in_addr& address) {
    resolved.push_back(host);
    const auto found = names.find(host);
    if (found == names.end()) {
        return EAI_NONAME;
    }
    address = found->second;
    return 0;
}

Peer::~Peer() {
    Close();
}

void Peer::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const long n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return; // the client has gone; the test sees it on the client side
        }
        sent += static_cast<std::size_t>(n);
    }
}

std::string Peer::ReadLine() {
    for (;;) {
        const auto lf = pending_.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending_.substr(0, lf + 1);
            pending_.erase(0, lf + 1);
            return line;
        }
        if (RealPoll(fd_, POLLIN, kRealCapMs) <= 0) {
            ADD_FAILURE() << "no request line came";
            return {};
        }
        char bytes[4096];
        const long n = ::recv(fd_, bytes, sizeof bytes, 0);
        if (n <= 0) {
            std::string rest = std::move(pending_);
            pending_.clear();
            return rest;
        }
        pending_.append(bytes, static_cast<std::size_t>(n));
    }
}

std::string Peer::ReadToEnd() {
    std::string all = std::move(pending_);
    pending_.clear();
    for (;;) {
        if (RealPoll(fd_, POLLIN, kRealCapMs) <= 0) {
            ADD_FAILURE() << "the client did not close";
            return all;
        }
        char bytes[4096];
        const long n = ::recv(fd_, bytes, sizeof bytes, 0);
        if (n <= 0) {
            return all;
        }
        all.append(bytes, static_cast<std::size_t>(n));
    }
}

void Peer::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void Peer::Reset() {
    if (fd_ >= 0) {
        const linger hard{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        Close();
    }
}

void Peer::Shutdown() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

LoopbackServer::LoopbackServer(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 16) != 0) {
        ADD_FAILURE() << "cannot listen on port " << port << ": errno " << errno;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

LoopbackServer::~LoopbackServer() {
    Close();
}

void LoopbackServer::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::unique_ptr<Peer> LoopbackServer::Accept() {
    if (RealPoll(fd_, POLLIN, kRealCapMs) <= 0) {
        ADD_FAILURE() << "no connection came";
        return std::make_unique<Peer>(-1);
    }
    return std::make_unique<Peer>(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
}

std::uint16_t RefusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

void AwaitHangup(int clientFd) {
    ASSERT_GT(RealPoll(clientFd, POLLRDHUP, kRealCapMs), 0) << "the peer's close never came";
}

void AwaitBytes(int clientFd, std::size_t count) {
    // Each round waits for more bytes to come; only a stalled peer ends the loop early.
    for (;;) {
        int queued = 0;
        ::ioctl(clientFd, FIONREAD, &queued);
        if (static_cast<std::size_t>(queued) >= count) {
            return;
        }
        const int before = queued;
        for (int round = 0; round < kRealCapMs && queued == before; ++round) {
            ::poll(nullptr, 0, 1);
            ::ioctl(clientFd, FIONREAD, &queued);
        }
        if (queued == before) {
            ADD_FAILURE() << "only " << queued << " of " << count << " bytes came";
            return;
        }
    }
}

void AwaitReadable(int clientFd) {
    ASSERT_GT(RealPoll(clientFd, POLLIN, kRealCapMs), 0) << "the peer's bytes never came";
}

std::optional<LineChannelError> FailureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const LineChannelError& e) {
        return e;
    }
    ADD_FAILURE() << "no failure";
    return std::nullopt;
}

void FakeLineChannel::Connect() {
    log->push_back("connect");
    if (connected || dead) {
        throw LineChannelError(LineFailure::AlreadyConnected);
    }
    if (connectFailure) {
        throw LineChannelError(*connectFailure, ECONNREFUSED);
    }
    connected = true;
}

bool FakeLineChannel::Connected() {
    if (connectedTestFails) {
        throw LineChannelError(LineFailure::Socket, ECONNRESET);
    }
    return connected || dead;
}

void FakeLineChannel::WriteLn(const std::string& line) {
    log->push_back("write " + line);
    if (dead) {
        throw LineChannelError(LineFailure::ClosedGracefully);
    }
    if (writeFailure) {
        throw LineChannelError(*writeFailure, EPIPE);
    }
}

std::string FakeLineChannel::ReadLn() {
    log->push_back("read");
    if (replies.empty()) {
        throw LineChannelError(LineFailure::ReadTimedOut);
    }
    auto next = replies.front();
    replies.pop_front();
    if (const auto* failure = std::get_if<LineFailure>(&next)) {
        throw LineChannelError(*failure);
    }
    return std::get<std::string>(next);
}

void FakeLineChannel::Disconnect() {
    log->push_back("disconnect");
    connected = false;
}

void FakeLineChannel::Discard() {
    log->push_back("discard");
    connected = false;
    dead = false;
    connectedTestFails = false;
}

std::unique_ptr<ILineChannel> FakeLineChannelFactory::Create() {
    log.push_back("create");
    auto channel = std::make_unique<FakeLineChannel>(&log);
    if (setUp) {
        setUp(*channel);
    }
    return channel;
}

} // namespace vesmera::test
