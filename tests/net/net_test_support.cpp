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

IResolver::Ticket FakeResolver::Resolve(const std::string& host, Done done) {
    asked.push_back(host);
    const Ticket ticket = ++next_;
    pending_.emplace(ticket, std::make_pair(host, std::move(done)));
    if (names.count(host) != 0)
        scheduler_.After(0, [this, ticket] {
            const auto it = pending_.find(ticket);
            if (it == pending_.end())
                return;
            const auto [host, done] = std::move(it->second);
            pending_.erase(it);
            done(0, names.at(host));
        });
    return ticket;
}

void FakeResolver::Fail(const std::string& host, int gaiCode) {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->second.first != host) {
            ++it;
            continue;
        }
        const Done done = std::move(it->second.second);
        it = pending_.erase(it);
        done(gaiCode, {});
    }
}

SocketAddress Loopback4() {
    SocketAddress address;
    EXPECT_TRUE(ParseAddressLiteral("127.0.0.1", address));
    return address;
}

void Settle(testing::FakeScheduler& scheduler) {
    for (int round = 0; round < 10000; ++round) {
        const bool due = scheduler.NextDueIn() == 0;
        scheduler.Advance(0);
        if (!due && scheduler.PumpDescriptors(0) == 0)
            return;
    }
    ADD_FAILURE() << "the scheduler never settles";
}

LineResult Drive(testing::FakeScheduler& scheduler, const std::function<void(LineDone)>& start) {
    std::optional<LineResult> result;
    start([&result](const LineResult& r) { result = r; });
    for (int round = 0; round < 100000 && !result; ++round) {
        Settle(scheduler);
        if (result)
            break;
        // Bytes and connects on loopback are there almost at once; only then does time pass.
        if (scheduler.PumpDescriptors(5) > 0)
            continue;
        if (!scheduler.RunNextTimer()) {
            ADD_FAILURE() << "the operation never ends";
            break;
        }
    }
    return result.value_or(LineResult{LineChannelError(LineFailure::NotConfigured), {}});
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

FakeLineChannel::~FakeLineChannel() {
    scheduler.Cancel(task_);
    log->push_back("released");
}

void FakeLineChannel::End(LineResult result, LineDone done) {
    busy_ = true;
    if (stall) {
        stalled_.emplace(std::move(result), std::move(done));
        return;
    }
    task_ = scheduler.After(0, [this, result = std::move(result), done = std::move(done)] {
        busy_ = false;
        task_ = 0;
        done(result);
    });
}

void FakeLineChannel::Resume() {
    stall = false;
    if (stalled_) {
        auto [result, done] = std::move(*stalled_);
        stalled_.reset();
        End(std::move(result), std::move(done));
    }
}

void FakeLineChannel::Connect(LineDone done) {
    log->push_back("connect");
    if (connected || dead) {
        End({LineChannelError(LineFailure::AlreadyConnected), {}}, std::move(done));
        return;
    }
    if (connectFailure) {
        End({LineChannelError(*connectFailure, ECONNREFUSED), {}}, std::move(done));
        return;
    }
    connected = true;
    End({}, std::move(done));
}

bool FakeLineChannel::Connected() {
    if (connectedTestFails) {
        throw LineChannelError(LineFailure::Socket, ECONNRESET);
    }
    return connected || dead;
}

void FakeLineChannel::WriteLn(const std::string& line, LineDone done) {
    log->push_back("write " + line);
    if (dead) {
        End({LineChannelError(LineFailure::ClosedGracefully), {}}, std::move(done));
    } else if (writeFailure) {
        End({LineChannelError(*writeFailure, EPIPE), {}}, std::move(done));
    } else {
        End({}, std::move(done));
    }
}

void FakeLineChannel::ReadLn(LineDone done) {
    log->push_back("read");
    if (replies.empty()) {
        End({LineChannelError(LineFailure::ReadTimedOut), {}}, std::move(done));
        return;
    }
    auto next = replies.front();
    replies.pop_front();
    if (const auto* failure = std::get_if<LineFailure>(&next)) {
        End({LineChannelError(*failure), {}}, std::move(done));
        return;
    }
    End({std::nullopt, std::get<std::string>(next)}, std::move(done));
}

void FakeLineChannel::Disconnect() {
    log->push_back("disconnect");
    connected = false;
}

void FakeLineChannel::Discard() {
    log->push_back("discard");
    unread = false;
    scheduler.Cancel(task_);
    stalled_.reset();
    busy_ = false;
    connected = false;
    dead = false;
    connectedTestFails = false;
}

std::unique_ptr<ILineChannel> FakeLineChannelFactory::Create() {
    log.push_back("create");
    auto channel = std::make_unique<FakeLineChannel>(&log, scheduler);
    if (setUp) {
        setUp(*channel);
    }
    return channel;
}

} // namespace vesmera::test
