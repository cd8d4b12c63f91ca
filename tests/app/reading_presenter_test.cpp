#include "app/reading_presenter.h"

#include <gtest/gtest.h>

#include "app/main_window_fakes.h"
#include "common/shown_messages.h"
#include "common/status_codes.h"

namespace vesmera {
namespace {

using namespace testing_fakes;

class StillClock final : public IReadingClock {
public:
    std::int64_t SteadyMs() override { return 0; }
    std::int64_t WallMs() override { return 0; }
};

PollReading Weight(const std::string& text, long double weight, std::int32_t status) {
    PollReading r;
    r.face = PollReading::Face::Indicator;
    r.weightText = text;
    r.value = ReadingValue{weight, status};
    r.fresh = true;
    r.scriptWaitMs = 40;
    return r;
}

PollReading LinkLost() {
    PollReading r = PollReading::Message(kMessageLinkLost);
    r.weightText = "-5001";
    r.value = ReadingValue{-5001, kStatusUnstable};
    r.scriptWaitMs = 40;
    return r;
}

// A failed poll before the link is lost: only the weight text, behind whatever is shown.
PollReading Failed(const std::string& weightText, const char* failure = nullptr) {
    PollReading r;
    r.weightText = weightText;
    if (failure)
        r.failure = failure;
    return r;
}

// A tab change's blank message, which the window has already put on the message screen.
PollReading Blank() {
    PollReading r;
    r.messageText = " ";
    return r;
}

PollReading Placeholder(std::int64_t scriptWaitMs) {
    PollReading r;
    r.weightText = "-------";
    r.scriptWaitMs = scriptWaitMs;
    return r;
}

struct Step {
    PollReading reading;
    bool noted = false; // already on the views: not rendered again
    // What clients are told afterwards.
    std::string text;
    bool message = false;
    std::string tooltip;
};

struct PresenterRow {
    const char* name;
    std::vector<Step> steps;
    std::int64_t staleAfterMs;
};

class PresenterTest : public ::testing::TestWithParam<PresenterRow> {};

// Clients are told what the window shows, from the readings alone: the message while the
// message screen stands in the weight's place, else the indicator's text.
TEST_P(PresenterTest, TellsClientsWhatTheReadingsPutOnTheDisplay) {
    Journal journal;
    FakeIndicator indicator{journal, "ind"};
    FakeScreen message{journal, "lcd1"};
    StillClock clock;
    LiveReading reading{clock};
    FailureReport failures;
    std::vector<ReadingPresenter::Shown> described;
    ReadingPresenter presenter{
        indicator, message, reading,
        failures,  100,     [&](const ReadingPresenter::Shown& s) { described.push_back(s); }};
    std::size_t step = 0;
    for (const Step& s : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(step++));
        if (s.noted)
            presenter.Note(s.reading);
        else
            presenter.Present(s.reading);
        EXPECT_EQ(reading.Last().text, s.text);
        EXPECT_EQ(presenter.Current().messageShown, s.message);
        EXPECT_EQ(failures.Text(), s.tooltip);
        // The views show what clients are told.
        if (!s.noted) {
            EXPECT_EQ(s.message ? message.text_ : indicator.text_, s.text);
            if (s.message) {
                EXPECT_TRUE(message.visible_ && !indicator.visible_);
            }
        }
        ASSERT_FALSE(described.empty());
        EXPECT_EQ(described.back().indicatorText, indicator.text_);
    }
    EXPECT_EQ(reading.StaleAfterMs(), GetParam().staleAfterMs);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PresenterTest,
    ::testing::Values(PresenterRow{"AWeightThenTheLinkLostThenFailuresBehindTheMessage",
                                   {{Weight("12,5", 12.5L, kStatusStable), false, "12,5", false,
                                     ""},
                                    {LinkLost(), false, kMessageLinkLost, true, ""},
                                    {Failed("-5001"), false, kMessageLinkLost, true, ""}},
                                   1000},
                      PresenterRow{"FailuresBeforeTheLossChangeOnlyTheTextAndKeepTheReason",
                                   {{Weight("3", 3, kStatusUnstable), false, "3", false, ""},
                                    {Failed("3", "ReadFile function failed (Error: 5)"), false, "3",
                                     false, "ReadFile function failed (Error: 5)"},
                                    {Weight("4", 4, kStatusUnstable), false, "4", false, ""}},
                                   1000},
                      PresenterRow{"ATabChangeBlanksAMessageOnlyWhereItIsShown",
                                   {{PollReading::Message(kMessageServerNotFound), false,
                                     kMessageServerNotFound, true, ""},
                                    {Blank(), true, " ", true, ""},
                                    {Weight("7", 7, kStatusStable), false, "7", false, ""},
                                    {Blank(), true, "7", false, ""}},
                                   1000},
                      PresenterRow{"AScriptLongerThanTheTimerSetsThePace",
                                   {{Placeholder(800), false, "-------", false, ""}},
                                   2400}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vesmera
