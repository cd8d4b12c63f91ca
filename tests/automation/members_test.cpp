#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "automation/bus_members.h"
#include "automation/data_object.h"
#include "automation/scauto_object.h"
#include "fake_channels.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using test::MainChannelStub;
using test::ScriptedChannelFactory;
using test::ScriptedPeer;

struct Program {
    vesmera::testing::FakeScheduler scheduler;
    HeldSettings settings;
    SharedWeightState weight;
    MainChannelStub main;
    ScriptedChannelFactory channels{scheduler};
    ServerCallPool calls{channels};
    int zeroClicks = 0;
    // The zero command's end, held until the test lets the exchange finish.
    std::vector<std::function<void()>> zeroEnds;
    AutomationContext context{settings, weight, main, calls, [this](std::function<void()> done) {
                                  ++zeroClicks;
                                  zeroEnds.push_back(std::move(done));
                              }};

    Program() {
        settings.ip = "127.0.0.1";
        settings.serverPort = 65536 + 5000; // only the low 16 bits are the port
    }
};

// --- local members of IScAuto ---------------------------------------------------------------

TEST(ScAutoLocal, StableReadingIsGivenAsDoubleAndStatus) {
    Program p;
    p.weight.weight = 12.5L;
    p.weight.status = kStatusStable;
    TScAuto o(p.context);
    EXPECT_EQ(o.GetWeight(0, 0), AutoValue(12.5));
    EXPECT_EQ(o.GetStatus(3, -1), AutoValue(std::int32_t{-5002}));

    // The link is then lost: the polls store their code values.
    p.weight.weight = kNoTerminalLink;
    p.weight.status = kStatusUnstable;
    EXPECT_EQ(o.GetWeight(1, 1), AutoValue(-5001.0));
    EXPECT_EQ(o.GetStatus(1, 1), AutoValue(std::int32_t{-5003}));
}

TEST(ScAutoLocal, ExtendedWeightIsRoundedToNearestDouble) {
    Program p;
    // One third has no double; the nearest one is what clients receive.
    p.weight.weight = 1.0L / 3.0L;
    TScAuto o(p.context);
    EXPECT_EQ(std::get<double>(o.GetWeight(0, 0)), 1.0 / 3.0);
}

TEST(ScAutoLocal, NetworkModeKeepsTheValuesFromBefore) {
    Program p;
    p.settings.networkMode = true;
    p.channels.peer.replies = {{0, "77"}, {0, "-5002"}};
    TScAuto o(p.context);
    EXPECT_EQ(o.GetWeight(0, 0), AutoValue(0.0));
    EXPECT_EQ(o.GetStatus(0, 0), AutoValue(std::int32_t{0}));
    EXPECT_TRUE(p.channels.logs.empty());
}

TEST(ScAutoLocal, SetNullAnswersOnceItsZeroCommandHasRunInEveryMode) {
    Program p;
    TScAuto o(p.context);
    std::vector<AutoValue> answers;
    const auto answer = [&answers](const AutoValue& v) { answers.push_back(v); };
    o.SetNull(0, 0, answer);
    p.settings.networkMode = true;
    o.SetNull(0, 0, answer);
    EXPECT_EQ(p.zeroClicks, 2);
    EXPECT_TRUE(answers.empty()); // both still wait for their exchanges
    p.zeroEnds.at(1)();
    p.zeroEnds.at(0)();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(IsEmpty(answers[0]) && IsEmpty(answers[1]));
    EXPECT_TRUE(p.channels.logs.empty()); // it never talks to the weight server

    // Without a zero command (no window) the answer comes at once.
    AutomationContext bare{p.settings, p.weight, p.main, p.calls, {}};
    TScAuto(bare).SetNull(0, 0, answer);
    EXPECT_EQ(answers.size(), 3u);
}

TEST(ScAutoLocal, GetChannelsClearsAllThreeOuts) {
    Program p;
    TScAuto o(p.context);
    AutoValue ccn = std::int32_t{5}, ct1 = std::string("x"), ct2 = 2.0;
    o.GetChannels(ccn, ct1, ct2);
    EXPECT_TRUE(IsEmpty(ccn));
    EXPECT_TRUE(IsEmpty(ct1));
    EXPECT_TRUE(IsEmpty(ct2));
}

