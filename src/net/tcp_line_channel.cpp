#include "net/tcp_line_channel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "net/utf8_text.h"

namespace vesmera {

namespace {

// Receive errors after which the connection counts as closed by the peer.
bool IsShutDown(int code) {
    return code == ESHUTDOWN || code == ECONNABORTED;
}

// Send errors after which the connection is gone.
bool IsConnectionGone(int code) {
    return code == EPIPE || code == ESHUTDOWN || code == ECONNABORTED || code == ECONNRESET;
}

bool WouldBlock(int code) {
    return code == EAGAIN || code == EWOULDBLOCK;
}

} // namespace

TcpLineChannel::TcpLineChannel(IScheduler& scheduler, IResolver& resolver)
    : resolver_(resolver), ready_(scheduler), deadline_(scheduler), pieceWait_(scheduler),
      handOver_(scheduler) {}

TcpLineChannel::~TcpLineChannel() {
    CancelOperation();
    CloseSocket();
}

void TcpLineChannel::CloseSocket() {
    // The readiness watch goes first: a closed descriptor number is soon someone else's.
    ready_.Cancel();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    opened_ = false;
}

void TcpLineChannel::Begin(LineDone done) {
    if (Busy())
        throw std::logic_error("line channel: an operation is already in flight");
    done_ = std::move(done);
}

void TcpLineChannel::StopWaiting() {
    ready_.Cancel();
    deadline_.Cancel();
    pieceWait_.Cancel();
    if (lookup_ != 0)
        resolver_.Cancel(std::exchange(lookup_, 0));
}

void TcpLineChannel::CancelOperation() {
    StopWaiting();
    handOver_.Cancel();
    done_ = nullptr;
}

void TcpLineChannel::Finish(LineResult result) {
    StopWaiting();
    // Handed over from the event loop, never from inside the caller's own call.
    handOver_.After(0, [done = std::move(done_), result = std::move(result)] { done(result); });
    done_ = nullptr;
}

void TcpLineChannel::Fail(LineFailure kind, int code) {
    Finish(LineResult{LineChannelError(kind, code), {}});
}

void TcpLineChannel::Connect(LineDone done) {
    std::optional<LineChannelError> early;
    try {
        if (Connected())
            early = LineChannelError(LineFailure::AlreadyConnected);
    } catch (const LineChannelError& error) {
        early = error;
    }
    Begin(std::move(done));
    if (early) {
        Finish(LineResult{early, {}});
        return;
    }
    if (host_.empty() || port_ == 0) {
        Fail(LineFailure::NotConfigured);
        return;
    }
    buffer_.clear();
    scanned_ = 0;
    closedByPeer_ = false;
    // A socket left allocated by a reset connection is replaced, never reused.
    CloseSocket();
    // One limit for the lookup and the connect together.
    if (connectTimeout_ > 0)
        deadline_.After(static_cast<std::uint32_t>(connectTimeout_), [this] {
            CloseSocket();
            Fail(LineFailure::ConnectTimedOut);
        });
    SocketAddress literal;
    if (ParseAddressLiteral(host_, literal)) {
        ConnectTo(0, {literal});
        return;
    }
    lookup_ = resolver_.Resolve(host_, [this](int code, const std::vector<SocketAddress>& found) {
        lookup_ = 0;
        ConnectTo(code, found);
    });
}

void TcpLineChannel::ConnectTo(int gaiCode, const std::vector<SocketAddress>& addresses) {
    if (gaiCode != 0) {
        Finish(LineResult{ResolveError(gaiCode), {}});
        return;
    }
    addresses_ = addresses;
    for (SocketAddress& address : addresses_)
        SetAddressPort(address, port_);
    nextAddress_ = 0;
    lastError_ = ECONNREFUSED;
    TryNextAddress();
}

bool TcpLineChannel::OpenSocket(const SocketAddress& address) {
    fd_ = ::socket(address.Family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) {
        lastError_ = errno;
        return false;
    }
    // Bound to any local address and port before the connect, as the channel's steps have it:
    // when no local port is free the bind fails with EADDRINUSE, which is the error number the
    // connect then reports, where the connect's own choice of port would fail with
    // EADDRNOTAVAIL.
    SocketAddress any;
    any.storage.ss_family = static_cast<sa_family_t>(address.Family());
    any.length = address.length;
    const int noDelay = nagle_ ? 0 : 1;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&any.storage), any.length) != 0 ||
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) != 0) {
        lastError_ = errno;
        CloseSocket();
        return false;
    }
    return true;
}

void TcpLineChannel::TryNextAddress() {
    // The addresses are tried in the resolver's order; a refused one passes to the next at
    // once, and the last one's error is the connect's.
    while (nextAddress_ < addresses_.size()) {
        const SocketAddress& address = addresses_[nextAddress_++];
        if (!OpenSocket(address))
            continue;
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address.storage), address.length) ==
            0) {
            opened_ = true;
            Finish({});
            return;
        }
        if (errno == EINPROGRESS || errno == EINTR) {
            ready_.WhenWritable(fd_, [this] { ConnectReady(); });
            return;
        }
        lastError_ = errno;
        CloseSocket();
    }
    CloseSocket();
    Fail(LineFailure::Socket, lastError_);
}

