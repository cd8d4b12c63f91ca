#include "net/thread_resolver.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace vesmera {

struct ThreadResolver::Shared {
    std::mutex mutex;
    std::vector<std::pair<std::string, LookupResult>> finished;
    int pipe[2] = {-1, -1};
    ~Shared() {
        for (int fd : pipe)
            if (fd >= 0)
                ::close(fd);
    }
};

// Blocks for as long as the name service takes: it runs only on a lookup thread of its own
// (ThreadResolver::Resolve), never on the thread that runs the program's logic.
LookupResult SystemLookup(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    LookupResult result;
    result.gaiCode = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (result.gaiCode != 0)
        return result;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
            a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress address;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        result.addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    if (result.addresses.empty())
        result.gaiCode = EAI_NONAME;
    return result;
}

ThreadResolver::ThreadResolver(IScheduler& scheduler, LookupFunction lookup)
    : lookup_(std::move(lookup)), shared_(std::make_shared<Shared>()), wake_(scheduler) {
    if (::pipe2(shared_->pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "resolver pipe");
    wake_.WhenReadable(shared_->pipe[0], [this] { Deliver(); });
}

ThreadResolver::~ThreadResolver() = default;

IResolver::Ticket ThreadResolver::Resolve(const std::string& host, Done done) {
    const Ticket ticket = ++next_;
    waiting_.emplace(ticket, std::make_pair(host, std::move(done)));
    if (inFlight_.insert(host).second) {
        // The thread holds only the shared part, so a lookup that ends after the resolver is
        // gone writes into a pipe nobody reads and frees it.
        std::thread([shared = shared_, lookup = lookup_, host] {
            LookupResult result = lookup(host);
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->finished.emplace_back(host, std::move(result));
            const char byte = 1;
            [[maybe_unused]] const auto n = ::write(shared->pipe[1], &byte, 1);
        }).detach();
    }
    return ticket;
}

void ThreadResolver::Cancel(Ticket ticket) {
    waiting_.erase(ticket);
}

void ThreadResolver::Deliver() {
    char drain[64];
    while (::read(shared_->pipe[0], drain, sizeof drain) > 0) {
    }
    std::vector<std::pair<std::string, LookupResult>> finished;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        finished.swap(shared_->finished);
    }
    for (const auto& [host, result] : finished) {
        inFlight_.erase(host);
        std::vector<Ticket> tickets;
        for (const auto& [ticket, waiter] : waiting_)
            if (waiter.first == host)
                tickets.push_back(ticket);
        // Looked up again one by one: a done may cancel another waiter or start a new lookup.
        for (const Ticket ticket : tickets) {
            const auto it = waiting_.find(ticket);
            if (it == waiting_.end())
                continue;
            const Done done = std::move(it->second.second);
            waiting_.erase(it);
            done(result.gaiCode, result.addresses);
        }
    }
}

} // namespace vesmera
