#include "server/line_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "common/exception.h"
#include "server/client_notes.h"
#include "server/request_handler.h"
#include "server/server_config.h"

namespace vesmera {

namespace {

constexpr int kAcceptsPerRound = 64; // other clients get their turn between bursts
constexpr int kReadsPerRound = 4;    // likewise for one busy client
constexpr std::size_t kReadChunk = 16384;
// A peer that stops answering is dropped after about 60 + 5 × 10 seconds.
constexpr int kKeepIdleS = 60, kKeepIntervalS = 10, kKeepCount = 5;

void SetOption(int fd, int level, int name, int value) {
    // Best effort: a socket without keepalive or with Nagle still serves correctly.
    static_cast<void>(::setsockopt(fd, level, name, &value, sizeof value));
}

} // namespace

struct LineServer::Listener {
    Listener(IScheduler& scheduler, int socket, const ListenAddress& configured)
        : fd(socket), address(configured), accepting(scheduler) {}
    ~Listener() {
        accepting.Cancel();
        ::close(fd);
    }
    int fd;
    ListenAddress address; // as configured: port 0 stays 0 whatever the system chose
    sockaddr_storage bound{};
    ScheduledTask accepting;
};

struct LineServer::Client {
    Client(IScheduler& scheduler, int socket, std::string address, AddressSlots::Slot place)
        : fd(socket), peer(std::move(address)), slot(std::move(place)), reading(scheduler),
          writing(scheduler), stall(scheduler) {}
    ~Client() {
        reading.Cancel();
        writing.Cancel();
        stall.Cancel();
        ::close(fd);
    }
    std::size_t Unsent() const { return output.size() - sent; }

    int fd;
    std::string peer;
    std::optional<AddressSlots::Slot> slot; // given back when the client is closed
    std::string input;  // requests not yet answered: the part of a line not yet ended, and
                        // whole lines while the client is held
    std::string output; // replies, of which the first `sent` bytes are gone
    std::size_t sent = 0;
    bool peerDone = false;        // the client has shut down its side; close once all is sent
    bool closed = false;          // waits to be freed; nothing more is read, written or answered
    bool held = false;            // over the output limit: not read until it takes its replies
    std::int64_t lastTakenMs = 0; // when the client last took reply bytes while held
    ScheduledTask reading;
    ScheduledTask writing;
    ScheduledTask stall;
};

LineServer::LineServer(IScheduler& scheduler, RequestHandler& handler, ClientNotes& notes,
                       AddressSlots& slots, ServerLimits limits)
    : scheduler_(scheduler), handler_(handler), notes_(notes), slots_(slots),
      limits_(std::move(limits)), reaper_(scheduler),
      spareFd_(::open("/dev/null", O_RDONLY | O_CLOEXEC)) {}

LineServer::~LineServer() {
    reaper_.Cancel();
    closed_.clear();
    bound_.clear();
    clients_.clear();
    listeners_.clear();
    if (spareFd_ >= 0)
        ::close(spareFd_);
}

sockaddr_storage LineServer::Listen(const ListenAddress& address) {
    auto listener = Bind(address);
    Listener& l = *listener;
    l.accepting.WhenReadable(l.fd, [this, &l] { Accept(l); });
    listeners_.push_back(std::move(listener));
    return l.bound;
}

std::unique_ptr<LineServer::Listener> LineServer::Bind(const ListenAddress& address) {
    sockaddr_storage bound{};
    const int fd = OpenListenSocket(address, bound);
    auto listener = std::make_unique<Listener>(scheduler_, fd, address);
    listener->bound = bound;
    return listener;
}

void LineServer::Prepare(const ServerConfig& next) {
    std::vector<std::unique_ptr<Listener>> bound;
    for (const auto& address : next.listen) {
        const bool held =
            std::any_of(listeners_.begin(), listeners_.end(),
                        [&](const auto& listener) { return listener->address == address; });
        if (!held)
            bound.push_back(Bind(address)); // a failure closes those bound so far
    }
    bound_ = std::move(bound);
    next_ = std::make_unique<ServerConfig>(next);
}

void LineServer::Abandon() {
    bound_.clear();
    next_.reset();
}

namespace {

std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? "none" : text;
}

} // namespace