TEST(ScAutoLocal, ChannelAndDeviceCounts) {
    Program p;
    TScAuto o(p.context);
    EXPECT_EQ(o.ChannelsCount(), 1);
    EXPECT_EQ(o.DevicesOnFirstChannel(), 1);
    EXPECT_EQ(o.DevicesOnSecondChannel(), 0);
}

struct FixedRow {
    const char* member;
    std::function<AutoValue(const TScAuto&)> call;
    AutoValue expected;
};

class ScAutoFixed : public ::testing::TestWithParam<FixedRow> {};

TEST_P(ScAutoFixed, AnswersWithoutTouchingAnything) {
    Program p;
    p.weight.weight = 3;
    p.settings.networkMode = true;
    TScAuto o(p.context);
    EXPECT_EQ(GetParam().call(o), GetParam().expected) << GetParam().member;
    EXPECT_EQ(p.zeroClicks, 0);
    EXPECT_TRUE(p.channels.logs.empty());
    EXPECT_EQ(p.main.tests, 0);
}

const AutoValue kEmpty{};
const AutoValue kMinus5004{std::int32_t{-5004}};
const AutoValue kOne{std::int32_t{1}};

INSTANTIATE_TEST_SUITE_P(
    Members, ScAutoFixed,
    ::testing::Values(
        FixedRow{"GetCount", [](const TScAuto& o) { return o.GetCount(9, 9, 9); }, kOne},
        FixedRow{"SetTerminal", [](const TScAuto& o) { return o.SetTerminal(1, 1); }, kMinus5004},
        FixedRow{"GetOsCount", [](const TScAuto& o) { return o.GetOsCount(1, 1); }, kEmpty},
        FixedRow{"GetOsWeight", [](const TScAuto& o) { return o.GetOsWeight(1, 1, 1); }, kEmpty},
        FixedRow{"SetOutLevels", [](const TScAuto& o) { return o.SetOutLevels(1, 1, -1); }, kEmpty},
        FixedRow{"GetInLevels", [](const TScAuto& o) { return o.GetInLevels(1, 1); }, kEmpty},
        FixedRow{"GetTerminalAddress", [](const TScAuto& o) { return o.GetTerminalAddress(2, 7); },
                 kOne},
        FixedRow{"GetCompPrms", [](const TScAuto& o) { return o.GetCompPrms(1, 1, 1); }, kEmpty},
        FixedRow{"SetCompPrms",
                 [](const TScAuto& o) { return o.SetCompPrms(1, 1, 1, 10000, -1, 1LL << 40); },
                 kEmpty},
        FixedRow{"DozatorAction", [](const TScAuto& o) { return o.DozatorAction(1, 1, 1); },
                 kEmpty},
        FixedRow{"GetSensors", [](const TScAuto& o) { return o.GetSensors(); }, kMinus5004},
        FixedRow{"SetSignal", [](const TScAuto& o) { return o.SetSignal(7); }, kMinus5004},
        FixedRow{"GetLastError", [](const TScAuto& o) { return o.GetLastError(1, 1); }, kEmpty},
        FixedRow{"SaveRecipe", [](const TScAuto& o) { return o.SaveRecipe(1, 1); }, kEmpty},
        FixedRow{"SendMessage", [](const TScAuto& o) { return o.SendMessage(1, 1, "hi"); }, kEmpty},
        FixedRow{"SetIndMode", [](const TScAuto& o) { return o.SetIndMode(1, 1); }, kEmpty},
        FixedRow{"GetStatusEx", [](const TScAuto& o) { return o.GetStatusEx(1, 1); }, kEmpty},
        FixedRow{"GetCountInt", [](const TScAuto& o) { return o.GetCountInt(1, 1, 1); }, kEmpty},
        FixedRow{"GetWeightNetto", [](const TScAuto& o) { return o.GetWeightNetto(1, 1); },
                 kEmpty}),
    [](const ::testing::TestParamInfo<FixedRow>& info) { return std::string(info.param.member); });

