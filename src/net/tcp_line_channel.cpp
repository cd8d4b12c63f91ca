#include "net/tcp_line_channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/line_channel_error.h"
#include "net/utf8_text.h"

namespace vesmera {

namespace {

[[noreturn]] void ThrowSocketError(int code) {
    throw LineChannelError(LineFailure::Socket, code);
}

// Receive errors after which the connection counts as closed by the peer.
bool IsShutDown(int code) {
    return code == ESHUTDOWN || code == ECONNABORTED;
}

// Send errors after which the connection is gone.
bool IsConnectionGone(int code) {
    return code == EPIPE || code == ESHUTDOWN || code == ECONNABORTED || code == ECONNRESET;
}

} // namespace

TcpLineChannel::TcpLineChannel(ISocketSystem& system) : system_(system) {}

TcpLineChannel::~TcpLineChannel() {
    CloseSocket();
}

void TcpLineChannel::CloseSocket() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    opened_ = false;
}

void TcpLineChannel::Connect() {
    if (Connected()) {
        throw LineChannelError(LineFailure::AlreadyConnected);
    }
    if (host_.empty() || port_ == 0) {
        throw LineChannelError(LineFailure::NotConfigured);
    }
    buffer_.clear();
    scanned_ = 0;
    closedByPeer_ = false;
    // A socket left allocated by a reset connection is replaced, never reused.
    CloseSocket();
    try {
        const sockaddr_in address = TargetAddress();
        OpenSocket(address);
        if (connectTimeout_ == 0) {
            ConnectBlocking(address);
        } else {
            ConnectInSteps(address);
        }
        opened_ = true;
    } catch (const LineChannelError&) {
        CloseSocket();
        throw;
    }
}

sockaddr_in TcpLineChannel::TargetAddress() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    if (::inet_pton(AF_INET, host_.c_str(), &address.sin_addr) != 1) {
        const int r = system_.Resolve(host_, address.sin_addr);
        if (r != 0) {
            throw ResolveError(r);
        }
    }
    return address;
}

void TcpLineChannel::OpenSocket(const sockaddr_in& address) {
    fd_ = ::socket(address.sin_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        ThrowSocketError(errno);
    }
    sockaddr_in any{};
    any.sin_family = address.sin_family;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        ThrowSocketError(errno);
    }
    const int noDelay = nagle_ ? 0 : 1;
    if (::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) != 0) {
        ThrowSocketError(errno);
    }
}

void TcpLineChannel::ConnectBlocking(const sockaddr_in& address) {
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return;
    }
    if (errno != EINTR) {
        ThrowSocketError(errno);
    }
    // An interrupted connect goes on in the background; wait for its end.
    if (system_.Wait(fd_, POLLOUT, -1) < 0) {
        ThrowSocketError(errno);
    }
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
        ThrowSocketError(error);
    }
}

void TcpLineChannel::SetBlocking(bool blocking) {
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 ||
        ::fcntl(fd_, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) != 0) {
        ThrowSocketError(errno);
    }
}

void TcpLineChannel::ConnectInSteps(const sockaddr_in& address) {
    SetBlocking(false);
    bool finished = false;
    int error = 0;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        finished = true;
    } else if (errno != EINPROGRESS && errno != EINTR) {
        finished = true;
        error = errno;
    }
    // The connect's end is noticed only after a wait step, also when it was immediate, so a
    // connect always takes at least one step. A negative time-out has no limit.
    const bool limited = connectTimeout_ > 0;
    std::int64_t remaining = connectTimeout_;
    while (!limited || remaining > 0) {
        const auto step = static_cast<std::uint32_t>(
            limited ? std::min<std::int64_t>(remaining, kConnectStepMs) : kConnectStepMs);
        system_.Sleep(step);
        remaining -= step;
        if (!finished) {
            const int ready = system_.Wait(fd_, POLLOUT, 0);
            if (ready < 0) {
                finished = true;
                error = errno;
            } else if (ready > 0) {
                finished = true;
                socklen_t length = sizeof error;
                if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                    error = errno;
                }
            }
        }
        if (finished) {
            break;
        }
    }
    if (!finished) {
        throw LineChannelError(LineFailure::ConnectTimedOut);
    }
    if (error != 0) {
        ThrowSocketError(error);
    }
    SetBlocking(true);
}