void LineServer::Commit(std::vector<std::string>& changes) {
    if (!next_)
        return;
    const std::unique_ptr<ServerConfig> next = std::move(next_);
    std::vector<std::string> closed, opened;
    std::erase_if(listeners_, [&](const std::unique_ptr<Listener>& listener) {
        const bool gone = std::find(next->listen.begin(), next->listen.end(), listener->address) ==
                          next->listen.end();
        if (gone)
            closed.push_back(FormatEndpoint(listener->bound));
        return gone;
    });
    for (auto& listener : bound_) {
        Listener& l = *listener;
        l.accepting.WhenReadable(l.fd, [this, &l] { Accept(l); });
        opened.push_back(FormatEndpoint(l.bound));
        if (listening_)
            listening_(l.bound);
        listeners_.push_back(std::move(listener));
    }
    bound_.clear();
    if (!opened.empty() || !closed.empty())
        changes.push_back("Listen: opened " + Listed(opened) + ", closed " + Listed(closed));
    const auto maxClients = static_cast<std::size_t>(next->maxClients);
    if (maxClients != limits_.maxClients)
        changes.push_back("MaxClients " + std::to_string(maxClients));
    if (next->allow != limits_.allow)
        changes.push_back("Allow changed");
    // For connections from now on; the clients already in stay.
    limits_.maxClients = maxClients;
    limits_.allow = next->allow;
}

void LineServer::Accept(Listener& listener) {
    for (int i = 0; i < kAcceptsPerRound; ++i) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listener.fd, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            Admit(fd, peer);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
            continue;
        if ((errno == EMFILE || errno == ENFILE) && spareFd_ >= 0) {
            // Out of descriptors: the waiting client would keep the listener readable for
            // ever. A spare descriptor is given up to take it and close it at once.
            ::close(spareFd_);
            const int taken = ::accept(listener.fd, nullptr, nullptr);
            if (taken >= 0)
                ::close(taken);
            spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            notes_.Note(ClientNote::NoDescriptor,
                        "client refused: the server has no descriptor left");
        }
        return;
    }
}

void LineServer::Admit(int fd, const sockaddr_storage& peer) {
    const std::string address = FormatEndpoint(peer);
    if (!limits_.allow.empty() &&
        std::none_of(limits_.allow.begin(), limits_.allow.end(),
                     [&](const AddressRange& range) { return range.Contains(peer); })) {
        ::close(fd);
        notes_.Note(ClientNote::NotAllowed, "client " + address + " refused: not in Allow");
        return;
    }
    if (clients_.size() >= limits_.maxClients) {
        ::close(fd);
        notes_.Note(ClientNote::ServerFull, "client " + address + " refused: MaxClients (" +
                                                std::to_string(limits_.maxClients) + ") reached");
        return;
    }
    auto slot = slots_.Take(peer);
    if (!slot) {
        ::close(fd);
        notes_.Note(ClientNote::AddressFull, "client " + address +
                                                 " refused: MaxClientsPerAddress (" +
                                                 std::to_string(slots_.PerAddress()) + ") reached");
        return;
    }
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleS);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalS);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
    auto client = std::make_unique<Client>(scheduler_, fd, address, std::move(*slot));
    Client& c = *client;
    clients_[fd] = std::move(client);
    c.reading.WhenReadable(fd, [this, &c] { OnReadable(c); });
}

