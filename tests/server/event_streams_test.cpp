#include <gtest/gtest.h>

#include "server/client_notes.h"
#include "server/http/event_streams.h"
#include "server/reading_json.h"
#include "server_fakes.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using testing::FakeLog;
using testing::FakeReadings;
using testing::FakeScheduler;

constexpr std::int64_t kWallAtStart = 1796907600000; // 2026-12-10T13:00:00Z

Reading Stable(const std::string& name, long double weight, std::uint64_t seq, std::int64_t at) {
    Reading r =
        BuildReading(name, {weight, kStatusStable, 0}, AnswerTime{kWallAtStart + at, at}, ',');
    r.seq = seq;
    return r;
}

// Two terminals, the streams' wake calls counted per stream.
struct Streams {
    explicit Streams(std::size_t maxStreams = 10, std::size_t outputLimit = kStreamOutputLimit)
        : streams(
              terminals, clock, [this] { return kWallAtStart + clock.NowMs(); }, notes, refused,
              maxStreams, outputLimit) {
        terminals.readings = {Stable("Весы 1", 5, 3, 0),
                              BuildReading("B", {kPortFailed, 0, 0}, std::nullopt, ',')};
    }
    EventStream* Open(std::optional<std::string> terminal) {
        const std::size_t index = wakes.size();
        wakes.push_back(0);
        return streams.Open(StreamTarget{std::move(terminal)}, "10.0.0.9:5555",
                            [this, index] { ++wakes[index]; });
    }
    static std::string ReadAll(EventStream* s, std::size_t chunk = 7) {
        std::string out;
        char buffer[64];
        for (std::size_t n; (n = s->Read(buffer, chunk)) > 0;)
            out.append(buffer, n);
        return out;
    }
    FakeScheduler clock;
    FakeReadings terminals;
    FakeLog log;
    ClientNotes notes{clock, log};
    LabelledCounter refused;
    std::vector<int> wakes;
    EventStreams streams;
};

std::string Event(const Reading& r, bool all, std::int64_t now) {
    return "event: reading\nid: " + (all ? r.terminal + ":" : std::string()) +
           std::to_string(r.seq) + "\ndata: " + ReadingJson(r, now).dump() + "\n\n";
}

TEST(EventStreams, CurrentReadingsThenChangesThenHeartbeats) {
    Streams s;
    s.clock.Advance(20);
    EventStream* all = s.Open(std::nullopt);
    EventStream* one = s.Open("Весы 1");
    ASSERT_TRUE(all && one);
    // On connect, one event per terminal with its state now; ids carry the name on the
    // all-terminals stream.
    EXPECT_EQ(Streams::ReadAll(all), "event: reading\nid: Весы 1:3\ndata: " +
                                         ReadingJson(s.terminals.readings[0], 20).dump() +
                                         "\n\nevent: reading\nid: B:0\ndata: " +
                                         ReadingJson(s.terminals.readings[1], 20).dump() + "\n\n");
    EXPECT_EQ(Streams::ReadAll(one), Event(s.terminals.readings[0], false, 20));

    s.clock.Advance(500);
    const Reading lost = [] {
        Reading r = BuildReading("B", {kNoTerminalLink, kStatusUnstable, 11}, std::nullopt, ',');
        r.seq = 1;
        return r;
    }();
    s.terminals.Change(lost);
    s.terminals.Change(Stable("Весы 1", 6.5, 4, 510));
    EXPECT_EQ(Streams::ReadAll(all),
              Event(lost, true, 520) + Event(Stable("Весы 1", 6.5, 4, 510), true, 520));
    EXPECT_EQ(Streams::ReadAll(one), Event(Stable("Весы 1", 6.5, 4, 510), false, 520));

    // Heartbeats come each second from the first opening, with the wall clock's time.
    s.clock.Advance(499);
    EXPECT_EQ(Streams::ReadAll(one), "");
    s.clock.Advance(1);
    const std::string beat = "event: heartbeat\ndata: {\"time\":\"2026-12-10T13:00:01.020Z\"}\n\n";
    EXPECT_EQ(Streams::ReadAll(all), beat);
    EXPECT_EQ(Streams::ReadAll(one), beat);
    s.clock.Advance(1000);
    EXPECT_EQ(Streams::ReadAll(one),
              "event: heartbeat\ndata: {\"time\":\"2026-12-10T13:00:02.020Z\"}\n\n");

    // With the last stream closed no heartbeat is due.
    s.streams.Close(all);
    s.streams.Close(one);
    EXPECT_EQ(s.streams.Count(), 0u);
    EXPECT_FALSE(s.clock.RunNextTimer());
}

// The network layer is woken only for a stream whose last read found nothing, once until it
// reads again.
TEST(EventStreams, WakesAStreamOnlyWhenItWaits) {
    Streams s;
    EventStream* stream = s.Open("Весы 1");
    s.terminals.Change(Stable("Весы 1", 7, 4, 0));
    EXPECT_EQ(s.wakes[0], 0); // not yet read to the end
    Streams::ReadAll(stream);
    s.terminals.Change(Stable("Весы 1", 8, 5, 0));
    s.terminals.Change(Stable("Весы 1", 9, 6, 0));
    s.terminals.Change(Stable("B", 1, 1, 0)); // not this stream's terminal
    EXPECT_EQ(s.wakes[0], 1);
    EXPECT_EQ(Streams::ReadAll(stream, 64), Event(Stable("Весы 1", 8, 5, 0), false, 0) +
                                                Event(Stable("Весы 1", 9, 6, 0), false, 0));
    s.clock.Advance(1000);
    EXPECT_EQ(s.wakes[0], 2);
}

TEST(EventStreams, AStreamThatDoesNotReadIsDroppedAtItsLimit) {
    Streams s(10, 1000);
    EventStream* slow = s.Open("Весы 1");
    EventStream* quick = s.Open("Весы 1");
    std::size_t sent = Streams::ReadAll(quick).size();
    std::uint64_t seq = 4;
    while (!slow->Dropped()) {
        ASSERT_LT(seq, 100u);
        s.terminals.Change(Stable("Весы 1", static_cast<long double>(seq), seq, 0));
        sent += Streams::ReadAll(quick).size();
        ++seq;
    }
    EXPECT_GT(sent, 1000u);   // the client that reads is not held to the limit
    EXPECT_EQ(s.wakes[0], 1); // told at once, though it never read to the end
    EXPECT_EQ(s.refused.Count("unread"), 1u);
    EXPECT_EQ(s.log.lines,
              std::vector<std::string>{"event stream of 10.0.0.9:5555 dropped: more than 1000 "
                                       "bytes unread"});
    char buffer[16];
    EXPECT_EQ(slow->Read(buffer, sizeof buffer), 0u);
    s.terminals.Change(Stable("Весы 1", 1, 99, 0));
    EXPECT_EQ(s.wakes[0], 1);
    EXPECT_EQ(s.log.lines.size(), 1u);
}

TEST(EventStreams, MaxStreamsAreOpenAtMost) {
    Streams s(2);
    EventStream* first = s.Open(std::nullopt);
    ASSERT_TRUE(s.Open("B"));
    EXPECT_EQ(s.Open(std::nullopt), nullptr);
    EXPECT_EQ(s.refused.Count("streams"), 1u);
    s.streams.Close(first);
    EXPECT_TRUE(s.Open(std::nullopt));
    s.streams.SetMaxStreams(3);
    EXPECT_TRUE(s.Open(std::nullopt));
    EXPECT_EQ(s.streams.Count(), 3u);
}

} // namespace
} // namespace vesmera
