// TcpLineChannel::ReadLn fed by a peer on loopback whose bytes arrive in chunks the input
// chooses, on a fake clock. Every line read matches the bytes up to its LF (one CR before it
// dropped, invalid UTF-8 replaced), never holds an LF, and a line longer than the limit is
// refused instead of read.
//
// Input: byte 0 picks the chunk sizes (bit 0: the peer ends by closing, else by falling
// silent); the rest is what the peer sends.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "net/line_channel_error.h"
#include "net/tcp_line_channel.h"
#include "net/utf8_text.h"

namespace {

using namespace vesmera;

// Waits that really wait are for something already on its way; a cap keeps a fault from
// hanging the run.
constexpr int kRealCapMs = 5000;

struct Listener {
    int fd = -1;
    std::uint16_t port = 0;
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        FUZZ_CHECK(::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0, "bind");
        FUZZ_CHECK(::listen(fd, 16) == 0, "listen");
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
};

// The peer hands over its next chunk only when the channel waits for bytes, so the chunking
// is exactly the input's. Out of chunks it closes its side, or lets the fake time run out.
class ChunkedPeer final : public ISocketSystem {
public:
    ChunkedPeer(std::string_view payload, std::uint8_t pattern)
        : payload_(payload), pattern_(pattern) {}

    int peer = -1;

    std::int64_t NowMs() override { return now_; }
    void Sleep(std::uint32_t ms) override { now_ += ms; }
    int Wait(int fd, short events, int timeoutMs) override {
        pollfd p{fd, events, 0};
        if (::poll(&p, 1, 0) != 0)
            return p.revents;
        if (!(events & POLLIN))
            return ::poll(&p, 1, kRealCapMs) > 0 ? p.revents : 0;
        if (sent_ < payload_.size()) {
            SendNext();
        } else if ((pattern_ & 1) && !shut_) {
            ::shutdown(peer, SHUT_WR);
            shut_ = true;
        } else {
            now_ += timeoutMs > 0 ? timeoutMs : 0;
            return 0;
        }
        FUZZ_CHECK(::poll(&p, 1, kRealCapMs) > 0, "sent bytes or an end arrive");
        return p.revents;
    }
    int Resolve(const std::string&, in_addr&) override { return -2; }

private:
    void SendNext() {
        const std::size_t want =
            pattern_ < 2 ? payload_.size() : 1 + (pattern_ * 131u * ++chunks_) % 20000u;
        const std::size_t n = std::min(want, payload_.size() - sent_);
        for (std::size_t done = 0; done < n;) {
            const long r = ::send(peer, payload_.data() + sent_ + done, n - done, MSG_NOSIGNAL);
            FUZZ_CHECK(r > 0, "the peer sends");
            done += static_cast<std::size_t>(r);
        }
        sent_ += n;
    }

    std::string_view payload_;
    std::uint8_t pattern_;
    std::size_t sent_ = 0;
    std::size_t chunks_ = 0;
    bool shut_ = false;
    std::int64_t now_ = 0;
};

// What the reads must give: the lines before the first over-long one, and how reading ends.
struct Expected {
    std::vector<std::string> lines;
    bool tooLong = false;
};

Expected Model(std::string_view payload) {
    Expected e;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = payload.find('\n', start);
        const std::size_t length = (lf == std::string_view::npos ? payload.size() : lf) - start;
        if (length > TcpLineChannel::kMaxLineLength) {
            e.tooLong = true;
            return e;
        }
        if (lf == std::string_view::npos)
            return e;
        std::string_view line = payload.substr(start, length);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        e.lines.push_back(DecodeUtf8Line(line));
        start = lf + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static Listener listener;
    const std::string_view payload = fuzz::AsText(data + 1, size - 1);
    ChunkedPeer system(payload, data[0]);
    const Expected expected = Model(payload);

    std::vector<std::string> lines;
    LineFailure end{};
    {
        TcpLineChannel channel(system);
        channel.SetHost("127.0.0.1");
        channel.SetPort(listener.port);
        channel.SetReadTimeout(1000);
        channel.Connect();
        system.peer = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
        FUZZ_CHECK(system.peer >= 0, "accept");
        for (;;) {
            try {
                lines.push_back(channel.ReadLn());
            } catch (const LineChannelError& e) {
                end = e.Kind();
                break;
            }
            FUZZ_CHECK(lines.size() <= payload.size(), "every line takes at least its LF");
        }
        // A reset leaves no connection waiting out its close on either side, so a long run
        // does not use up the ephemeral ports.
        const linger reset{1, 0};
        ::setsockopt(system.peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(system.peer);
    }

    for (const std::string& line : lines) {
        FUZZ_CHECK(line.find('\n') == std::string::npos, "a ReadLn result never holds an LF");
        FUZZ_CHECK(fuzz::IsWellFormedUtf8(line), "a ReadLn result is well-formed UTF-8");
    }
    FUZZ_CHECK(lines == expected.lines, "the lines read are the lines sent");
    if (expected.tooLong) {
        FUZZ_CHECK(end == LineFailure::LineTooLong, "an over-long line is refused");
    } else {
        FUZZ_CHECK(end ==
                       ((data[0] & 1) ? LineFailure::ClosedGracefully : LineFailure::ReadTimedOut),
                   "reading ends as the peer ended");
    }
    return 0;
}
