#include <gtest/gtest.h>

#include <QObject>

#include "app/main_window_fakes.h"
#include "app/shown_reading_observer.h"

namespace vesmera {
namespace {

using namespace testing_fakes;

class StillClock final : public IReadingClock {
public:
    std::int64_t SteadyMs() override { return 0; }
    std::int64_t WallMs() override { return 0; }
};

// The window's parts the observer reads, with the timers at their intervals.
struct Window {
    Journal journal;
    HeldSettings settings;
    SharedWeightState weight;
    FakeLineChannel tcp{journal};
    FakeIndicator indicator{journal, "ind"};
    FakeScreen message{journal, "lcd1"};
    NetworkPoller network{tcp, settings, indicator, message, [] { return std::nullopt; }};
    QObject owner;
    QtTimerSwitch timer1{"Timer1", 100, &owner};
    QtTimerSwitch timer2{"Timer2", 100, &owner};
    QtTimerSwitch timer5{"Timer5", 100, &owner};
    StillClock clock;
    LiveReading reading{clock};
    std::vector<ShownReading> described;
    ShownReadingObserver observer{
        {settings, weight, network, indicator, message, timer1, timer2, timer5},
        reading,
        [this](const ShownReading& shown) { described.push_back(shown); }};
};

struct PeriodRow {
    const char* name;
    bool networkMode;
    const char* protocol;
    std::int32_t delayMs;
    std::int64_t periodMs;
};

class ShownReadingPeriod : public ::testing::TestWithParam<PeriodRow> {};

// The poll timer's interval, or the exchange when it takes longer: the "Ворлен" poll waits
// the delay once, the "6.43" poll twice; network polls keep Timer2's pace.
TEST_P(ShownReadingPeriod, IsTheTimersIntervalOrTheLongerExchange) {
    Window w;
    w.settings.networkMode = GetParam().networkMode;
    w.settings.protocol = GetParam().protocol;
    w.settings.delayMs = GetParam().delayMs;
    EXPECT_EQ(w.observer.PollPeriodMs(), GetParam().periodMs);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ShownReadingPeriod,
    ::testing::Values(PeriodRow{"Network", true, kProtocol643, 5000, 100},
                      PeriodRow{"VorlenShort", false, kProtocolVorlen, 40, 100},
                      PeriodRow{"VorlenLong", false, kProtocolVorlen, 400, 400},
                      PeriodRow{"P643Short", false, kProtocol643, 40, 100},
                      PeriodRow{"P643Long", false, kProtocol643, 400, 800}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShownReadingObserver, TellsTheWeightOrTheMessageShown) {
    Window w;
    w.weight.weight = 12.5L;
    w.weight.status = kStatusStable;
    w.indicator.visible_ = true;
    w.indicator.text_ = "12,5";
    w.message.text_ = "Перегруз";
    w.observer.Observe();
    // A visible indicator shows the weight, whatever the message screen holds.
    ASSERT_EQ(w.described.size(), 1u);
    EXPECT_EQ(w.described[0], (ShownReading{12.5, kStatusStable, "12,5", false}));
    EXPECT_EQ(w.reading.Last().text, "12,5");
    w.indicator.visible_ = false;
    w.observer.Observe();
    EXPECT_EQ(w.described.back(), (ShownReading{12.5, kStatusStable, "Перегруз", true}));
    EXPECT_EQ(w.reading.Last().sequence, 2u);
}

} // namespace
} // namespace vesmera