// --- the questions to the weight server -----------------------------------------------------

using Getter = std::function<std::string(Program&, const std::string&)>;

// Asks, then lets the exchange run to its end on the fake clock.
std::string Answer(Program& p, const std::function<void(ServerAnswer)>& ask) {
    std::optional<std::string> answer;
    ask([&answer](const std::string& text) { answer = text; });
    p.scheduler.Advance(10000);
    return answer.value_or("<no answer>");
}

const Getter kDataWeight = [](Program& p, const std::string& n) {
    return Answer(p, [&](ServerAnswer a) { TData(p.context).GetWeight(n, a); });
};
const Getter kDataStatus = [](Program& p, const std::string& n) {
    return Answer(p, [&](ServerAnswer a) { TData(p.context).GetStatus(n, a); });
};
const Getter kNetWeight = [](Program& p, const std::string& n) {
    return Answer(p, [&](ServerAnswer a) { TScAuto(p.context).GetWeightNet(n, a); });
};
const Getter kNetStatus = [](Program& p, const std::string& n) {
    return Answer(p, [&](ServerAnswer a) { TScAuto(p.context).GetStatusNet(n, a); });
};

struct PollRow {
    const char* label;
    Getter call;
    bool network;
    MainChannelStub::State main;
    ScriptedPeer peer;
    std::string expected;
    bool connects;
    std::int32_t readTimeout;
};

class ServerPoll : public ::testing::TestWithParam<PollRow> {};

TEST_P(ServerPoll, AnswersAndReleasesItsChannel) {
    const PollRow& row = GetParam();
    Program p;
    p.settings.networkMode = row.network;
    p.main.state = row.main;
    p.channels.peer = row.peer;
    EXPECT_EQ(row.call(p, "T1"), row.expected);
    ASSERT_EQ(p.channels.logs.size(), row.connects ? 1u : 0u);
    if (!row.connects)
        return;
    const auto& log = *p.channels.logs[0];
    EXPECT_EQ(log.host, "127.0.0.1");
    EXPECT_EQ(log.port, 5000);
    EXPECT_EQ(log.connectTimeout, 100);
    EXPECT_EQ(log.readTimeout, row.readTimeout);
    EXPECT_TRUE(log.released);
    if (row.peer.accepts) {
        EXPECT_EQ(log.written, std::vector<std::string>{"T1"});
    }
}

const MainChannelStub::State kUp = MainChannelStub::State::Connected;
const MainChannelStub::State kDown = MainChannelStub::State::Disconnected;
const ScriptedPeer kFast{true, {{0, "12,5"}, {0, "-5002"}}, true};
const ScriptedPeer kIn10{true, {{10, "12,5"}, {1, "-5002"}}, true};
const ScriptedPeer kIn20{true, {{20, "12,5"}, {0, "-5002"}}, true};
const ScriptedPeer kWeightThenClose{true, {{0, "12,5"}}, true};
const ScriptedPeer kWeightThenWait{true, {{0, "12,5"}}, false};
const ScriptedPeer kUnknownTerminal{true, {{0, "-5000"}, {0, "-5003"}}, true};
const ScriptedPeer kRefused{false, {}, true};
const ScriptedPeer kNulInWeight{true, {{0, std::string("12\0,5", 5)}, {0, "-5002"}}, true};

