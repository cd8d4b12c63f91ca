#include <gtest/gtest.h>

#include "link/link_fakes.h"
#include "link/protocol_643.h"
#include "link/vorlen_protocol.h"
#include "server/terminal_link.h"
#include "server_fakes.h"
#include "support/fake_scheduler.h"
#include "terminal-sim/sim_terminal.h"

namespace vesmera {
namespace {

using testing::FakeChannel;
using testing::FakeLog;
using testing::FakeScheduler;
using testing::Hex;

const std::string kVorlenPoll = "FF 01 C3 E3 FF FF";
const std::string kVorlenZero = "FF 01 C0 58 FF FF";
const std::string kSelect643 = "02 01 30 30 30 31";

// A terminal link on a fake clock, its port in memory answered by a simulated terminal. Each
// port call is noted with the time it happened.
struct Rig {
    explicit Rig(SimProtocol protocol, std::uint16_t delayMs = 100)
        : sim(protocol, 1), link(
                                Config(protocol, delayMs), port, clock,
                                [this] { return kWallAtStart + clock.NowMs(); }, log, ',') {
        port.open = false;
        port.responder = [this](const std::string& bytes) { return sim.Receive(bytes); };
        sim.SetWeight(*ParseSimWeight("12.5"));
        link.SetChangeListener([this](const Reading& r) {
            changes.push_back(std::to_string(r.seq) + " " + std::string(StatusName(r.status)) +
                              (r.text ? " " + *r.text : ""));
        });
    }
    static TerminalConfig Config(SimProtocol protocol, std::uint16_t delayMs) {
        TerminalConfig c;
        c.name = "Весы 1";
        c.protocol = protocol == SimProtocol::Vorlen ? kProtocolVorlen : kProtocol643;
        c.delayMs = delayMs;
        return c;
    }
    // "<ms> <call>" for each call since the last look.
    std::vector<std::string> Calls() {
        std::vector<std::string> out;
        for (; seen < calls.size(); ++seen)
            out.push_back(calls[seen]);
        return out;
    }
    std::string Answer() const {
        const auto a = link.Answer();
        return a.weight + " " + std::to_string(a.status);
    }

    static constexpr std::int64_t kWallAtStart = 1796907600000; // 2026-12-10T13:00:00Z
    FakeScheduler clock;
    std::vector<std::string> changes; // "seq status [text]" for each reading change
    std::vector<std::string> calls;
    std::size_t seen = 0;
    FakeChannel port{&timed};
    testing::CallLog timed;
    FakeLog log;
    SimTerminal sim;
    TerminalLink link;

