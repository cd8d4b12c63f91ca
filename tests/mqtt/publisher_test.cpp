#include <gtest/gtest.h>

#include <deque>

#include <nlohmann/json.hpp>

#include "server/mqtt/mqtt_publisher.h"
#include "server/server_fakes.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using testing::FakeLog;

class FakeReadings final : public ITerminalReadings {
public:
    std::vector<Reading> Readings() const override { return readings; }
    std::optional<Reading> ReadingOf(std::string_view name) const override {
        for (const auto& r : readings)
            if (r.terminal == name)
                return r;
        return std::nullopt;
    }
    bool Zero(std::string_view name) override {
        zeros.emplace_back(name);
        return ReadingOf(name).has_value();
    }
    ReadingSubscription Subscribe(ReadingListener listener) override {
        return subscribers.Subscribe(std::move(listener));
    }
    std::vector<PollCounts> Polls() const override { return {}; }

    void Change(const Reading& next) {
        for (auto& r : readings)
            if (r.terminal == next.terminal)
                r = next;
        subscribers.Publish(next);
    }

    std::vector<Reading> readings;
    std::vector<std::string> zeros;
    ReadingSubscribers subscribers;
};

// What a link was asked to do; kept by the test, since the publisher destroys a link it closed.
struct LinkRecord {
    int connects = 0;
    bool closed = false;
    std::size_t reserved = 0;
    std::vector<OutMessage> offered;
};

class FakeLink final : public IBrokerLink {
public:
    explicit FakeLink(LinkRecord& record) : record_(record) {}
    void Connect() override { ++record_.connects; }
    bool Offer(OutMessage message) override {
        record_.offered.push_back(std::move(message));
        return true;
    }
    void Reserve(std::size_t topics) override { record_.reserved = topics; }
    std::vector<BrokerEvent> TakeEvents() override { return {}; }
    int EventFd() const override { return -1; }
    void Close() override { record_.closed = true; }
    std::uint64_t Published() const override { return record_.offered.size(); }
    std::uint64_t Coalesced() const override { return 0; }

private:
    LinkRecord& record_;
};

Reading Weight(std::string terminal, double value, std::uint64_t seq,
               ReadingStatus status = ReadingStatus::Stable) {
    Reading r;
    r.terminal = std::move(terminal);
    r.seq = seq;
    r.status = status;
    if (status == ReadingStatus::Stable || status == ReadingStatus::Unstable) {
        r.value = value;
        r.text = std::to_string(static_cast<int>(value));
    }
    r.answered = AnswerTime{1796907600000, 0};
    return r;
}

MqttConfig Config() {
    MqttConfig c;
    c.host = "127.0.0.1";
    c.port = 1883;
    c.clientId = "id";
    c.topic = "site";
    c.heartbeatS = 30;
    return c;
}

class PublisherTest : public ::testing::Test {
protected:
    PublisherTest() {
        terminals.readings = {Weight("a/b+#", 5, 1), Weight("B", 0, 2, ReadingStatus::LinkLost)};
    }
    LinkRecord& Link() { return links.back(); }
    // The messages offered since the last call.
    std::vector<OutMessage> Offered() {
        auto& offered = Link().offered;
        std::vector<OutMessage> out(offered.begin() + static_cast<long>(seen_), offered.end());
        seen_ = offered.size();
        return out;
    }
    std::vector<std::string> Topics() {
        std::vector<std::string> out;
        for (const auto& m : Offered())
            out.push_back(m.topic);
        return out;
    }
    void Dispatch(BrokerEvent::Kind kind, std::string text = "", bool retained = false) {
        publisher.Dispatch({kind, std::move(text), retained});
    }
    void Connect() {
        Dispatch(BrokerEvent::Kind::Connected);
        Offered();
    }

    testing::FakeScheduler scheduler;
    FakeReadings terminals;
    FakeLog log;
    std::deque<LinkRecord> links;
    std::vector<std::size_t> capacities;
    MqttPublisher publisher{scheduler, terminals, log,
                            [this](const MqttConfig&, std::size_t capacity) {
                                auto link = std::make_unique<FakeLink>(links.emplace_back());
                                capacities.push_back(capacity);
                                seen_ = 0;
                                return link;
                            }};

private:
    std::size_t seen_ = 0;
};