INSTANTIATE_TEST_SUITE_P(
    Members, ServerPoll,
    ::testing::Values(
        PollRow{"DataWeightNetworkOff", kDataWeight, false, kUp, kFast, "-5008", false, 0},
        PollRow{"DataStatusNetworkOff", kDataStatus, false, kUp, kFast, "-5008", false, 0},
        PollRow{"DataWeightMainDown", kDataWeight, true, kDown, kFast, "-5008", false, 0},
        PollRow{"DataStatusMainDown", kDataStatus, true, kDown, kFast, "-5008", false, 0},
        PollRow{"DataWeightWithin10ms", kDataWeight, true, kUp, kIn10, "12,5", true, 10},
        PollRow{"DataStatusWithin10ms", kDataStatus, true, kUp, kIn10, "-5002", true, 10},
        PollRow{"DataWeightAfter20ms", kDataWeight, true, kUp, kIn20, "-5008", true, 10},
        PollRow{"DataStatusAfter20ms", kDataStatus, true, kUp, kIn20, "-5008", true, 10},
        PollRow{"DataWeightLineThenClose", kDataWeight, true, kUp, kWeightThenClose, "-5008", true,
                10},
        PollRow{"DataWeightCodePassedOn", kDataWeight, true, kUp, kUnknownTerminal, "-5000", true,
                10},
        PollRow{"DataWeightRefused", kDataWeight, true, kUp, kRefused, "-5008", true, 10},
        PollRow{"NetWeightNetworkOff", kNetWeight, false, kUp, kFast, "-5008", false, 0},
        PollRow{"NetStatusNetworkOff", kNetStatus, false, kUp, kFast, "-5008", false, 0},
        PollRow{"NetWeightMainDownStillAsks", kNetWeight, true, kDown, kFast, "12,5", true, 100},
        PollRow{"NetStatusMainDown", kNetStatus, true, kDown, kFast, "-5008", false, 0},
        PollRow{"NetWeightAfter20ms", kNetWeight, true, kUp, kIn20, "12,5", true, 100},
        PollRow{"NetStatus", kNetStatus, true, kUp, kFast, "-5002", true, 100},
        PollRow{"NetWeightLineThenWait", kNetWeight, true, kUp, kWeightThenWait, "-5008", true,
                100},
        PollRow{"NetWeightCodePassedOn", kNetWeight, true, kUp, kUnknownTerminal, "-5000", true,
                100},
        PollRow{"NetStatusRefused", kNetStatus, true, kUp, kRefused, "-5008", true, 100},
        PollRow{"NetWeightNulBecomesReplacement", kNetWeight, true, kUp, kNulInWeight,
                "12\xEF\xBF\xBD,5", true, 100}),
    [](const ::testing::TestParamInfo<PollRow>& info) { return std::string(info.param.label); });

struct NameRow {
    const char* label;
    Getter call;
    std::string name;
    std::string expected;
};

class ServerPollName : public ::testing::TestWithParam<NameRow> {};

