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

TEST(LoopbackPollerTest, AForwarderThatAcceptsAndClosesIsReportedWithinTwoTimer3Periods) {
    LoopbackRig rig;
    rig.StartTimers();
    ASSERT_GE(rig.RunUntil([&] { return rig.ShowsWeight("12,5"); }, 200), 0);
    rig.Run(1234); // anywhere in the Timer3 period
    rig.acceptAndClose = true;
    rig.DropConnections();
    const std::int64_t shown =
        rig.RunUntil([&] { return rig.ShowsMessage("Сервер не найден"); }, 2 * kTimer3);
    EXPECT_GT(shown, 0);
    EXPECT_LE(shown, 2 * kTimer3);
    const std::size_t weights = rig.indicator.history.size();
    rig.Run(3 * kTimer3);
    EXPECT_TRUE(rig.ShowsMessage("Сервер не найден")); // never the old weight as live again
    EXPECT_EQ(rig.indicator.history.size(), weights);
    EXPECT_GT(rig.accepted, 10);
}

struct NameRow {
    std::string name;
    std::string tab;
    std::string message;
};

class TabNameLoopbackTest : public ::testing::TestWithParam<NameRow> {};

TEST_P(TabNameLoopbackTest, NothingIsSentForANameThatWouldMakeAnotherRequest) {
    LoopbackRig rig;
    rig.tab = GetParam().tab;
    rig.StartTimers();
    rig.Run(2 * kTimer3 + 100);
    EXPECT_TRUE(rig.ShowsMessage(GetParam().message));
    EXPECT_TRUE(rig.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, TabNameLoopbackTest,
                         ::testing::Values(NameRow{"ZeroLookalike", "SetNullT2",
                                                   "Teрминал не найден"},
                                           NameRow{"CrLf", "T1\r\nSetNullT2", "Сервер не найден"}),
                         [](const auto& info) { return info.param.name; });

struct SeparatorRow {
    std::string name;
    std::string weight;
};

class SeparatorTest : public ::testing::TestWithParam<SeparatorRow> {};

TEST_P(SeparatorTest, EitherDecimalMarkIsAWeightShownAsReceived) {
    LoopbackRig rig;
    const std::string weight = GetParam().weight;
    rig.script = [weight](const std::string&, int) {
        return std::vector<ServerStep>{{0, weight + "\r\n-5002\r\n"}};
    };
    rig.StartTimers();
    EXPECT_GE(rig.RunUntil([&] { return rig.ShowsWeight(weight); }, 200), 0);
    rig.Run(2 * kTimer3);
    EXPECT_TRUE(rig.ShowsWeight(weight));
}

INSTANTIATE_TEST_SUITE_P(Rows, SeparatorTest,
                         ::testing::Values(SeparatorRow{"Comma", "12,5"},
                                           SeparatorRow{"FullStop", "12.5"},
                                           SeparatorRow{"NegativeFullStop", "-0.125"}),
                         [](const auto& info) { return info.param.name; });

struct HostileRow {
    std::string name;
    std::vector<ServerStep> first; // the answer to the first request; later ones are normal
    std::int64_t recoversWithin = 2 * kTimer3;
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
    EXPECT_GE(rig.RunUntil([&] { return rig.ShowsWeight("12,5"); }, row.recoversWithin), 0);
    // Nothing hostile was ever shown as a weight.
    EXPECT_THAT(rig.indicator.history, ::testing::Each(std::string("12,5")));
    EXPECT_LT(rig.client.BufferedBytes(), 1u << 20);
}

using Then = ServerStep::Then;

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileReplyTest,
    ::testing::Values(
        // A late status line, or one line too many: the connection is dropped and the next
        // tick starts in step, so no later reply is read one poll behind.
        HostileRow{"LateStatusLine", {{0, "12,5\r\n"}, {150, "-5002\r\n"}}, kTimer3},
        HostileRow{"ExtraLine", {{0, "99\r\n-5002\r\n-5003\r\n"}}, kTimer3},
        HostileRow{"ExtraLineLater", {{0, "12,5\r\n-5002\r\n"}, {50, "-5003\r\n"}}, kTimer3},
        HostileRow{"InvalidUtf8", {{0, "\xFF\xFE\xC0\r\n-5002\r\n"}}},
        HostileRow{"NulBytes", {{0, std::string("12\0,5\r\n-5002\r\n", 13)}}},
        HostileRow{"ResetMidLine", {{0, "12,", Then::Reset}}},
        HostileRow{"ResetAfterWeightLine", {{0, "12,5\r\n", Then::Reset}}},
        HostileRow{"OverLongLine", {{0, std::string(20000, 'x') + "\r\n-5002\r\n"}}},
        HostileRow{"NoLineEndAtAll", {{0, std::string(200000, '7')}}},
        HostileRow{"TrickleEvery90Ms",
                   {{0, "1"},  {90, "2"}, {90, "3"}, {90, "4"}, {90, "5"}, {90, "6"},
                    {90, "7"}, {90, "8"}, {90, "9"}, {90, "0"}, {90, "1"}, {90, "2"},
                    {90, "3"}, {90, "4"}, {90, "5"}, {90, "6"}, {90, "7"}, {90, "8"},
                    {90, "9"}, {90, "0"}, {90, "1"}, {90, "2"}, {90, "3"}, {0, "", Then::Close}}}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace vesmera::test
