#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <vector>

#include "server/address_slots.h"

namespace vesmera {
namespace {

sockaddr_storage Peer(const char* literal, std::uint16_t port) {
    sockaddr_storage ss{};
    if (std::string(literal).find(':') != std::string::npos) {
        auto& a6 = reinterpret_cast<sockaddr_in6&>(ss);
        a6.sin6_family = AF_INET6;
        a6.sin6_port = htons(port);
        ::inet_pton(AF_INET6, literal, &a6.sin6_addr);
    } else {
        auto& a4 = reinterpret_cast<sockaddr_in&>(ss);
        a4.sin_family = AF_INET;
        a4.sin_port = htons(port);
        ::inet_pton(AF_INET, literal, &a4.sin_addr);
    }
    return ss;
}

// Two places per address, whatever the port, with an IPv4 client on an IPv6 socket counted as
// the same address; a place comes free when its slot goes, also after the slot has moved.
TEST(AddressSlots, CountsEachAddressOverAllItsConnections) {
    AddressSlots slots(2);
    auto a = slots.Take(Peer("10.0.0.7", 1000));
    std::optional<AddressSlots::Slot> b = slots.Take(Peer("10.0.0.7", 2000));
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(slots.Take(Peer("10.0.0.7", 3000)));
    EXPECT_FALSE(slots.Take(Peer("::ffff:10.0.0.7", 4000)));
    EXPECT_EQ(slots.Held(Peer("::ffff:10.0.0.7", 0)), 2u);
    auto other = slots.Take(Peer("10.0.0.8", 1000));
    auto v6 = slots.Take(Peer("fe80::7", 1000));
    EXPECT_TRUE(other && v6);

    std::vector<AddressSlots::Slot> kept;
    kept.push_back(std::move(*b));
    b.reset();
    EXPECT_EQ(slots.Held(Peer("10.0.0.7", 0)), 2u); // the moved slot still holds its place
    kept.clear();
    EXPECT_EQ(slots.Held(Peer("10.0.0.7", 0)), 1u);
    EXPECT_TRUE(slots.Take(Peer("10.0.0.7", 5000)));
    a.reset();
    EXPECT_EQ(slots.Held(Peer("10.0.0.7", 0)), 0u);
}

TEST(AddressSlots, ZeroMeansNoLimit) {
    AddressSlots slots(0);
    std::vector<AddressSlots::Slot> held;
    for (int i = 0; i < 1000; ++i) {
        auto slot = slots.Take(Peer("127.0.0.1", static_cast<std::uint16_t>(i)));
        ASSERT_TRUE(slot);
        held.push_back(std::move(*slot));
    }
    EXPECT_EQ(slots.Held(Peer("127.0.0.1", 0)), 1000u);
}

} // namespace
} // namespace vesmera
