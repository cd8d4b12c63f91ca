#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/scheduler.h"
#include "net/resolver.h"

namespace vesmera {

// What a lookup gives: the getaddrinfo code (0: found) and the addresses in its order.
struct LookupResult {
    int gaiCode = 0;
    std::vector<SocketAddress> addresses;
};
using LookupFunction = std::function<LookupResult(const std::string& host)>;
// The system's blocking lookup, for a thread of its own.
LookupResult SystemLookup(const std::string& host);

// Runs each lookup on a short-lived thread, since getaddrinfo cannot be cut short; the result
// comes back to the event loop through a pipe the scheduler watches, so done runs on the
// scheduler's thread. At most one thread per host is in flight: a dead name server costs one
// thread per name however often it is asked, and a result nobody waits for any more is
// dropped.
class ThreadResolver final : public IResolver {
public:
    explicit ThreadResolver(IScheduler& scheduler, LookupFunction lookup = SystemLookup);
    ~ThreadResolver() override;
    ThreadResolver(const ThreadResolver&) = delete;
    ThreadResolver& operator=(const ThreadResolver&) = delete;

    Ticket Resolve(const std::string& host, Done done) override;
    void Cancel(Ticket ticket) override;

    // Lookups whose thread has not yet reported.
    std::size_t InFlight() const { return inFlight_.size(); }

    struct Shared; // what the threads share with the resolver; outlives it while they run

private:
    void Deliver();

    LookupFunction lookup_;
    std::shared_ptr<Shared> shared_;
    ScheduledTask wake_;
    std::set<std::string> inFlight_;
    std::map<Ticket, std::pair<std::string, Done>> waiting_;
    Ticket next_ = 0;
};

} // namespace vesmera