    void Start() {
        link.Start();
        clock.Advance(0); // the first poll, due at once
        Sync();
    }
    void Sync() {
        for (; synced < timed.size(); ++synced)
            calls.push_back(std::to_string(clock.NowMs()) + " " + timed[synced]);
    }
    std::size_t synced = 0;
    void Advance(std::int64_t ms) {
        for (std::int64_t t = 0; t < ms; ++t) {
            Sync();
            clock.Advance(1);
        }
        Sync();
    }
};

struct PaceRow {
    const char* name;
    SimProtocol protocol;
    std::uint16_t delayMs;
    std::int64_t runMs;
    std::vector<std::string> calls;
};

class TerminalPaceTest : public ::testing::TestWithParam<PaceRow> {};

// The display's exchanges at the display's pace: "Ворлен" every 100 ms, "6.43" every two
// delays.
TEST_P(TerminalPaceTest, PollsWithTheDisplaysExchanges) {
    const auto& row = GetParam();
    Rig rig(row.protocol, row.delayMs);
    rig.Start();
    rig.Sync();
    EXPECT_EQ(rig.Answer(), "-5001 -5003"); // no poll has completed yet
    rig.Advance(row.runMs);
    EXPECT_EQ(rig.Calls(), row.calls);
    EXPECT_EQ(rig.Answer(), "12,5 -5002");
    EXPECT_EQ(rig.log.lines, std::vector<std::string>{"terminal \"Весы 1\": linked"});
}

INSTANTIATE_TEST_SUITE_P(Protocols, TerminalPaceTest,
                         ::testing::Values(PaceRow{"Vorlen",
                                                   SimProtocol::Vorlen,
                                                   100,
                                                   250,
                                                   {"0 open", "100 write " + kVorlenPoll,
                                                    "200 read 100", "200 write " + kVorlenPoll}},
                                           PaceRow{"P643",
                                                   SimProtocol::P643,
                                                   100,
                                                   450,
                                                   {"0 open", "100 write " + kSelect643,
                                                    "200 read 10", "200 write 10", "300 read 100",
                                                    "300 write " + kSelect643, "400 read 10",
                                                    "400 write 10"}}),
                         [](const auto& info) { return info.param.name; });

TEST(TerminalLinkState, TenFailuresKeepTheReadingTheEleventhLosesTheLink) {
    Rig rig(SimProtocol::Vorlen);
    rig.Start();
    rig.Advance(250); // the polls written at 100 and 200 are answered
    ASSERT_EQ(rig.Answer(), "12,5 -5002");
    rig.sim.SetSilent(true);
    rig.Advance(1050); // the replies due at 400 ... 1300 do not come: ten failures
    EXPECT_EQ(rig.Answer(), "12,5 -5002");
    rig.Advance(100);
    EXPECT_EQ(rig.Answer(), "-5001 -5003");
    rig.Advance(500); // lost stays lost, and is said once
    rig.sim.SetSilent(false);
    rig.sim.SetStable(false);
    rig.Advance(200);
    EXPECT_EQ(rig.Answer(), "12,5 -5003");
    EXPECT_EQ(rig.log.lines, (std::vector<std::string>{"terminal \"Весы 1\": linked",
                                                       "terminal \"Весы 1\": link lost",
                                                       "terminal \"Весы 1\": linked"}));
    EXPECT_EQ(rig.log.priorities,
              (std::vector{LogPriority::Info, LogPriority::Warning, LogPriority::Info}));
    EXPECT_EQ(rig.changes,
              (std::vector<std::string>{"1 stable 12,5", "2 link_lost", "3 unstable 12,5"}));
}

TEST(TerminalLinkState, OverloadAnswersNoLink) {
    Rig rig(SimProtocol::Vorlen);
    rig.sim.SetOverload(true);
    rig.Start();
    rig.Advance(250);
    EXPECT_EQ(rig.Answer(), "-5001 -5003");
    // An overload is an answer: it has a time, but no value.
    EXPECT_EQ(rig.changes, std::vector<std::string>{"1 overload"});
    ASSERT_TRUE(rig.link.CurrentReading().answered);
    EXPECT_EQ(rig.link.CurrentReading().answered->wallMs, Rig::kWallAtStart + 200);
}

TEST(TerminalLinkState, PortThatFailsToOpenAnswersAtOnceAndIsReopenedEveryTenSeconds) {
    Rig rig(SimProtocol::Vorlen);
    rig.port.failOpen = true;
    rig.Start();
    EXPECT_EQ(rig.Answer(), "-5006 -5003");
    rig.Advance(9999);
    EXPECT_EQ(rig.Calls(), (std::vector<std::string>{"0 open"}));
    rig.Advance(1);
    // Nothing is polled on a port that is not open, so nothing counts toward link loss.
    EXPECT_EQ(rig.Calls(), (std::vector<std::string>{"10000 open", "10000 close"}));
    rig.Advance(9999); // still failing at 10 s; back before 20 s
    rig.port.failOpen = false;
    rig.Advance(201);
    EXPECT_EQ(rig.Calls(), (std::vector<std::string>{"20000 open", "20000 write 31",
                                                     "20100 write " + kVorlenPoll, "20200 read 100",
                                                     "20200 write " + kVorlenPoll}));
    EXPECT_EQ(rig.Answer(), "12,5 -5002");
    EXPECT_EQ(
        rig.log.lines,
        (std::vector<std::string>{
            "terminal \"Весы 1\": port error: Unable to open com port (Error: 2): No such file "
            "or directory",
            "terminal \"Весы 1\": port back", "terminal \"Весы 1\": linked"}));
    EXPECT_EQ(rig.log.priorities,
              (std::vector{LogPriority::Error, LogPriority::Info, LogPriority::Info}));
    // The port coming back is no reading yet: the status changes with the first answer.
    EXPECT_EQ(rig.changes, (std::vector<std::string>{"1 port_error", "2 stable 12,5"}));
}

TEST(TerminalLinkState, PortThatStopsTakingWritesFailsAtTheNextSupervisionTick) {
    Rig rig(SimProtocol::Vorlen);
    rig.Start();
    rig.Advance(5000);
    rig.port.failWrite = true;
    rig.Advance(4000); // failed polls on an open port count
    EXPECT_EQ(rig.Answer(), "-5001 -5003");
    rig.Advance(2000);
    EXPECT_EQ(rig.Answer(), "-5006 -5003");
    // The tick closes the port and the polls stop.
    const auto calls = rig.Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 4, calls.end()),
              (std::vector<std::string>{"9900 write " + kVorlenPoll, "10000 open", "10000 write 31",
                                        "10000 close"}));
    EXPECT_EQ(rig.log.lines.back(),
              "terminal \"Весы 1\": port error: WriteFile function failed (Error: 5): "
              "Input/output error");
    EXPECT_EQ(rig.changes,
              (std::vector<std::string>{"1 stable 12,5", "2 link_lost", "3 port_error"}));
}

