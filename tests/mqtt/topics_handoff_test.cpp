#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "server/mqtt/message_handoff.h"
#include "server/mqtt/mqtt_topics.h"

namespace vesmera {
namespace {

struct EscapeRow {
    const char* name;
    std::string terminal;
    std::string level;
};

void PrintTo(const EscapeRow& row, std::ostream* os) {
    *os << row.name;
}

class TopicEscapeTest : public ::testing::TestWithParam<EscapeRow> {};

// Each name has one level and each level made stands for its name again.
TEST_P(TopicEscapeTest, MapsOneToOne) {
    EXPECT_EQ(EscapeTopicLevel(GetParam().terminal), GetParam().level);
    EXPECT_EQ(UnescapeTopicLevel(GetParam().level), GetParam().terminal);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TopicEscapeTest,
    ::testing::Values(
        EscapeRow{"Plain", "Весы 1", "Весы 1"}, EscapeRow{"Wildcards", "a/b+#", "a%2Fb%2B%23"},
        EscapeRow{"PercentItself", "100%", "100%25"}, EscapeRow{"NotAnEscapeYet", "%2F", "%252F"},
        EscapeRow{"NulAndControls", std::string("a\0b\tc\x7F", 6), "a%00b%09c%7F"},
        EscapeRow{"C1Control", "x\xC2\x85y", "x%C2%85y"},
        EscapeRow{"NonCharacter", "\xEF\xBF\xBF", "%EF%BF%BF"},
        EscapeRow{"NotUtf8", "\xCF\xE5\xF1", "%CF%E5%F1"}, // Windows-1251 bytes
        EscapeRow{"Overlong", "\xC0\xAF", "%C0%AF"}, EscapeRow{"CutSequence", "\xD0", "%D0"},
        EscapeRow{"Emoji", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        EscapeRow{"Dollar", "$SYS", "$SYS"}),
    [](const auto& info) { return info.param.name; });

// Levels that escaping never makes stand for no name: a request naming one gets "unknown".
TEST(TopicEscape, RefusesLevelsEscapingNeverMakes) {
    for (std::string level : {"a%2fb", "%61", "a%", "a%2", "%G0", "a+b", "a#", "a/b", "%C3%A9"})
        EXPECT_EQ(UnescapeTopicLevel(level), std::nullopt) << level;
}

TEST(MqttTopics, LaysOutTheTopicsUnderThePrefix) {
    const MqttTopics topics("plant/line 2");
    EXPECT_EQ(topics.Status(), "plant/line 2/status");
    EXPECT_EQ(topics.Terminal("a/b"), "plant/line 2/terminals/a%2Fb");
    EXPECT_EQ(topics.ZeroFilter(), "plant/line 2/terminals/+/zero");
    EXPECT_EQ(topics.ZeroResult("a%2Fb"), "plant/line 2/terminals/a%2Fb/zero/result");
    EXPECT_EQ(topics.ZeroLevel("plant/line 2/terminals/a%2Fb/zero"), "a%2Fb");
    for (std::string other :
         {"plant/line 2/terminals/a/zero/result", "plant/line 2/terminals//zero",
          "plant/line 2/terminals/a/b/zero", "plant/line 3/terminals/a/zero", "plant/line 2/status",
          "plant/line 2/terminals/zero"})
        EXPECT_EQ(topics.ZeroLevel(other), std::nullopt) << other;
}

OutMessage Message(std::string topic, std::string payload) {
    return {std::move(topic), std::move(payload), 1, true};
}

// A topic keeps its turn while its message is replaced; only the latest goes, and each one
// replaced is counted.
TEST(MessageHandoff, KeepsTheLatestPerTopicInTheOrderTopicsCame) {
    MessageHandoff handoff(8);
    int wakes = 0;
    handoff.SetWake([&] { ++wakes; });
    EXPECT_TRUE(handoff.Offer(Message("t/a", "1")));
    EXPECT_TRUE(handoff.Offer(Message("t/b", "1")));
    EXPECT_TRUE(handoff.Offer(Message("t/a", "2")));
    EXPECT_TRUE(handoff.Offer(Message("t/a", "3")));
    EXPECT_EQ(wakes, 1); // only the offer that found it empty wakes the taker
    EXPECT_EQ(handoff.Waiting(), 2u);
    EXPECT_EQ(handoff.Coalesced(), 2u);
    EXPECT_EQ(handoff.Take(), Message("t/a", "3"));
    EXPECT_TRUE(handoff.Offer(Message("t/a", "4"))); // a new turn, behind t/b
    EXPECT_EQ(handoff.Take(), Message("t/b", "1"));
    EXPECT_EQ(handoff.Take(), Message("t/a", "4"));
    EXPECT_EQ(handoff.Take(), std::nullopt);
    EXPECT_TRUE(handoff.Offer(Message("t/c", "1")));
    EXPECT_EQ(wakes, 2);
}

TEST(MessageHandoff, RefusesNewTopicsPastItsCapacityButStillReplaces) {
    MessageHandoff handoff(2);
    EXPECT_TRUE(handoff.Offer(Message("a", "1")));
    EXPECT_TRUE(handoff.Offer(Message("b", "1")));
    EXPECT_FALSE(handoff.Offer(Message("c", "1")));
    EXPECT_TRUE(handoff.Offer(Message("b", "2")));
    EXPECT_EQ(handoff.Refused(), 1u);
    handoff.Reserve(3);
    EXPECT_TRUE(handoff.Offer(Message("c", "1")));
    handoff.Reserve(1); // never shrinks
    EXPECT_FALSE(handoff.Offer(Message("d", "1")));
    handoff.Clear();
    EXPECT_EQ(handoff.Waiting(), 0u);
    EXPECT_TRUE(handoff.Offer(Message("c", "1")));
    EXPECT_EQ(handoff.Take(), Message("c", "1"));
}

// The loop offering while the broker thread takes: per topic the payloads that go out only
// ever grow, and each topic's last one always goes out.
TEST(MessageHandoff, ThreadsNeverLoseTheLastMessageOfATopic) {
    constexpr int kTopics = 10, kRounds = 20000;
    MessageHandoff handoff(kTopics);
    std::atomic<bool> done{false};
    std::vector<int> last(kTopics, -1);
    bool ordered = true;
    std::thread taker([&] {
        for (;;) {
            const bool finished = done.load();
            while (auto m = handoff.Take()) {
                const int topic = std::stoi(m->topic), value = std::stoi(m->payload);
                ordered = ordered && value > last[topic];
                last[topic] = value;
            }
            if (finished)
                return;
        }
    });
    for (int i = 0; i < kRounds; ++i)
        EXPECT_TRUE(handoff.Offer(Message(std::to_string(i % kTopics), std::to_string(i))));
    done = true;
    taker.join();
    EXPECT_TRUE(ordered);
    for (int t = 0; t < kTopics; ++t)
        EXPECT_EQ(last[t], kRounds - kTopics + t);
}

} // namespace
} // namespace vesmera