// 1 s doubling to 60 s, started afresh after a session; one log line per change of state, none
// for a failure that repeats the last one.
TEST_F(PublisherTest, RetriesWithBackoffAndLogsEachStateOnce) {
    publisher.Apply(Config());
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(capacities.back(), 2u * 2 + 64);
    EXPECT_EQ(Link().connects, 1);
    int connects = 1;
    for (std::int64_t delay : {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000}) {
        Dispatch(BrokerEvent::Kind::ConnectFailed, "Connection refused");
        scheduler.Advance(delay - 1);
        EXPECT_EQ(Link().connects, connects) << delay;
        scheduler.Advance(1);
        EXPECT_EQ(Link().connects, ++connects) << delay;
    }
    Dispatch(BrokerEvent::Kind::ConnectFailed, "the broker refused the connection: not authorised");
    Dispatch(BrokerEvent::Kind::Connected);
    Dispatch(BrokerEvent::Kind::Lost, "The connection was lost");
    scheduler.Advance(999);
    EXPECT_EQ(Link().connects, connects);
    scheduler.Advance(1);
    EXPECT_EQ(Link().connects, connects + 1);
    Dispatch(BrokerEvent::Kind::ConnectFailed, "Connection refused");
    EXPECT_EQ(
        log.lines,
        (std::vector<std::string>{
            "mqtt: cannot connect to 127.0.0.1:1883: Connection refused; retrying in 1 s",
            "mqtt: cannot connect to 127.0.0.1:1883: the broker refused the connection: not "
            "authorised; retrying in 60 s",
            "mqtt: connected to 127.0.0.1:1883",
            "mqtt: connection to 127.0.0.1:1883 lost: The connection was lost; retrying in 1 s",
            "mqtt: cannot connect to 127.0.0.1:1883: Connection refused; retrying in 2 s"}));
    EXPECT_EQ(log.priorities, (std::vector<LogPriority>{LogPriority::Warning, LogPriority::Warning,
                                                        LogPriority::Info, LogPriority::Warning,
                                                        LogPriority::Warning}));
    EXPECT_EQ(links.size(), 1u);
}

// A session starts with "online" and every reading, retained; then each change at once and
// every reading each heartbeat, with its age grown. Nothing while the broker is away.
TEST_F(PublisherTest, PublishesReadingsOnConnectChangeAndHeartbeat) {
    auto config = Config();
    config.qos = 0;
    publisher.Apply(config);
    terminals.Change(Weight("a/b+#", 6, 2));
    EXPECT_TRUE(Offered().empty());

    scheduler.Advance(84);
    Dispatch(BrokerEvent::Kind::Connected);
    const auto first = Offered();
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0], (OutMessage{"site/status", "online", 0, true}));
    EXPECT_EQ(first[1].topic, "site/terminals/a%2Fb%2B%23");
    EXPECT_TRUE(first[1].retain);
    EXPECT_EQ(first[1].qos, 0);
    const auto json = nlohmann::json::parse(first[1].payload);
    EXPECT_EQ(json["value"], 6);
    EXPECT_EQ(json["seq"], 2);
    EXPECT_EQ(json["age_ms"], 84);
    EXPECT_EQ(nlohmann::json::parse(first[2].payload)["value"], nullptr);

    terminals.Change(Weight("B", 7, 3));
    EXPECT_EQ(Topics(), std::vector<std::string>{"site/terminals/B"});
    scheduler.Advance(29999);
    EXPECT_TRUE(Offered().empty());
    scheduler.Advance(1);
    const auto beat = Offered();
    ASSERT_EQ(beat.size(), 2u);
    EXPECT_EQ(nlohmann::json::parse(beat[0].payload)["age_ms"], 30084);
    // A terminal a reload added is in the next heartbeat, and the hand-off has room for it.
    terminals.readings.push_back(Weight("C", 1, 1));
    scheduler.Advance(30000);
    EXPECT_EQ(Offered().size(), 3u);
    EXPECT_EQ(Link().reserved, 2u * 3 + 64);

    Dispatch(BrokerEvent::Kind::Lost, "The connection was lost");
    terminals.Change(Weight("B", 8, 4));
    scheduler.Advance(30000 - 1000); // the heartbeat has stopped; the retry has begun
    EXPECT_TRUE(Offered().empty());
}