// Each answer refreshes the reading's time; only a new status or value counts in seq.
TEST(TerminalLinkState, SeqCountsChangesOfStatusOrValueOnly) {
    Rig rig(SimProtocol::Vorlen);
    rig.Start();
    EXPECT_EQ(rig.link.CurrentReading().seq, 0u);
    EXPECT_FALSE(rig.link.CurrentReading().answered);
    rig.Advance(650); // answers at 200, 300, ... 600, all the same
    EXPECT_EQ(rig.link.CurrentReading().seq, 1u);
    EXPECT_EQ(rig.link.CurrentReading().answered, (AnswerTime{Rig::kWallAtStart + 600, 600}));
    rig.sim.SetStable(false); // same value, new status
    rig.Advance(100);
    rig.sim.SetWeight(*ParseSimWeight("-0.5")); // new value, same status
    rig.Advance(100);
    rig.sim.SetWeight(*ParseSimWeight("-0.5"));
    rig.Advance(300);
    EXPECT_EQ(rig.changes,
              (std::vector<std::string>{"1 stable 12,5", "2 unstable 12,5", "3 unstable -0,5"}));
    EXPECT_EQ(rig.link.CurrentReading().seq, 3u);
}

struct ZeroRow {
    const char* name;
    SimProtocol protocol;
    std::int64_t requestAt; // ms after start
    std::vector<std::string> calls;
};

class TerminalZeroTest : public ::testing::TestWithParam<ZeroRow> {};

// A zero request never lands inside an exchange: it waits for the reply to be read.
TEST_P(TerminalZeroTest, RunsBetweenExchanges) {
    const auto& row = GetParam();
    Rig rig(row.protocol);
    rig.Start();
    rig.Advance(row.requestAt);
    rig.Calls();
    for (int i = 0; i < 1000; ++i) // a flood of the same request is one request
        rig.link.Zero();
    rig.Advance(400);
    const auto calls = rig.Calls();
    ASSERT_GE(calls.size(), row.calls.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + row.calls.size()), row.calls);
    EXPECT_EQ(rig.sim.ZeroRequests(), 1);
    rig.link.Zero(); // once it has run, the next request is a new one
    rig.Advance(400);
    EXPECT_EQ(rig.sim.ZeroRequests(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, TerminalZeroTest,
    ::testing::Values(ZeroRow{"VorlenMidExchange",
                              SimProtocol::Vorlen,
                              150,
                              {"200 read 100", "200 write " + kVorlenZero,
                               "200 write " + kVorlenPoll}},
                      // "6.43" holds the polls for its own exchange: delay, select, delay, CR.
                      ZeroRow{"P643MidExchange",
                              SimProtocol::P643,
                              150,
                              {"200 read 10", "200 write 10", "300 read 100",
                               "400 write " + kSelect643, "500 read 10", "500 write 0D"}}),
    [](const auto& info) { return info.param.name; });

TEST(TerminalLinkState, SupervisionProbeWaitsForTheExchangeInProgress) {
    Rig rig(SimProtocol::P643);
    rig.Start();
    rig.Advance(9950);
    rig.Calls();
    rig.Advance(200);
    // The tick falls due at 10000 in the middle of a poll; the probe follows its reply.
    EXPECT_EQ(rig.Calls(), (std::vector<std::string>{
                               "10000 read 10", "10000 write 10", "10100 read 100", "10100 open",
                               "10100 write 31", "10100 write " + kSelect643}));
}

} // namespace
} // namespace vesmera
