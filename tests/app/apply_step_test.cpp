#include "app/apply_step.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_window_fakes.h"

namespace vesmera {
namespace {

using namespace testing_fakes;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ApplyStepTest : public ::testing::Test {
protected:
    ApplyTargets Targets() {
        return {source, held, names,  indicator, lcd1,   lcd2,   tabs,
                skin,   port, timer1, timer2,    timer3, timer5, tcp};
    }
    void Apply() { ApplyStep(Targets()).Run(); }
    bool Logged(const std::string& entry) const {
        return std::find(journal.begin(), journal.end(), entry) != journal.end();
    }
    // The journal entries after the load and the colour and skin steps.
    std::vector<std::string> ModeSteps() const {
        auto from = std::find_if(journal.begin(), journal.end(),
                                 [](const std::string& e) { return e.rfind("skin.", 0) == 0; });
        while (from != journal.end() && from->rfind("skin.", 0) == 0) {
            ++from;
        }
        return {from, journal.end()};
    }

    Journal journal;
    FakeSource source{journal};
    HeldSettings held;
    std::vector<std::string> names;
    FakeIndicator indicator{journal, "ind"};
    FakeScreen lcd1{journal, "lcd1"};
    FakeScreen lcd2{journal, "lcd2"};
    FakeTabs tabs{journal};
    FakeSkin skin{journal};
    FakePort port{journal};
    FakeTimer timer1{journal, "T1"};
    FakeTimer timer2{journal, "T2"};
    FakeTimer timer3{journal, "T3"};
    FakeTimer timer5{journal, "T5"};
    FakeLineChannel tcp{journal};
};

TEST_F(ApplyStepTest, FirstStartWithDefaultsRunsEveryStepInOrder) {
    Apply();
    const std::string bg = Num(clBlack), red = Num(clRed);
    EXPECT_THAT(journal,
                ElementsAre("load", "ind.NumberBackColor=" + bg, "ind.BackColor=" + bg,
                            "lcd1.Color=" + bg, "lcd1.PixelOff=" + bg, "lcd1.FontColor=" + red,
                            "lcd2.Color=" + bg, "lcd2.PixelOff=" + bg, "lcd2.FontColor=" + red,
                            "skin.Name=Cold (internal)", "skin.On", "ind.Width=403", "ind.Top=0",
                            "ind.Height=127", "lcd1.Width=403", "lcd1.Top=0", "lcd1.Height=127",
                            "lcd2.Width=403", "lcd2.Top=0", "lcd2.Height=127", "T2.Off", "T3.Off",
                            "T1.On", "T5.Off", "lcd1.Hide", "ind.Show", "port.Baud=19200",
                            "port.Name=Com1", "port.8N1", "port.Open"));
    EXPECT_TRUE(port.open_);
    EXPECT_EQ(held.port, "Com1");
}

TEST_F(ApplyStepTest, NetworkModeFillsTabsInFileOrderAndStopsTheSerialSide) {
    source.settings_.networkMode = true;
    source.settings_.ip = "10.1.2.3";
    source.settings_.serverPort = 70000; // only the low 16 bits are a TCP port
    source.list_ = {"Весы 1", "Весы 2", "Склад"};
    tabs.tabs_ = {"old"};
    Apply();
    EXPECT_THAT(ModeSteps(),
                ElementsAre("ind.Width=403", "ind.Top=20", "ind.Height=107", "lcd1.Width=403",
                            "lcd1.Top=20", "lcd1.Height=107", "lcd2.Width=403", "lcd2.Top=20",
                            "lcd2.Height=107", "list.Read", "tabs.Clear", "tabs.Add=Весы 1",
                            "tabs.Add=Весы 2", "tabs.Add=Склад", "tcp.Host=10.1.2.3",
                            "tcp.Port=4464", "T1.Off", "T5.Off", "T2.On", "T3.On", "port.Close",
                            "ind.Text=-------"));
    EXPECT_THAT(names, ElementsAre("Весы 1", "Весы 2", "Склад"));
}

TEST_F(ApplyStepTest, NetworkModeWithoutListFileOnlyMovesTheWidgets) {
    source.settings_.networkMode = true;
    source.listExists_ = false;
    names = {"kept"};
    tabs.tabs_ = {"kept"};
    Apply();
    const auto steps = ModeSteps();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), "list.Read");
    EXPECT_EQ(lcd2.top_, 20);
    EXPECT_THAT(tabs.tabs_, ElementsAre("kept"));
    EXPECT_THAT(names, ElementsAre("kept"));
    EXPECT_FALSE(timer2.IsEnabled());
    EXPECT_FALSE(Logged("port.Close"));
}

