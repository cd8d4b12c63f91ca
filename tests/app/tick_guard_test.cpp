#include "app/tick_guard.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace vesmera {
namespace {

TEST(TickGuard, ATickDueWhileTheHandlerRunsIsDropped) {
    TickGuard guard;
    int runs = 0;
    bool nestedRan = true;
    EXPECT_TRUE(guard.Run([&] {
        ++runs;
        nestedRan = guard.Run([&] { ++runs; }); // e.g. fired from a message box's loop
    }));
    EXPECT_FALSE(nestedRan);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(guard.Run([&] { ++runs; }));
    EXPECT_EQ(runs, 2);
}

TEST(TickGuard, AHandlerThatThrowsDoesNotBlockTheTimer) {
    TickGuard guard;
    EXPECT_THROW(guard.Run([] { throw std::runtime_error("x"); }), std::runtime_error);
    EXPECT_FALSE(guard.Running());
}

} // namespace
} // namespace vesmera