struct ZeroRow {
    const char* name;
    std::string topic;
    bool retained;
    bool commands;
    std::vector<std::string> zeros;
    std::vector<OutMessage> offered;
};

void PrintTo(const ZeroRow& row, std::ostream* os) {
    *os << row.name;
}

class PublisherZeroTest : public PublisherTest, public ::testing::WithParamInterface<ZeroRow> {};

TEST_P(PublisherZeroTest, AnswersEachRequestOnItsResultTopic) {
    terminals.readings.push_back(Weight("a", 1, 1));
    auto config = Config();
    config.commands = GetParam().commands;
    publisher.Apply(config);
    Connect();
    Dispatch(BrokerEvent::Kind::Command, GetParam().topic, GetParam().retained);
    EXPECT_EQ(terminals.zeros, GetParam().zeros);
    EXPECT_EQ(Offered(), GetParam().offered);
}

OutMessage Result(std::string level, std::string result) {
    return {"site/terminals/" + level + "/zero/result", std::move(result), 1, false};
}

INSTANTIATE_TEST_SUITE_P(
    Requests, PublisherZeroTest,
    ::testing::Values(
        ZeroRow{"Queued",
                "site/terminals/a%2Fb%2B%23/zero",
                false,
                true,
                {"a/b+#"},
                {Result("a%2Fb%2B%23", "queued")}},
        ZeroRow{"NotLinked", "site/terminals/B/zero", false, true, {}, {Result("B", "not_linked")}},
        ZeroRow{"Unknown", "site/terminals/zz/zero", false, true, {}, {Result("zz", "unknown")}},
        // "%61" is not how "a" is written, so it names nothing.
        ZeroRow{"NeedlessEscape",
                "site/terminals/%61/zero",
                false,
                true,
                {},
                {Result("%61", "unknown")}},
        ZeroRow{"RetainedIsIgnored", "site/terminals/a/zero", true, true, {}, {}},
        ZeroRow{"CommandsOff", "site/terminals/a/zero", false, false, {}, {}},
        ZeroRow{"OtherTopic", "site/terminals/a", false, true, {}, {}}),
    [](const auto& info) { return info.param.name; });

// A changed section ends the session before the next starts; the same section changes
// nothing; a removed terminal's retained reading is cleared, at once or at the next session.
TEST_F(PublisherTest, ReloadReconnectsOnlyForChangesAndClearsRemovedTerminals) {
    publisher.Apply(Config());
    Connect();
    publisher.Apply(Config());
    EXPECT_EQ(links.size(), 1u);
    publisher.Forget("old/one");
    EXPECT_EQ(Offered(), (std::vector<OutMessage>{{"site/terminals/old%2Fone", "", 1, true}}));

    auto changed = Config();
    changed.topic = "plant";
    publisher.Apply(changed);
    EXPECT_TRUE(links[0].closed);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(Link().connects, 1);
    EXPECT_FALSE(publisher.Connected());
    publisher.Forget("gone");
    EXPECT_TRUE(Offered().empty());
    Dispatch(BrokerEvent::Kind::Connected);
    EXPECT_EQ(Topics(), (std::vector<std::string>{"plant/status", "plant/terminals/a%2Fb%2B%23",
                                                  "plant/terminals/B", "plant/terminals/gone"}));
    EXPECT_EQ(publisher.Published(), 4u + 4u); // the closed link's and this one's

    publisher.Stop();
    EXPECT_TRUE(links[1].closed);
    EXPECT_EQ(log.lines.back(), "mqtt: publishing ends: 8 messages published, 0 replaced by a "
                                "newer one before they went out");
    terminals.Change(Weight("B", 9, 5));
    EXPECT_EQ(links.size(), 2u);
    EXPECT_TRUE(Offered().empty());
}

} // namespace
} // namespace vesmera
