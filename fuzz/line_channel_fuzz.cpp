// TcpLineChannel::ReadLn fed by a peer on loopback whose bytes arrive in chunks the input
// chooses, on a fake scheduler. Every line read matches the bytes up to its LF (one CR before it
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
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../tests/support/fake_scheduler.h"
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

// The peer hands over its next chunk only when the channel waits for bytes and nothing else
// can happen, so the chunking is exactly the input's. Out of chunks it closes its side, or lets
// the fake time run out.
class ChunkedPeer {
public:
    ChunkedPeer(std::string_view payload, std::uint8_t pattern)
        : payload_(payload), pattern_(pattern) {}

    int peer = -1;

    // False when the peer has nothing more to do: only a time-out can end the read now.
    bool Act() {
        if (sent_ < payload_.size()) {
            SendNext();
            return true;
        }
        if ((pattern_ & 1) && !shut_) {
            ::shutdown(peer, SHUT_WR);
            shut_ = true;
            return true;
        }
        return false;
    }

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
};

// Only address literals are used here, and those never reach a resolver.
class NoResolver final : public IResolver {
public:
    Ticket Resolve(const std::string&, Done) override {
        FUZZ_CHECK(false, "a literal address needs no lookup");
        return 0;
    }
    void Cancel(Ticket) override {}
};

// Runs one channel operation to its end: what is due now first, then bytes already on their
// way, then the peer's next move, and only when none is left does the fake clock move on.
LineResult Drive(testing::FakeScheduler& scheduler, ChunkedPeer& peer,
                 const std::function<void(LineDone)>& start) {
    std::optional<LineResult> result;
    start([&result](const LineResult& r) { result = r; });
    for (int round = 0; !result; ++round) {
        FUZZ_CHECK(round < 1000000, "the operation ends");
        scheduler.Advance(0);
        if (result || scheduler.PumpDescriptors(0) > 0)
            continue;
        if (peer.Act()) {
            // What the peer just did reaches the channel's socket almost at once.
            scheduler.PumpDescriptors(kRealCapMs);
            continue;
        }
        FUZZ_CHECK(scheduler.RunNextTimer(), "a silent peer ends in a time-out");
    }
    return *result;
}

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
    ChunkedPeer peer(payload, data[0]);
    const Expected expected = Model(payload);

    std::vector<std::string> lines;
    LineFailure end{};
    {
        testing::FakeScheduler scheduler;
        NoResolver resolver;
        TcpLineChannel channel(scheduler, resolver);
        channel.SetHost("127.0.0.1");
        channel.SetPort(listener.port);
        channel.SetReadTimeout(1000);
        // A loopback connect completes against the listener's backlog, before the accept.
        ChunkedPeer idle("", 0);
        const LineResult connected =
            Drive(scheduler, idle, [&](LineDone done) { channel.Connect(std::move(done)); });
        FUZZ_CHECK(connected.Ok(), "connect");
        peer.peer = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
        FUZZ_CHECK(peer.peer >= 0, "accept");
        for (;;) {
            const LineResult r =
                Drive(scheduler, peer, [&](LineDone done) { channel.ReadLn(std::move(done)); });
            if (!r.Ok()) {
                end = r.error->Kind();
                break;
            }
            lines.push_back(r.line);
            FUZZ_CHECK(lines.size() <= payload.size(), "every line takes at least its LF");
        }
        // A reset leaves no connection waiting out its close on either side, so a long run
        // does not use up the ephemeral ports.
        const linger reset{1, 0};
        ::setsockopt(peer.peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(peer.peer);
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