void TcpLineChannel::ConnectReady() {
    ready_.Cancel();
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0) {
        opened_ = true;
        Finish({});
        return;
    }
    lastError_ = error;
    CloseSocket();
    TryNextAddress();
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
    // An operation in flight owns the socket; the test then answers from what is known.
    if (!Busy() && fd_ >= 0 && !closedByPeer_ && buffer_.size() < kMaxBuffered) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, 0);
        if (ready < 0 && errno != EINTR)
            throw LineChannelError(LineFailure::Socket, errno);
        if (ready > 0) {
            const long n = ReceiveInto(std::min(kReceiveSize, kMaxBuffered - buffer_.size()));
            if (n == 0) {
                closedByPeer_ = true;
            } else if (n < 0 && IsShutDown(errno)) {
                closedByPeer_ = true;
            } else if (n < 0 && !WouldBlock(errno)) {
                // A reset: the test itself fails and the socket stays allocated.
                throw LineChannelError(LineFailure::Socket, errno);
            }
        }
    }
    if (!Busy() && closedByPeer_ && fd_ >= 0)
        CloseSocket();
    return (fd_ >= 0 && opened_ && !closedByPeer_) || !buffer_.empty();
}

void TcpLineChannel::WriteLn(const std::string& line, LineDone done) {
    Begin(std::move(done));
    if (closedByPeer_ || fd_ < 0) {
        Fail(LineFailure::ClosedGracefully);
        return;
    }
    outgoing_ = line + "\r\n";
    sent_ = 0;
    const std::int32_t limit =
        readTimeout_ > 0 ? readTimeout_ : (connectTimeout_ > 0 ? connectTimeout_ : 0);
    if (limit > 0)
        deadline_.After(static_cast<std::uint32_t>(limit),
                        [this] { Fail(LineFailure::Socket, ETIMEDOUT); });
    SendSome();
}

void TcpLineChannel::SendSome() {
    ready_.Cancel();
    while (sent_ < outgoing_.size()) {
        const long n =
            ::send(fd_, outgoing_.data() + sent_, outgoing_.size() - sent_, MSG_NOSIGNAL);
        if (n > 0) {
            sent_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            closedByPeer_ = true;
            CloseSocket();
            Fail(LineFailure::ClosedGracefully);
            return;
        }
        const int code = errno;
        if (code == EINTR)
            continue;
        if (WouldBlock(code)) {
            ready_.WhenWritable(fd_, [this] { SendSome(); });
            return;
        }
        if (IsConnectionGone(code)) {
            closedByPeer_ = true;
            CloseSocket();
        }
        Fail(LineFailure::Socket, code);
        return;
    }
    outgoing_.clear();
    Finish({});
}

void TcpLineChannel::DropConnection() {
    CloseSocket();
    buffer_.clear();
    scanned_ = 0;
    closedByPeer_ = false;
}

bool TcpLineChannel::TakeLine() {
    const std::size_t lf = buffer_.find('\n', scanned_);
    if (lf == std::string::npos) {
        scanned_ = buffer_.size();
        if (buffer_.size() <= kMaxLineLength)
            return false;
    }
    if (lf == std::string::npos || lf > kMaxLineLength) {
        // The rest of an over-long line would be read as the next reply: the connection goes.
        DropConnection();
        Fail(LineFailure::LineTooLong);
        return true;
    }
    std::size_t length = lf;
    if (length > 0 && buffer_[length - 1] == '\r')
        --length;
    std::string line = DecodeUtf8Line(std::string_view(buffer_).substr(0, length));
    buffer_.erase(0, lf + 1);
    scanned_ = 0;
    Finish(LineResult{std::nullopt, std::move(line)});
    return true;
}

void TcpLineChannel::ReadLn(LineDone done) {
    Begin(std::move(done));
    if (readTimeout_ > 0)
        deadline_.After(static_cast<std::uint32_t>(readTimeout_) * kReadWaitBudget,
                        [this] { Fail(LineFailure::ReadTimedOut); });
    ReadSome();
}

void TcpLineChannel::ReadSome() {
    ready_.Cancel();
    pieceWait_.Cancel();
    for (;;) {
        if (TakeLine())
            return;
        if (closedByPeer_ || fd_ < 0) {
            Fail(LineFailure::ClosedGracefully);
            return;
        }
        const long n = ReceiveInto(kReceiveSize);
        if (n > 0)
            continue;
        if (n == 0) {
            closedByPeer_ = true;
            CloseSocket();
            continue;
        }
        const int code = errno;
        if (WouldBlock(code))
            break;
        if (!IsShutDown(code)) {
            Fail(LineFailure::Socket, code);
            return;
        }
        closedByPeer_ = true;
        CloseSocket();
        if (buffer_.empty()) {
            Fail(LineFailure::Socket, code);
            return;
        }
    }
    // Each wait for the next piece is one read time-out.
    ready_.WhenReadable(fd_, [this] { ReadSome(); });
    if (readTimeout_ > 0)
        pieceWait_.After(static_cast<std::uint32_t>(readTimeout_),
                         [this] { Fail(LineFailure::ReadTimedOut); });
}

void TcpLineChannel::Disconnect() {
    const bool connecting = Busy() && !opened_ && fd_ >= 0;
    CancelOperation();
    if (!opened_ && !connecting)
        return;
    if (opened_ && fd_ >= 0)
        ::shutdown(fd_, SHUT_WR);
    CloseSocket();
}

bool TcpLineChannel::Dead() const {
    return !buffer_.empty() && (fd_ < 0 || closedByPeer_);
}

void TcpLineChannel::Discard() {
    CancelOperation();
    DropConnection();
}

} // namespace vesmera
