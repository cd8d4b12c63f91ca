#include <netinet/in.h>

#include <atomic>
#include <future>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/thread_resolver.h"
#include "net_test_support.h"

namespace vesmera::test {
namespace {

using ::testing::ElementsAre;

struct LiteralRow {
    std::string host;
    int family; // 0: a host name
};

class LiteralTest : public ::testing::TestWithParam<LiteralRow> {};

TEST_P(LiteralTest, AddressLiteralsAreKnownWithoutALookup) {
    SocketAddress address;
    EXPECT_EQ(ParseAddressLiteral(GetParam().host, address), GetParam().family != 0);
    EXPECT_EQ(address.Family(), GetParam().family);
}

INSTANTIATE_TEST_SUITE_P(Rows, LiteralTest,
                         ::testing::Values(LiteralRow{"127.0.0.1", AF_INET},
                                           LiteralRow{"::1", AF_INET6},
                                           LiteralRow{"[::1]", AF_INET6},
                                           LiteralRow{"fe80::1:2", AF_INET6},
                                           LiteralRow{"[127.0.0.1]", 0}, LiteralRow{"[::1", 0},
                                           LiteralRow{"waage.lan", 0}, LiteralRow{"", 0}));

// Runs the scheduler until `done` holds, polling the resolver's pipe for real.
void AwaitDelivery(testing::FakeScheduler& scheduler, const std::function<bool()>& done) {
    for (int i = 0; i < kRealCapMs && !done(); ++i)
        scheduler.PumpDescriptors(1);
}

TEST(ThreadResolverTest, OneLookupPerHostAtATimeLaterAsksJoinItAndCancelledOnesHearNothing) {
    testing::FakeScheduler scheduler;
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    auto lookups = std::make_shared<std::atomic<int>>(0);
    ThreadResolver resolver(scheduler, [gate, lookups](const std::string&) {
        ++*lookups;
        gate.wait(); // a name server that does not answer until released
        return LookupResult{0, {Loopback4()}};
    });
    std::vector<std::string> heard;
    const auto listen = [&heard](std::string who) {
        return [&heard, who](int code, const std::vector<SocketAddress>& found) {
            heard.push_back(who + (code == 0 && found.size() == 1 ? " found" : " failed"));
        };
    };
    resolver.Resolve("waage.lan", listen("first"));
    const auto second = resolver.Resolve("waage.lan", listen("second"));
    resolver.Resolve("waage.lan", listen("third"));
    resolver.Cancel(second);
    EXPECT_EQ(resolver.InFlight(), 1u);

    release.set_value();
    AwaitDelivery(scheduler, [&] { return heard.size() == 2; });
    EXPECT_THAT(heard, ElementsAre("first found", "third found"));
    EXPECT_EQ(*lookups, 1);
    EXPECT_EQ(resolver.InFlight(), 0u);

    // A result that nobody waits for any more is dropped; the next ask looks up afresh.
    resolver.Cancel(resolver.Resolve("waage.lan", listen("gone")));
    AwaitDelivery(scheduler, [&] { return resolver.InFlight() == 0; });
    resolver.Resolve("waage.lan", listen("fourth"));
    AwaitDelivery(scheduler, [&] { return heard.size() == 3; });
    EXPECT_THAT(heard, ElementsAre("first found", "third found", "fourth found"));
    EXPECT_EQ(*lookups, 3);
}

TEST(ThreadResolverTest, TheSystemLookupFindsLocalhost) {
    const LookupResult local = SystemLookup("localhost");
    EXPECT_EQ(local.gaiCode, 0);
    EXPECT_FALSE(local.addresses.empty());
}

} // namespace
} // namespace vesmera::test
