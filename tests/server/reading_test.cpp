#include <gtest/gtest.h>

#include "server/reading.h"
#include "server/reading_json.h"

namespace vesmera {
namespace {

constexpr std::int64_t kAnsweredWall = 1796907600123; // 2026-12-10T13:00:00.123Z
constexpr AnswerTime kAnswered{kAnsweredWall, 5000};

struct ReadingRow {
    const char* name;
    SharedWeightState state;
    bool answered;
    std::string json;       // at steady time 5084
    std::string lineAnswer; // weight line and status line of a poll
};

class ReadingBuildTest : public ::testing::TestWithParam<ReadingRow> {};

// Every status from the link's state, and the same reading in JSON and on the line protocol.
TEST_P(ReadingBuildTest, RendersTheLinkState) {
    const auto& row = GetParam();
    const Reading r = BuildReading("Весы 1", row.state,
                                   row.answered ? std::optional(kAnswered) : std::nullopt, ',');
    EXPECT_EQ(ReadingJson(r, 5084).dump(), row.json);
    EXPECT_EQ(r.WeightLine() + " " + std::to_string(r.code), row.lineAnswer);
}

std::string Json(const char* middle, bool answered) {
    return std::string(R"({"terminal":"Весы 1","seq":0,)") + middle +
           (answered ? R"(,"time":"2026-12-10T13:00:00.123Z","age_ms":84})"
                     : R"(,"time":null,"age_ms":null})");
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, ReadingBuildTest,
    ::testing::Values(
        ReadingRow{"Starting",
                   {kNoTerminalLink, kStatusUnstable, 3},
                   false,
                   Json(R"("status":"starting","code":-5003,"value":null,"text":null,)"
                        R"("stable":false)",
                        false),
                   "-5001 -5003"},
        ReadingRow{"Stable",
                   {1234.56L, kStatusStable, 0},
                   true,
                   Json(R"("status":"stable","code":-5002,"value":1234.56,"text":"1234,56",)"
                        R"("stable":true)",
                        true),
                   "1234,56 -5002"},
        // A weight of 0 is a value like any other.
        ReadingRow{"UnstableZero",
                   {0, kStatusUnstable, 4},
                   true,
                   Json(R"("status":"unstable","code":-5003,"value":0.0,"text":"0",)"
                        R"("stable":false)",
                        true),
                   "0 -5003"},
        ReadingRow{"Negative",
                   {-0.5L, kStatusStable, 0},
                   true,
                   Json(R"("status":"stable","code":-5002,"value":-0.5,"text":"-0,5",)"
                        R"("stable":true)",
                        true),
                   "-0,5 -5002"},
        ReadingRow{"Overload",
                   {kNoTerminalLink, kStatusUnstable, 0},
                   true,
                   Json(R"("status":"overload","code":-5003,"value":null,"text":null,)"
                        R"("stable":false)",
                        true),
                   "-5001 -5003"},
        // Failures short of link loss after an overload leave the overload standing.
        ReadingRow{"OverloadThenFailures",
                   {kNoTerminalLink, kStatusUnstable, 10},
                   true,
                   Json(R"("status":"overload","code":-5003,"value":null,"text":null,)"
                        R"("stable":false)",
                        true),
                   "-5001 -5003"},
        ReadingRow{"LinkLost",
                   {kNoTerminalLink, kStatusUnstable, 11},
                   true,
                   Json(R"("status":"link_lost","code":-5003,"value":null,"text":null,)"
                        R"("stable":false)",
                        true),
                   "-5001 -5003"},
        ReadingRow{"LinkLostBeforeAnyAnswer",
                   {kNoTerminalLink, kStatusUnstable, 11},
                   false,
                   Json(R"("status":"link_lost","code":-5003,"value":null,"text":null,)"
                        R"("stable":false)",
                        false),
                   "-5001 -5003"},
        // The display keeps a stable status beside a port failure; a client is not told so.
        ReadingRow{"PortError",
                   {kPortFailed, kStatusStable, 0},
                   true,
                   Json(R"("status":"port_error","code":-5003,"value":null,"text":null,)"
                        R"("stable":false)",
                        true),
                   "-5006 -5003"}),
    [](const auto& info) { return info.param.name; });

TEST(ReadingJson, AgeNeverNegativeAndTimesInUtc) {
    Reading r = BuildReading("A", {1, kStatusStable, 0}, AnswerTime{0, 700}, '.');
    EXPECT_EQ(ReadingJson(r, 600)["age_ms"], 0); // answered later than asked: no negative age
    EXPECT_EQ(ReadingJson(r, 700)["time"], "1970-01-01T00:00:00.000Z");
    for (const auto& [ms, text] : std::vector<std::pair<std::int64_t, std::string>>{
             {951782400999, "2000-02-29T00:00:00.999Z"},
             {4102444799001, "2099-12-31T23:59:59.001Z"},
             {kAnsweredWall, "2026-12-10T13:00:00.123Z"}})
        EXPECT_EQ(UtcTimeText(ms), text);
}

TEST(ReadingTracker, SeqCountsStatusAndValueChangesAndNeverGoesBack) {
    ReadingTracker t(BuildReading("A", {kNoTerminalLink, kStatusUnstable, 0}, std::nullopt, ','));
    struct Step {
        SharedWeightState state;
        std::int64_t answeredAt;
        bool changed;
        std::uint64_t seq;
    };
    for (const Step& s : std::vector<Step>{{{5, kStatusStable, 0}, 100, true, 1},
                                           {{5, kStatusStable, 0}, 200, false, 1},
                                           {{5, kStatusUnstable, 0}, 300, true, 2},
                                           {{6, kStatusUnstable, 0}, 400, true, 3},
                                           {{kNoTerminalLink, kStatusUnstable, 0}, 500, true, 4},
                                           {{kNoTerminalLink, kStatusUnstable, 11}, 500, true, 5},
                                           {{kNoTerminalLink, kStatusUnstable, 11}, 500, false, 5},
                                           {{5, kStatusStable, 0}, 900, true, 6}}) {
        EXPECT_EQ(t.Update(BuildReading("A", s.state, AnswerTime{s.answeredAt, s.answeredAt}, ',')),
                  s.changed)
            << s.answeredAt;
        EXPECT_EQ(t.Current().seq, s.seq);
        // The newest answer time stands even when nothing counted.
        EXPECT_EQ(t.Current().answered->steadyMs, s.answeredAt);
    }
}

TEST(ReadingSubscribers, ListenersMayLeaveWhileBeingCalled) {
    ReadingSubscribers subscribers;
    std::vector<std::string> calls;
    ReadingSubscription first, second, third;
    first = subscribers.Subscribe([&](const Reading& r) {
        calls.push_back("first " + r.terminal);
        second.Reset(); // not yet called this round: skipped
    });
    second = subscribers.Subscribe([&](const Reading&) { calls.push_back("second"); });
    third = subscribers.Subscribe([&](const Reading& r) {
        calls.push_back("third " + r.terminal);
        third.Reset(); // leaves during its own call
    });
    Reading r;
    r.terminal = "A";
    subscribers.Publish(r);
    r.terminal = "B";
    subscribers.Publish(r);
    EXPECT_EQ(calls, (std::vector<std::string>{"first A", "third A", "first B"}));
    EXPECT_EQ(subscribers.Count(), 1u);

    // A subscription that outlives its subscribers ends quietly.
    auto gone = std::make_unique<ReadingSubscribers>();
    ReadingSubscription late = gone->Subscribe([](const Reading&) {});
    gone.reset();
    late.Reset();
}

} // namespace
} // namespace vesmera
