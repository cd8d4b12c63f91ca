#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/line_channel.h"
#include "net/socket_system.h"

struct sockaddr_in;

namespace vesmera {

// The line channel on a POSIX stream socket, IPv4. A connect with a time-out is a non-blocking
// connect checked after each wait step on the caller's thread: a blocked connect() cannot be
// cut short on Linux, and no worker thread is needed to keep the wait rules.
class TcpLineChannel final : public ILineChannel {
public:
    static constexpr std::size_t kMaxLineLength = 16384; // bytes before the LF
    static constexpr std::size_t kReceiveSize = 32768;   // bytes taken by one receive
    // The connected test stops taking bytes once this many wait unread, so no caller can make
    // the buffer grow without end.
    static constexpr std::size_t kMaxBuffered = 65536;
    static constexpr std::int32_t kConnectStepMs = 125;
    // One ReadLn waits at most this many read time-outs in total, so a peer that trickles a
    // line byte by byte cannot hold the caller for long.
    static constexpr std::int32_t kReadWaitBudget = 20;

    explicit TcpLineChannel(ISocketSystem& system = PosixSockets());
    ~TcpLineChannel() override;
    TcpLineChannel(const TcpLineChannel&) = delete;
    TcpLineChannel& operator=(const TcpLineChannel&) = delete;

    void SetHost(const std::string& host) override { host_ = host; }
    void SetPort(std::uint16_t port) override { port_ = port; }
    void SetConnectTimeout(std::int32_t ms) override { connectTimeout_ = ms; }
    void SetReadTimeout(std::int32_t ms) override { readTimeout_ = ms; }
    void SetNagle(bool on) override { nagle_ = on; }

    void Connect() override;
    bool Connected() override;
    void WriteLn(const std::string& line) override;
    std::string ReadLn() override;
    void Disconnect() override;
    bool Dead() const override;
    void Discard() override;

    // For tests and diagnostics: the socket (-1 when none) and the unread byte count.
    int NativeSocket() const { return fd_; }
    std::size_t BufferedBytes() const { return buffer_.size(); }

private:
    void OpenSocket(const sockaddr_in& address);
    sockaddr_in TargetAddress();
    void ConnectBlocking(const sockaddr_in& address);
    void ConnectInSteps(const sockaddr_in& address);
    void SetBlocking(bool blocking);
    long ReceiveInto(std::size_t most);
    [[noreturn]] void DropOverLongLine();
    void CloseSocket();

    ISocketSystem& system_;
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
};

// Makes TcpLineChannels with the default settings of a new channel.
class TcpLineChannelFactory final : public ILineChannelFactory {
public:
    explicit TcpLineChannelFactory(ISocketSystem& system = PosixSockets()) : system_(system) {}
    std::unique_ptr<ILineChannel> Create() override {
        return std::make_unique<TcpLineChannel>(system_);
    }

private:
    ISocketSystem& system_;
};

} // namespace vesmera
