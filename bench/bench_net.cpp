// One Timer2 poll on an open loopback connection to a server that answers at once.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "../tests/support/fake_scheduler.h"
#include "net/network_poller.h"
#include "net/socket_system.h"
#include "net/tcp_line_channel.h"

namespace {

using namespace vesmera;

struct NullIndicator final : IIndicatorView {
    std::string text;
    void SetIndicatorString(const std::string& t) override { text = t; }
    std::string IndicatorString() const { return text; }
    void SetNumberForeColor(TColor) override {}
    void SetVisible(bool) override {}
    bool IsVisible() const { return true; }
};

struct NullMessage final : IMessageView {
    std::string text;
    void SetText(const std::string& t) override { text = t; }
    std::string Text() const { return text; }
    void SetVisible(bool) override {}
    bool IsVisible() const { return false; }
};

struct NoLookups final : IResolver {
    Ticket Resolve(const std::string&, Done) override { return 0; }
    void Cancel(Ticket) override {}
};

// Answers every request line with a weight line and a status line, on one connection.
class InstantServer {
public:
    InstantServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~InstantServer() {
        ::shutdown(listener_, SHUT_RDWR);
        if (peer_ >= 0) {
            ::shutdown(peer_, SHUT_RDWR);
        }
        thread_.join();
        ::close(listener_);
        if (peer_ >= 0) {
            ::close(peer_);
        }
    }
    std::uint16_t Port() const { return port_; }

private:
    void Serve() {
        peer_ = ::accept(listener_, nullptr, nullptr);
        if (peer_ < 0) {
            return;
        }
        const int one = 1;
        ::setsockopt(peer_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const std::string reply = "12,5\r\n-5002\r\n";
        char bytes[4096];
        for (;;) {
            const long n = ::recv(peer_, bytes, sizeof bytes, 0);
            if (n <= 0) {
                return;
            }
            for (long i = 0; i < n; ++i) {
                if (bytes[i] == '\n') {
                    ::send(peer_, reply.data(), reply.size(), MSG_NOSIGNAL);
                }
            }
        }
    }

    int listener_ = -1;
    std::atomic<int> peer_{-1};
    std::uint16_t port_ = 0;
    std::thread thread_;
};

void BM_Timer2PollOnOpenConnection(benchmark::State& state) {
    IgnoreSigpipe();
    InstantServer server;
    // The fake scheduler's descriptor pump is a small event loop of its own; no timer falls
    // due while the server answers at once.
    testing::FakeScheduler scheduler;
    NoLookups resolver;
    TcpLineChannel client(scheduler, resolver);
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetConnectTimeout(100);
    client.SetReadTimeout(100);
    client.SetNagle(false);
    // Runs the event loop until nothing is in flight.
    const auto settle = [&scheduler](const std::function<bool()>& busy) {
        while (scheduler.NextDueIn() == 0 || busy()) {
            scheduler.Advance(0);
            scheduler.PumpDescriptors(busy() ? 100 : 0);
        }
    };
    bool connecting = true;
    client.Connect([&connecting](const LineResult&) { connecting = false; });
    settle([&connecting] { return connecting; });
    HeldSettings settings;
    NullIndicator indicator;
    NullMessage message;
    NetworkPoller poller(client, settings, [] { return std::optional<std::string>("Весы 1"); });
    poller.SetReadingListener(
        [&](const PollReading& reading) { RenderReading(reading, indicator, message); });
    for (auto _ : state) {
        poller.Timer2Tick();
        settle([&poller] { return poller.Busy(); });
    }
    if (indicator.text != "12,5" || !message.text.empty()) {
        state.SkipWithError("the poll did not show the reading");
    }
}
BENCHMARK(BM_Timer2PollOnOpenConnection)->Unit(benchmark::kMicrosecond)->Repetitions(5);

} // namespace

BENCHMARK_MAIN();