void LineServer::OnReadable(Client& client) {
    char buffer[kReadChunk];
    for (int round = 0; round < kReadsPerRound && !client.held; ++round) {
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n < 0) {
            Close(client); // reset by the peer: it has gone, nothing to say
            return;
        }
        if (n == 0) {
            // The client is done sending; what it asked is still answered.
            client.peerDone = true;
            client.reading.Cancel();
            break;
        }
        client.input.append(buffer, static_cast<std::size_t>(n));
        if (!ServeLines(client))
            return;
        if (static_cast<std::size_t>(n) < sizeof buffer)
            break;
    }
    Flush(client);
}

bool LineServer::ServeLines(Client& client) {
    std::size_t start = 0;
    for (std::size_t end; client.Unsent() <= limits_.outputLimit &&
                          (end = client.input.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::string_view line(client.input.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > limits_.lineLimit) {
            Drop(client, ClientNote::LineTooLong,
                 "line longer than " + std::to_string(limits_.lineLimit) + " bytes");
            return false;
        }
        client.output += handler_.Handle(line, client.peer);
    }
    client.input.erase(0, start);
    if (client.Unsent() > limits_.outputLimit) {
        Hold(client);
        return true;
    }
    // What is left is part of one line. A CR may still come before the LF, so one byte more
    // waits.
    if (client.input.size() > limits_.lineLimit + 1) {
        Drop(client, ClientNote::LineTooLong,
             "line longer than " + std::to_string(limits_.lineLimit) + " bytes");
        return false;
    }
    return true;
}

void LineServer::Hold(Client& client) {
    if (client.held)
        return;
    client.held = true;
    client.reading.Cancel();
    client.lastTakenMs = scheduler_.NowMs();
    client.stall.After(limits_.stallMs, [this, &client] { CheckStall(client); });
}

void LineServer::CheckStall(Client& client) {
    const std::int64_t idle = scheduler_.NowMs() - client.lastTakenMs;
    if (idle < limits_.stallMs) {
        client.stall.After(static_cast<std::uint32_t>(limits_.stallMs - idle),
                           [this, &client] { CheckStall(client); });
        return;
    }
    Drop(client, ClientNote::RepliesNotRead,
         "replies not read for " + std::to_string(limits_.stallMs / 1000) + " s (" +
             std::to_string(client.Unsent()) + " bytes unsent)");
}

void LineServer::Flush(Client& client) {
    while (client.Unsent() > 0) {
        const ssize_t n =
            ::send(client.fd, client.output.data() + client.sent, client.Unsent(), MSG_NOSIGNAL);
        if (n > 0) {
            client.sent += static_cast<std::size_t>(n);
            client.lastTakenMs = scheduler_.NowMs();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        Close(client); // the peer is gone
        return;
    }
    // Keep the buffer from growing by the part already gone.
    if (client.sent > client.output.size() / 2) {
        client.output.erase(0, client.sent);
        client.sent = 0;
    }
    if (client.held && client.Unsent() <= limits_.outputLimit) {
        // Taken enough: the requests that waited are answered, and reading goes on unless
        // they pass the limit again.
        client.held = false;
        client.stall.Cancel();
        if (!ServeLines(client))
            return;
        if (!client.held && !client.peerDone)
            client.reading.WhenReadable(client.fd, [this, &client] { OnReadable(client); });
    }
    if (client.Unsent() > 0) {
        if (!client.writing.Pending())
            client.writing.WhenWritable(client.fd, [this, &client] { Flush(client); });
        return;
    }
    client.writing.Cancel();
    if (client.peerDone)
        Close(client);
}

void LineServer::Drop(Client& client, ClientNote kind, const std::string& reason) {
    notes_.Note(kind, "client " + client.peer + " dropped: " + reason);
    Close(client);
}

void LineServer::Close(Client& client) {
    if (client.closed)
        return;
    client.closed = true;
    client.reading.Cancel();
    client.writing.Cancel();
    client.stall.Cancel();
    client.slot.reset(); // the address may connect again at once
    auto it = clients_.find(client.fd);
    closed_.push_back(std::move(it->second));
    clients_.erase(it);
    if (!reaper_.Pending())
        reaper_.After(0, [this] { closed_.clear(); });
}

} // namespace vesmera
