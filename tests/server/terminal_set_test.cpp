// A reload of the terminals on the fake clock, each terminal's port in memory answered by a
// simulated terminal: what is kept, what restarts, and what the readings' subscribers hear.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/link_fakes.h"
#include "server/terminal_set.h"
#include "server_fakes.h"
#include "support/fake_scheduler.h"
#include "terminal-sim/sim_terminal.h"

namespace vesmera {
namespace {

TerminalConfig Terminal(const std::string& name, std::uint16_t delayMs = 100) {
    TerminalConfig t;
    t.name = name;
    t.port = "/nonexistent/" + name; // never opened: the channels are in memory
    t.delayMs = delayMs;
    return t;
}

class TerminalSetReload : public ::testing::Test {
protected:
    TerminalSetReload()
        : sim(SimProtocol::Vorlen, 1),
          set(
              Config({Terminal("A"), Terminal("B")}, ','), clock, [] { return 1000; }, log,
              [this](const TerminalConfig&) {
                  auto channel = std::make_unique<testing::FakeChannel>();
                  channel->responder = [this](const std::string& bytes) {
                      return sim.Receive(bytes);
                  };
                  ++channelsMade;
                  return channel;
              }) {
        sim.SetWeight(*ParseSimWeight("12.5"));
        subscription = set.Subscribe([this](const Reading& r) { heard.push_back(r); });
        set.SetRemovedListener([this](const std::string& name) { removed.push_back(name); });
        set.Start();
        clock.Advance(1000);
    }
    static ServerConfig Config(std::vector<TerminalConfig> terminals, char separator) {
        ServerConfig c;
        c.terminals = std::move(terminals);
        c.decimalSeparator = separator;
        return c;
    }
    std::vector<std::string> Reload(const ServerConfig& next) {
        std::vector<std::string> changes;
        set.Prepare(next);
        set.Commit(changes);
        return changes;
    }

    testing::FakeScheduler clock;
    testing::FakeLog log;
    SimTerminal sim;
    int channelsMade = 0;
    TerminalSet set;
    ReadingSubscription subscription;
    std::vector<Reading> heard;
    std::vector<std::string> removed;
};

TEST_F(TerminalSetReload, KeepsUnchangedTerminalsRestartsChangedOnesAndStopsRemovedOnes) {
    const Reading a = *set.ReadingOf("A");
    const Reading b = *set.ReadingOf("B");
    ASSERT_EQ(a.status, ReadingStatus::Stable);
    ASSERT_EQ(b.status, ReadingStatus::Stable);
    ASSERT_EQ(channelsMade, 2);
    heard.clear();

    EXPECT_EQ(Reload(Config({Terminal("A"), Terminal("B", 50), Terminal("C")}, '.')),
              (std::vector<std::string>{"DecimalSeparator .", "terminals added \"C\"",
                                        "terminals restarted with new port settings \"B\""}));
    EXPECT_EQ(channelsMade, 4) << "a new link for B and for C, A's kept";
    // A keeps its link, reading and seq; only its text follows the new separator.
    EXPECT_EQ(set.ReadingOf("A")->seq, a.seq);
    EXPECT_EQ(set.ReadingOf("A")->text, "12.5");
    EXPECT_EQ(set.Answer("A")->weight, "12.5");
    // B starts afresh, one change after its last reading, and says so.
    EXPECT_EQ(set.ReadingOf("B")->status, ReadingStatus::Starting);
    EXPECT_EQ(set.ReadingOf("B")->seq, b.seq + 1);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front().terminal, "B");
    EXPECT_EQ(heard.front().seq, b.seq + 1);
    EXPECT_EQ(set.ReadingOf("C")->seq, 0u);
    EXPECT_EQ(set.Count(), 3u);

    clock.Advance(1000);
    EXPECT_EQ(set.ReadingOf("B")->status, ReadingStatus::Stable);
    EXPECT_EQ(set.ReadingOf("B")->seq, b.seq + 2);
    EXPECT_EQ(set.LinkedCount(), 3u);

    EXPECT_EQ(Reload(Config({Terminal("C"), Terminal("B", 50)}, '.')),
              (std::vector<std::string>{"terminals removed \"A\""}));
    EXPECT_EQ(removed, (std::vector<std::string>{"A"}));
    EXPECT_FALSE(set.ReadingOf("A").has_value());
    EXPECT_FALSE(set.Answer("A").has_value());
    EXPECT_FALSE(set.Zero("A"));
    ASSERT_EQ(set.Readings().size(), 2u);
    EXPECT_EQ(set.Readings()[0].terminal, "C") << "in the order of the new file";

    // An abandoned reload changes nothing.
    set.Prepare(Config({}, ','));
    set.Abandon();
    std::vector<std::string> changes;
    set.Commit(changes);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(set.Count(), 2u);
}

} // namespace
} // namespace vesmera