long TcpLineChannel::ReceiveInto(std::size_t most) {
    const std::size_t before = buffer_.size();
    buffer_.resize(before + most);
    long n;
    do {
        n = ::recv(fd_, buffer_.data() + before, most, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    const int saved = errno;
    buffer_.resize(before + static_cast<std::size_t>(std::max(n, 0L)));
    errno = saved;
    return n;
}

bool TcpLineChannel::Connected() {
    if (fd_ >= 0 && !closedByPeer_ && buffer_.size() < kMaxBuffered) {
        const int ready = system_.Wait(fd_, POLLIN, 0);
        if (ready < 0) {
            ThrowSocketError(errno);
        }
        if (ready > 0) {
            const long n = ReceiveInto(std::min(kReceiveSize, kMaxBuffered - buffer_.size()));
            if (n == 0) {
                closedByPeer_ = true;
            } else if (n < 0 && IsShutDown(errno)) {
                closedByPeer_ = true;
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                // A reset: the test itself fails and the socket stays allocated.
                ThrowSocketError(errno);
            }
        }
    }
    if (closedByPeer_ && fd_ >= 0) {
        CloseSocket();
    }
    return (fd_ >= 0 && opened_ && !closedByPeer_) || !buffer_.empty();
}

void TcpLineChannel::WriteLn(const std::string& line) {
    if (closedByPeer_ || fd_ < 0) {
        throw LineChannelError(LineFailure::ClosedGracefully);
    }
    const std::string bytes = line + "\r\n";
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const long n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            closedByPeer_ = true;
            CloseSocket();
            throw LineChannelError(LineFailure::ClosedGracefully);
        }
        const int code = errno;
        if (code == EINTR) {
            continue;
        }
        if (IsConnectionGone(code)) {
            closedByPeer_ = true;
            CloseSocket();
        }
        ThrowSocketError(code);
    }
}

void TcpLineChannel::DropOverLongLine() {
    Discard();
    throw LineChannelError(LineFailure::LineTooLong);
}

std::string TcpLineChannel::ReadLn() {
    const bool limited = readTimeout_ > 0;
    const std::int64_t deadline =
        limited ? system_.NowMs() + std::int64_t{readTimeout_} * kReadWaitBudget : 0;
    for (;;) {
        const std::size_t lf = buffer_.find('\n', scanned_);
        if (lf != std::string::npos) {
            if (lf > kMaxLineLength) {
                DropOverLongLine();
            }
            std::size_t length = lf;
            if (length > 0 && buffer_[length - 1] == '\r') {
                --length;
            }
            std::string line = DecodeUtf8Line(std::string_view(buffer_).substr(0, length));
            buffer_.erase(0, lf + 1);
            scanned_ = 0;
            return line;
        }
        scanned_ = buffer_.size();
        if (buffer_.size() > kMaxLineLength) {
            DropOverLongLine();
        }
        if (closedByPeer_ || fd_ < 0) {
            throw LineChannelError(LineFailure::ClosedGracefully);
        }
        int wait = -1;
        if (limited) {
            const std::int64_t left = deadline - system_.NowMs();
            if (left <= 0) {
                throw LineChannelError(LineFailure::ReadTimedOut);
            }
            wait = static_cast<int>(std::min<std::int64_t>(left, readTimeout_));
        }
        const int ready = system_.Wait(fd_, POLLIN, wait);
        if (ready < 0) {
            ThrowSocketError(errno);
        }
        if (ready == 0) {
            throw LineChannelError(LineFailure::ReadTimedOut);
        }
        const long n = ReceiveInto(kReceiveSize);
        if (n == 0) {
            closedByPeer_ = true;
            CloseSocket();
        } else if (n < 0) {
            const int code = errno;
            if (code == EAGAIN || code == EWOULDBLOCK) {
                continue;
            }
            if (!IsShutDown(code)) {
                ThrowSocketError(code);
            }
            closedByPeer_ = true;
            CloseSocket();
            if (buffer_.empty()) {
                ThrowSocketError(code);
            }
        }
    }
}

void TcpLineChannel::Disconnect() {
    if (!opened_) {
        return;
    }
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_WR);
    }
    CloseSocket();
}

bool TcpLineChannel::Dead() const {
    return !buffer_.empty() && (fd_ < 0 || closedByPeer_);
}

void TcpLineChannel::Discard() {
    CloseSocket();
    buffer_.clear();
    scanned_ = 0;
    closedByPeer_ = false;
}

} // namespace vesmera
