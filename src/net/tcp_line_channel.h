#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/scheduler.h"
#include "net/line_channel.h"
#include "net/resolver.h"

namespace vesmera {

// The line channel on a non-blocking POSIX stream socket, IPv4 or IPv6. Every wait is a
// scheduler task: the socket's readiness, or a timer for a time-out. So the thread that runs
// the program's logic never blocks in a connect, a lookup, a send or a read.
//
// Time-outs: the connect time-out bounds the lookup and the connect together; a send waits for
// room at most the read time-out (the connect time-out when no read time-out is set, as for a
// zero request); a read waits at most the read time-out for each piece of a line and at most
// kReadWaitBudget read time-outs for the whole line.
class TcpLineChannel final : public ILineChannel {
public:
    static constexpr std::size_t kMaxLineLength = 16384; // bytes before the LF
    static constexpr std::size_t kReceiveSize = 32768;   // bytes taken by one receive
    // The connected test stops taking bytes once this many wait unread, so no caller can make
    // the buffer grow without end.
    static constexpr std::size_t kMaxBuffered = 65536;
    // One ReadLn waits at most this many read time-outs in total, so a peer that trickles a
    // line byte by byte cannot hold the exchange for long.
    static constexpr std::int32_t kReadWaitBudget = 20;

    TcpLineChannel(IScheduler& scheduler, IResolver& resolver);
    ~TcpLineChannel() override;
    TcpLineChannel(const TcpLineChannel&) = delete;
    TcpLineChannel& operator=(const TcpLineChannel&) = delete;

    void SetHost(const std::string& host) override { host_ = host; }
    void SetPort(std::uint16_t port) override { port_ = port; }
    void SetConnectTimeout(std::int32_t ms) override { connectTimeout_ = ms; }
    void SetReadTimeout(std::int32_t ms) override { readTimeout_ = ms; }
    void SetNagle(bool on) override { nagle_ = on; }

    void Connect(LineDone done) override;
    bool Connected() override;
    void WriteLn(const std::string& line, LineDone done) override;
    void ReadLn(LineDone done) override;
    void Disconnect() override;
    bool Busy() const override { return static_cast<bool>(done_) || handOver_.Pending(); }
    bool HasUnread() const override { return !buffer_.empty(); }
    bool Dead() const override;
    void Discard() override;

    // For tests and diagnostics: the socket (-1 when none) and the unread byte count.
    int NativeSocket() const { return fd_; }
    std::size_t BufferedBytes() const { return buffer_.size(); }

private:
    void Begin(LineDone done);
    void Finish(LineResult result);
    void Fail(LineFailure kind, int code = 0);
    void StopWaiting();
    void CancelOperation();
    void DropConnection();
    void ConnectTo(int gaiCode, const std::vector<SocketAddress>& addresses);
    void TryNextAddress();
    bool OpenSocket(const SocketAddress& address);
    void ConnectReady();
    void SendSome();
    void ReadSome();
    bool TakeLine();
    long ReceiveInto(std::size_t most);
    void CloseSocket();

    IResolver& resolver_;
    std::string host_;
    std::uint16_t port_ = 0;
    std::int32_t connectTimeout_ = 0;
    std::int32_t readTimeout_ = -1;
    bool nagle_ = true;

    int fd_ = -1;
    bool opened_ = false;
    bool closedByPeer_ = false;
    std::string buffer_;
    std::size_t scanned_ = 0; // bytes of buffer_ already searched for an LF

    // The operation in flight.
    LineDone done_;
    ScheduledTask ready_;     // the socket's readiness
    ScheduledTask deadline_;  // the operation's whole time limit
    ScheduledTask pieceWait_; // a read's wait for the next piece
    ScheduledTask handOver_;  // the posted call of done
    IResolver::Ticket lookup_ = 0;
    std::vector<SocketAddress> addresses_;
    std::size_t nextAddress_ = 0;
    int lastError_ = 0;
    std::string outgoing_;
    std::size_t sent_ = 0;
};

// Makes TcpLineChannels with the default settings of a new channel.
class TcpLineChannelFactory final : public ILineChannelFactory {
public:
    TcpLineChannelFactory(IScheduler& scheduler, IResolver& resolver)
        : scheduler_(scheduler), resolver_(resolver) {}
    std::unique_ptr<ILineChannel> Create() override {
        return std::make_unique<TcpLineChannel>(scheduler_, resolver_);
    }

private:
    IScheduler& scheduler_;
    IResolver& resolver_;
};

} // namespace vesmera
