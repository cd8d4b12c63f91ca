#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "loopback_rig.h"

namespace vesmera::test {
namespace {

constexpr std::int64_t kTimer3 = 3000;

TEST(LoopbackPollerTest, ServerDownAtStartThenUpWithoutATickEverWaiting) {
    LoopbackRig rig;
    rig.client.SetPort(RefusedPort());
    rig.StartTimers();
    rig.Run(100);
    // A refused connect ends at once: nothing is in flight between ticks.
    EXPECT_FALSE(rig.poller->Busy());
    rig.Run(kTimer3 - 200);
    EXPECT_EQ(rig.indicator.text, "-------");
    EXPECT_EQ(rig.message.shows, 0);
    rig.Run(100);
    EXPECT_TRUE(rig.ShowsMessage("Сервер не найден"));

    rig.client.SetPort(rig.server.Port());
    EXPECT_EQ(rig.RunUntil([&] { return rig.ShowsWeight("12,5"); }, 100), 100);
    EXPECT_EQ(rig.indicator.color, clGreen);
    EXPECT_EQ(rig.lines, std::vector<std::string>{"T1"});
}

TEST(LoopbackPollerTest, ANameServerThatNeverAnswersIsReportedAtTheFirstTimer3Tick) {
    LoopbackRig rig;
    rig.client.SetHost("silent.lan");
    rig.StartTimers();
    rig.Run(kTimer3 - 1);
    EXPECT_EQ(rig.message.shows, 0);
    // The Timer3 tick waits for the Timer2 connect in flight, then its own connect runs out.
    const std::int64_t shown =
        rig.RunUntil([&] { return rig.ShowsMessage("Сервер не найден"); }, 1000);
    EXPECT_GT(shown, 0);
    EXPECT_LE(shown, 1 + 100 + 100);
    EXPECT_EQ(rig.accepted, 0);
}

TEST(LoopbackPollerTest, ALateReplyOnlyFailsItsOwnPoll) {
    LoopbackRig rig;
    rig.script = [](const std::string&, int n) {
        return std::vector<ServerStep>{{n == 0 ? 150 : 0, "12,5\r\n-5002\r\n"}};
    };
    rig.StartTimers();
    EXPECT_GE(rig.RunUntil([&] { return rig.WasShown("Сервер не найден"); }, 500), 0);
    EXPECT_GE(rig.RunUntil([&] { return rig.ShowsWeight("12,5"); }, 500), 0);
}

struct HostileRow {
    std::string name;
    std::vector<ServerStep> first; // the answer to the first request; later ones are normal
};

class HostileReplyTest : public ::testing::TestWithParam<HostileRow> {};

TEST_P(HostileReplyTest, ShowsServerNotFoundThenTheWeightWithinTwoTimer3Periods) {
    LoopbackRig rig;
    const HostileRow& row = GetParam();
    rig.script = [&row](const std::string& line, int n) {
        return n == 0 ? row.first : AnswersNormally(line, n);
    };
    rig.StartTimers();
    EXPECT_GE(rig.RunUntil([&] { return rig.WasShown("Сервер не найден"); }, kTimer3), 0);
    EXPECT_GE(rig.RunUntil([&] { return rig.ShowsWeight("12,5"); }, 2 * kTimer3), 0);
    // Nothing hostile was ever shown as a weight.
    EXPECT_THAT(rig.indicator.history, ::testing::Each(std::string("12,5")));
    EXPECT_LT(rig.client.BufferedBytes(), 1u << 20);
}

using Then = ServerStep::Then;

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileReplyTest,
    ::testing::Values(HostileRow{"InvalidUtf8", {{0, "\xFF\xFE\xC0\r\n-5002\r\n"}}},
                      HostileRow{"NulBytes", {{0, std::string("12\0,5\r\n-5002\r\n", 13)}}},
                      HostileRow{"ResetMidLine", {{0, "12,", Then::Reset}}},
                      HostileRow{"ResetAfterWeightLine", {{0, "12,5\r\n", Then::Reset}}},
                      HostileRow{"OverLongLine", {{0, std::string(20000, 'x') + "\r\n-5002\r\n"}}},
                      HostileRow{"NoLineEndAtAll", {{0, std::string(200000, '7')}}},
                      HostileRow{"TrickleEvery90Ms",
                                 {{0, "1"},  {90, "2"}, {90, "3"}, {90, "4"},           {90, "5"},
                                  {90, "6"}, {90, "7"}, {90, "8"}, {90, "9"},           {90, "0"},
                                  {90, "1"}, {90, "2"}, {90, "3"}, {90, "4"},           {90, "5"},
                                  {90, "6"}, {90, "7"}, {90, "8"}, {90, "9"},           {90, "0"},
                                  {90, "1"}, {90, "2"}, {90, "3"}, {0, "", Then::Close}}}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace vesmera::test