// A name that would put a second request on the wire is never sent: one with a line end fails
// as an exchange; one the server would read as a zero request gets the unknown name's codes.
TEST_P(ServerPollName, NamesThatWouldMakeAnotherRequestAreNeverSent) {
    Program p;
    p.settings.networkMode = true;
    p.channels.peer = kFast;
    EXPECT_EQ(GetParam().call(p, GetParam().name), GetParam().expected);
    EXPECT_TRUE(p.channels.logs.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Members, ServerPollName,
    ::testing::Values(NameRow{"DataWeightCrLf", kDataWeight, "T1\r\nSetNullT2", "-5008"},
                      NameRow{"DataStatusNul", kDataStatus, std::string("T1\0", 3), "-5008"},
                      NameRow{"NetWeightLf", kNetWeight, "T1\n", "-5008"},
                      NameRow{"NetStatusCr", kNetStatus, "T1\r", "-5008"},
                      NameRow{"DataWeightZeroLookalike", kDataWeight, "SetNullT2", "-5000"},
                      NameRow{"DataStatusZeroLookalike", kDataStatus, "SetNullT2", "-5003"},
                      NameRow{"NetWeightZeroLookalike", kNetWeight, "SetNull", "-5000"},
                      NameRow{"NetStatusZeroLookalike", kNetStatus, "SetNullT2", "-5003"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ServerPoll, SuccessfulExchangeDisconnects) {
    Program p;
    p.settings.networkMode = true;
    p.channels.peer = kFast;
    EXPECT_EQ(kNetWeight(p, ""), "12,5");
    ASSERT_EQ(p.channels.logs.size(), 1u);
    EXPECT_EQ(p.channels.logs[0]->written, std::vector<std::string>{""}); // a bare line
    EXPECT_EQ(p.channels.logs[0]->linesRead, 2); // both lines, also for the weight alone
    EXPECT_TRUE(p.channels.logs[0]->disconnected);
}

TEST(ServerPoll, LongTerminalNameIsSentUnchanged) {
    Program p;
    p.settings.networkMode = true;
    p.channels.peer = kUnknownTerminal;
    const std::string name(100 * 1024, 'N');
    EXPECT_EQ(kDataWeight(p, name), "-5000");
    EXPECT_EQ(p.channels.logs.at(0)->written.at(0), name);
}

// Zeroes, then lets the exchange run to its end; the call must have been answered by then.
using Zero = std::function<void(Program&, const std::string&)>;
void Zeroed(Program& p, const std::function<void(std::function<void()>)>& zero) {
    bool answered = false;
    zero([&answered] { answered = true; });
    p.scheduler.Advance(10000);
    EXPECT_TRUE(answered);
}
const Zero kDataZero = [](Program& p, const std::string& n) {
    Zeroed(p, [&](std::function<void()> done) { TData(p.context).SetNull(n, done); });
};
const Zero kNetZero = [](Program& p, const std::string& n) {
    Zeroed(p, [&](std::function<void()> done) { TScAuto(p.context).SetNullNet(n, done); });
};

struct ZeroRow {
    const char* label;
    Zero call;
    bool network;
    MainChannelStub::State main;
    bool accepts;
    bool sends;
};

class ServerZero : public ::testing::TestWithParam<ZeroRow> {};

TEST_P(ServerZero, SendsTheZeroLineOrNothing) {
    const ZeroRow& row = GetParam();
    Program p;
    p.settings.networkMode = row.network;
    p.main.state = row.main;
    p.channels.peer.accepts = row.accepts;
    EXPECT_NO_THROW(row.call(p, "T1"));
    EXPECT_EQ(p.zeroClicks, 0);
    if (!row.sends && row.accepts) {
        EXPECT_TRUE(p.channels.logs.empty());
        return;
    }
    ASSERT_EQ(p.channels.logs.size(), 1u);
    const auto& log = *p.channels.logs[0];
    EXPECT_EQ(log.connectTimeout, 1000);
    EXPECT_FALSE(log.readTimeoutSet);
    EXPECT_EQ(log.linesRead, 0);
    EXPECT_TRUE(log.released);
    if (row.sends) {
        EXPECT_EQ(log.written, std::vector<std::string>{"SetNullT1"});
        EXPECT_TRUE(log.disconnected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Members, ServerZero,
    ::testing::Values(ZeroRow{"DataNetworkOff", kDataZero, false, kUp, true, false},
                      ZeroRow{"DataMainDown", kDataZero, true, kDown, true, false},
                      ZeroRow{"DataSends", kDataZero, true, kUp, true, true},
                      ZeroRow{"DataRefusedIsIgnored", kDataZero, true, kUp, false, false},
                      ZeroRow{"NetNetworkOff", kNetZero, false, kUp, true, false},
                      ZeroRow{"NetMainDown", kNetZero, true, kDown, true, false},
                      ZeroRow{"NetSends", kNetZero, true, kUp, true, true},
                      ZeroRow{"NetRefusedIsIgnored", kNetZero, true, kUp, false, false}),
    [](const ::testing::TestParamInfo<ZeroRow>& info) { return std::string(info.param.label); });

TEST(ServerZero, ANameWithALineEndSendsNothingAndSetNullNamesGoAsBuilt) {
    Program p;
    p.settings.networkMode = true;
    kDataZero(p, "T1\r\nT2");
    kNetZero(p, std::string("T1\0", 3));
    EXPECT_TRUE(p.channels.logs.empty());
    kNetZero(p, "SetNullT2");
    EXPECT_EQ(p.channels.logs.at(0)->written, std::vector<std::string>{"SetNullSetNullT2"});
}

TEST(ServerZero, EmptyNameSendsTheBareCommand) {
    Program p;
    p.settings.networkMode = true;
    kNetZero(p, "");
    EXPECT_EQ(p.channels.logs.at(0)->written, std::vector<std::string>{"SetNull"});
}

TEST(ServerPoll, AnswersComeWhenTheirExchangeEndsAndBeyond64AFailureComesAtOnce) {
    Program p;
    p.settings.networkMode = true;
    p.channels.peer = {true, {{50, "12,5"}, {0, "-5002"}}, true};
    std::vector<std::string> answers;
    const auto ask = [&] {
        TScAuto(p.context).GetWeightNet("T1",
                                        [&](const std::string& text) { answers.push_back(text); });
    };
    for (std::size_t i = 0; i < ServerCallPool::kMaxInFlight; ++i)
        ask();
    EXPECT_TRUE(answers.empty()); // each waits for its own exchange
    ask();
    EXPECT_EQ(answers, std::vector<std::string>{"-5008"});
    EXPECT_EQ(p.channels.logs.size(), ServerCallPool::kMaxInFlight);
    p.scheduler.Advance(49);
    EXPECT_EQ(answers.size(), 1u);
    p.scheduler.Advance(1);
    EXPECT_EQ(answers.size(), 1 + ServerCallPool::kMaxInFlight);
    EXPECT_EQ(std::count(answers.begin(), answers.end(), "12,5"),
              static_cast<long>(ServerCallPool::kMaxInFlight));
    ask(); // the pool is free again
    p.scheduler.Advance(50);
    EXPECT_EQ(answers.back(), "12,5");
}

// A reset main connection is no exchange failure: it reaches the client as a fault.
TEST(ServerMembers, FailingConnectedTestPropagates) {
    Program p;
    p.settings.networkMode = true;
    p.main.state = MainChannelStub::State::Reset;
    p.channels.peer = kFast;
    const std::string reset = "Socket Error # 104\r\nConnection reset by peer";
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { kDataWeight(p, "T1"); }, [&] { kDataStatus(p, "T1"); },
             [&] { kDataZero(p, "T1"); }, [&] { kNetStatus(p, "T1"); },
             [&] { kNetZero(p, "T1"); }}) {
        try {
            call();
            ADD_FAILURE() << "no fault";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), reset);
        }
    }
    EXPECT_TRUE(p.channels.logs.empty());
    // GetWeightNet does not ask the main connection at all.
    EXPECT_EQ(kNetWeight(p, "T1"), "12,5");
}

} // namespace
} // namespace vesmera