TEST_F(ApplyStepTest, LeavingLocal643ForNetworkStopsTimer5) {
    source.settings_.protocol = "6.43";
    Apply();
    EXPECT_TRUE(timer5.IsEnabled());
    EXPECT_FALSE(timer1.IsEnabled());
    source.settings_.networkMode = true;
    Apply();
    EXPECT_FALSE(timer5.IsEnabled());
    EXPECT_FALSE(timer1.IsEnabled());
    EXPECT_TRUE(timer2.IsEnabled());
    EXPECT_TRUE(timer3.IsEnabled());
    EXPECT_FALSE(port.open_);
}

TEST_F(ApplyStepTest, BadBackgroundStopsAfterTheLoad) {
    source.settings_.background = "black";
    source.settings_.channel = 26;
    source.settings_.delayMs = 500;
    Apply();
    EXPECT_THAT(journal, ElementsAre("load"));
    EXPECT_EQ(held.channel, 26);
    EXPECT_EQ(held.delayMs, 500);
}

TEST_F(ApplyStepTest, BadUnstableColourStopsAtTheFirstFontColour) {
    source.settings_.color1 = "";
    Apply();
    EXPECT_EQ(journal.back(), "lcd1.PixelOff=" + Num(clBlack));
    EXPECT_FALSE(Logged("skin.On"));
}

TEST_F(ApplyStepTest, PortThatDoesNotOpenEndsSilentlyWithEarlierStepsKept) {
    port.failOpen_ = true;
    EXPECT_NO_THROW(Apply());
    EXPECT_EQ(journal.back(), "port.Open");
    EXPECT_TRUE(timer1.IsEnabled());
    EXPECT_TRUE(indicator.visible_);
}

TEST_F(ApplyStepTest, SkinNoneSwitchesSkinningOffWithoutAName) {
    source.settings_.skin = "Нет";
    Apply();
    EXPECT_TRUE(Logged("skin.Off"));
    EXPECT_FALSE(std::any_of(journal.begin(), journal.end(),
                             [](const std::string& e) { return e.rfind("skin.Name", 0) == 0; }));
}

TEST_F(ApplyStepTest, NumericColoursAreConverted) {
    source.settings_.background = "255";
    source.settings_.color1 = "CLYELLOW";
    Apply();
    EXPECT_TRUE(Logged("ind.BackColor=" + Num(clRed)));
    EXPECT_TRUE(Logged("lcd2.FontColor=" + Num(clYellow)));
}

// Timer states before the run, the protocol text, and the states it must leave.
struct ProtocolRow {
    std::string protocol;
    bool t1Before, t5Before, t1After, t5After;
};

class ApplyProtocolTest : public ApplyStepTest,
                          public ::testing::WithParamInterface<ProtocolRow> {};

TEST_P(ApplyProtocolTest, SelectsThePollTimer) {
    const ProtocolRow& row = GetParam();
    timer1.SetEnabled(row.t1Before);
    timer5.SetEnabled(row.t5Before);
    source.settings_.protocol = row.protocol;
    Apply();
    EXPECT_EQ(timer1.IsEnabled(), row.t1After);
    EXPECT_EQ(timer5.IsEnabled(), row.t5After);
    EXPECT_TRUE(port.open_); // the rest of the local branch runs whatever the protocol
}

INSTANTIATE_TEST_SUITE_P(Rows, ApplyProtocolTest,
                         ::testing::Values(ProtocolRow{"Ворлен", false, true, true, false},
                                           ProtocolRow{"6.43", true, false, false, true},
                                           ProtocolRow{"ворлен", false, false, false, false},
                                           ProtocolRow{"ВОРЛЕН", true, false, true, false},
                                           ProtocolRow{"6,43", false, true, false, true},
                                           ProtocolRow{"", true, true, true, true}));

class ApplySpeedTest : public ApplyStepTest,
                       public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(ApplySpeedTest, OnlyTheFiveSpeedsSelectAPortSpeed) {
    port.baud_ = 38400; // what an earlier run left
    source.settings_.baudRate = GetParam().first;
    Apply();
    EXPECT_EQ(port.baud_, GetParam().second);
    EXPECT_TRUE(Logged("port.Open"));
}

INSTANTIATE_TEST_SUITE_P(Rows, ApplySpeedTest,
                         ::testing::Values(std::pair{9600, 9600}, std::pair{14400, 14400},
                                           std::pair{19200, 19200}, std::pair{57600, 57600},
                                           std::pair{4800, 38400}, std::pair{115200, 38400},
                                           std::pair{0, 38400}, std::pair{-19200, 38400}));

} // namespace
} // namespace vesmera
