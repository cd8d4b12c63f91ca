#include "common/live_reading.h"

#include <vector>

#include <gtest/gtest.h>

namespace vesmera {
namespace {

class FakeReadingClock final : public IReadingClock {
public:
    std::int64_t SteadyMs() override { return steady; }
    std::int64_t WallMs() override { return wall; }
    std::int64_t steady = 5000;
    std::int64_t wall = 1'765'000'000'000;
};

class LiveReadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        reading.SetListener([this](const ReadingChange& change) { changes.push_back(change); });
    }

    static ShownReading Weight(double weight, std::int32_t status, const std::string& text) {
        return {weight, status, text, false};
    }
    static ShownReading Message(const std::string& text) { return {0, 0, text, true}; }

    FakeReadingClock clock;
    LiveReading reading{clock};
    std::vector<ReadingChange> changes;
};

TEST_F(LiveReadingTest, EachDifferenceIsOneChangeWithTheNextSequence) {
    reading.Observe(Weight(12.5, -5002, "12,5"));
    reading.Observe(Weight(12.5, -5002, "12,5"));
    clock.wall += 250;
    reading.Observe(Weight(12.6, -5003, "12,6"));
    reading.Observe(Weight(12.6, -5003, "12,6"));
    clock.wall += 250;
    // Only the status moves: still a change.
    reading.Observe(Weight(12.6, -5002, "12,6"));

    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].sequence, 1u);
    EXPECT_EQ(changes[1].sequence, 2u);
    EXPECT_EQ(changes[2].sequence, 3u);
    EXPECT_DOUBLE_EQ(changes[1].weight, 12.6);
    EXPECT_EQ(changes[1].status, -5003);
    EXPECT_EQ(changes[1].text, "12,6");
    EXPECT_EQ(changes[1].timeMs, clock.wall - 250);
    EXPECT_EQ(changes[2].status, -5002);
    EXPECT_EQ(reading.Last().sequence, 3u);
}

TEST_F(LiveReadingTest, AMessageReplacingTheWeightAndTheWeightReturningAreChanges) {
    reading.Observe(Weight(12.5, -5002, "12,5"));
    reading.Observe(Message("Нет связи"));
    reading.Observe(Message("Нет связи"));
    reading.Observe(Weight(12.5, -5002, "12,5"));
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[1].text, "Нет связи");
    EXPECT_EQ(changes[2].text, "12,5");
}

TEST_F(LiveReadingTest, TheFirstObservationIsAChangeEvenWhenAllIsZero) {
    reading.Observe(ShownReading{});
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].sequence, 1u);
}

TEST_F(LiveReadingTest, FreshOnlyAfterAGoodPollWithinThreePeriods) {
    reading.SetPollPeriod(500);
    reading.Observe(Weight(12.5, -5002, "12,5"));
    EXPECT_FALSE(reading.Fresh()) << "no poll has succeeded yet";

    reading.PollSucceeded();
    clock.steady += 1500;
    EXPECT_TRUE(reading.Fresh());
    clock.steady += 1;
    EXPECT_FALSE(reading.Fresh());
    reading.PollSucceeded();
    EXPECT_TRUE(reading.Fresh());
}

TEST_F(LiveReadingTest, FastPollsStayFreshForAtLeastOneSecond) {
    reading.SetPollPeriod(100);
    EXPECT_EQ(reading.StaleAfterMs(), 1000);
    reading.Observe(Weight(1, -5002, "1"));
    reading.PollSucceeded();
    clock.steady += 1000;
    EXPECT_TRUE(reading.Fresh());
    clock.steady += 1;
    EXPECT_FALSE(reading.Fresh());
}

TEST_F(LiveReadingTest, AMessageIsNeverFresh) {
    reading.Observe(Message("Ошибка порта"));
    reading.PollSucceeded();
    EXPECT_FALSE(reading.Fresh());
}

TEST_F(LiveReadingTest, TerminalComesFromTheSourceAndIsEmptyWithout) {
    EXPECT_EQ(reading.Terminal(), "");
    std::string selected = "Весы 1";
    reading.SetTerminalSource([&selected] { return selected; });
    EXPECT_EQ(reading.Terminal(), "Весы 1");
    selected = "Весы 2";
    EXPECT_EQ(reading.Terminal(), "Весы 2");
}

} // namespace
} // namespace vesmera