namespace vesmera {
namespace {

// An argument of the declared type, as the bus layer hands it over.
QVariant ArgumentOf(AutoType type) {
    switch (type) {
    case AutoType::I1:
        return QVariant::fromValue(uchar{1});
    case AutoType::I2:
        return QVariant::fromValue(short{1});
    case AutoType::I4:
        return QVariant(1);
    case AutoType::Currency:
        return QVariant::fromValue(qlonglong{10000});
    case AutoType::String:
        return QVariant(QString("Весы 1"));
    case AutoType::Variant:
        break;
    }
    return QVariant();
}

// Every member the type description declares reaches a handler through the bus dispatch and
// answers once: none is an unknown member. A name the description lacks is refused.
TEST(BusDispatch, EveryDescribedMemberIsAnswered) {
    for (const ClassInfo* cls : FactoryList()) {
        for (const MemberInfo& m : cls->defaultInterface->members) {
            Program p;
            QVariantList args;
            for (const ParamInfo& param : m.params)
                if (param.direction == ParamDirection::In)
                    args.push_back(ArgumentOf(param.type));
            int answers = 0;
            EXPECT_NO_THROW(InvokeMember(*cls, m.name, p.context, args,
                                         [&](const QVariantList&) { ++answers; }))
                << cls->name << "." << m.name;
            for (int i = 0; i < 1000 && answers == 0; ++i) {
                for (auto& end : std::exchange(p.zeroEnds, {}))
                    end();
                if (!p.scheduler.RunNextTimer() && p.zeroEnds.empty())
                    break;
            }
            EXPECT_EQ(answers, 1) << cls->name << "." << m.name;
        }
    }
    Program p;
    EXPECT_THROW(
        InvokeMember(DataClass(), "GetChannels", p.context, {}, [](const QVariantList&) {}),
        Exception);
}

} // namespace
} // namespace vesmera
