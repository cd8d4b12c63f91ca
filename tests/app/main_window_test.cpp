#include "app/main_window.h"
#include "event/qt_scheduler.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QPixmapCache>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabBar>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/about_window.h"
#include "app/main_window_fakes.h"
#include "app/resize_rules.h"
#include "automation/fake_channels.h"
#include "automation/private_bus.h"
#include "automation/startup.h"

namespace vesmera {
namespace {

using namespace testing_fakes;
using ::testing::ElementsAre;

class MainWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<TForm1> Create() {
        return std::make_unique<TForm1>(
            MainWindowServices{source, port, port, steps.Scheduler(), *tcpClient, ','});
    }

    // One tick of a timer, its exchange on the line run to the end.
    void Tick(TForm1& form, int timer) {
        form.Timer(timer).Tick();
        steps.Settle();
    }

    Journal journal;
    FakeSource source{journal};
    FakeComPort port;
    StepScheduler steps;
    FakeLineChannel tcp{journal};
    ILineChannel* tcpClient = &tcp;
};

TEST_F(MainWindowTest, FirstStartWithoutSettingsPollsComOneLocally) {
    auto form = Create();
    EXPECT_TRUE(form->Timer(1).IsEnabled());
    EXPECT_FALSE(form->Timer(5).IsEnabled());
    EXPECT_FALSE(form->Timer(2).IsEnabled());
    EXPECT_FALSE(form->Timer(3).IsEnabled());
    EXPECT_TRUE(form->Timer(4).IsEnabled());
    EXPECT_TRUE(form->MessageScreen().isHidden());
    EXPECT_FALSE(form->Indicator().isHidden());
    EXPECT_EQ(port.name, "Com1");
    EXPECT_EQ(port.baud, 19200);
    EXPECT_TRUE(port.open);
    EXPECT_EQ(form->Indicator().geometry(), QRect(0, 0, 403, 127));
}

TEST_F(MainWindowTest, NetworkModeWithThreeTerminals) {
    source.settings_.networkMode = true;
    source.list_ = {"Весы 1", "Весы 2", "Весы 3"};
    auto form = Create();
    ASSERT_EQ(form->TabControl().TabCount(), 3);
    EXPECT_EQ(form->TabControl().TabText(0), "Весы 1");
    EXPECT_EQ(form->TabControl().TabText(2), "Весы 3");
    for (QWidget* w :
         {static_cast<QWidget*>(&form->Indicator()), static_cast<QWidget*>(&form->MessageScreen()),
          static_cast<QWidget*>(&form->Backdrop())}) {
        EXPECT_EQ(w->y(), 20);
        EXPECT_EQ(w->width(), 403);
    }
    EXPECT_FALSE(form->Timer(1).IsEnabled());
    EXPECT_FALSE(form->Timer(5).IsEnabled());
    EXPECT_TRUE(form->Timer(2).IsEnabled());
    EXPECT_TRUE(form->Timer(3).IsEnabled());
    EXPECT_FALSE(port.open);
    EXPECT_EQ(form->IndicatorView().IndicatorString(), "-------");
}

TEST_F(MainWindowTest, NetworkModeWithoutListFileOnlyMovesTheWidgets) {
    source.settings_.networkMode = true;
    source.listExists_ = false;
    auto form = Create();
    EXPECT_EQ(form->Indicator().y(), 20);
    EXPECT_EQ(form->TabControl().TabCount(), 0);
    EXPECT_FALSE(form->Timer(2).IsEnabled());
    EXPECT_TRUE(form->Timer(1).IsEnabled() == false);
    EXPECT_NE(form->IndicatorView().IndicatorString(), "-------");
}

TEST_F(MainWindowTest, Local643ToNetworkStopsTimer5) {
    source.settings_.protocol = "6.43";
    auto form = Create();
    EXPECT_TRUE(form->Timer(5).IsEnabled());
    source.settings_.networkMode = true;
    source.list_ = {"A"};
    form->FormCreate();
    EXPECT_FALSE(form->Timer(5).IsEnabled());
    EXPECT_TRUE(form->Timer(2).IsEnabled());
}

TEST_F(MainWindowTest, Speed4800LeavesTheSpeed) {
    port.baud = 14400;
    source.settings_.baudRate = 4800;
    auto form = Create();
    EXPECT_EQ(port.baud, 14400);
    EXPECT_TRUE(port.open);
}

TEST_F(MainWindowTest, ProtocolDifferingInCaseSelectsNoPoll) {
    source.settings_.protocol = "ворлен";
    auto form = Create();
    EXPECT_FALSE(form->Timer(1).IsEnabled());
    EXPECT_FALSE(form->Timer(5).IsEnabled());
    EXPECT_TRUE(port.open);
}

TEST_F(MainWindowTest, BadBackgroundStopsAfterTheLoad) {
    source.settings_.background = "black";
    source.settings_.channel = 9;
    auto form = Create();
    EXPECT_EQ(form->Settings().channel, 9);
    EXPECT_FALSE(form->Timer(1).IsEnabled());
    EXPECT_FALSE(port.open);
    EXPECT_EQ(port.name, "COM1");
}

TEST_F(MainWindowTest, ApplyStepLeavesTheSharedWeightAlone) {
    auto form = Create();
    form->SharedWeight() = {12.5L, -5002, 7};
    form->FormCreate();
    EXPECT_EQ(form->SharedWeight().weight, 12.5L);
    EXPECT_EQ(form->SharedWeight().status, -5002);
    EXPECT_EQ(form->SharedWeight().errorCounter, 7);
}

TEST_F(MainWindowTest, ComponentsCarryTheirStoredConfiguration) {
    auto form = Create();
    const TLCDScreen& lcd1 = form->MessageScreen();
    EXPECT_TRUE(lcd1.AnimationEnabled());
    EXPECT_TRUE(lcd1.AnimationRepeating());
    EXPECT_EQ(lcd1.AnimationDelay(), 30u);
    EXPECT_EQ(lcd1.PixelShape(), psRound);
    EXPECT_EQ(lcd1.PixelSize(), pix3x3);
    EXPECT_EQ(lcd1.PixelSpacing(), 0);
    EXPECT_EQ(lcd1.Font().Height, -32);
    EXPECT_EQ(lcd1.Font().Pitch, fpFixed);
    ASSERT_NE(lcd1.LCDAnimator(), nullptr);
    EXPECT_EQ(lcd1.LCDAnimator()->Code(), std::vector<std::string>{"[HorzScroll(-1); ]"});
    const TLCDScreen& lcd2 = form->Backdrop();
    EXPECT_FALSE(lcd2.AnimationEnabled());
    EXPECT_EQ(lcd2.PixelSize(), pix2x2);
    EXPECT_EQ(lcd2.PixelSpacing(), 1);
    EXPECT_EQ(lcd2.Font().Height, -11);
    EXPECT_EQ(lcd2.LCDAnimator(), nullptr);
    const TZyrelLiquidIndicator& z = form->Indicator();
    EXPECT_EQ(z.SignNumber(), 7);
    EXPECT_EQ(z.IndicatorKind(), ik9segment);
    EXPECT_EQ(z.OuterBevel(), bkDown);
    EXPECT_EQ(z.IndicatorStyle(), isThick);
    EXPECT_EQ(z.BevelColor(), clMaroon);
    EXPECT_EQ(z.NumberForeColor1(), RGB(255, 255, 128));
    // The apply step's colours: the background setting on both screens and the indicator.
    EXPECT_EQ(z.BackColor(), clBlack);
    EXPECT_EQ(lcd2.Font().Color, clRed);
    // IdTCPClient1: 100 ms to connect and to read a line, Nagle off.
    EXPECT_EQ(tcp.connectTimeoutMs, 100);
    EXPECT_EQ(tcp.readTimeoutMs, 100);
    EXPECT_FALSE(tcp.nagle);
}

TEST_F(MainWindowTest, TimersHaveTheirIntervals) {
    auto form = Create();
    EXPECT_EQ(form->Timer(1).Interval(), 100);
    EXPECT_EQ(form->Timer(2).Interval(), 100);
    EXPECT_EQ(form->Timer(3).Interval(), 3000);
    EXPECT_EQ(form->Timer(4).Interval(), 10000);
    EXPECT_EQ(form->Timer(5).Interval(), 100);
}

TEST_F(MainWindowTest, StacksTheBackdropLowestAndTheIndicatorOnTop) {
    auto form = Create();
    const QObjectList& children = form->TabControl().children();
    const auto at = [&](QObject* o) { return children.indexOf(o); };
    EXPECT_LT(at(&form->Backdrop()), at(&form->MessageScreen()));
    EXPECT_LT(at(&form->MessageScreen()), at(&form->Indicator()));
}

TEST_F(MainWindowTest, ContextMenuInOrder) {
    auto form = Create();
    QStringList captions;
    for (QAction* a : form->ContextMenu().actions()) {
        captions << a->text();
    }
    EXPECT_EQ(captions,
              QStringList({QString::fromUtf8("Настройки"), QString::fromUtf8("Свернуть в трей"),
                           QString::fromUtf8("Выход"), QString::fromUtf8("О Программе")}));
    EXPECT_EQ(form->TrayIcon().toolTip(), "Vesmera v.3.1");
    EXPECT_FALSE(form->TrayIcon().isVisible());
}

TEST_F(MainWindowTest, SettingsItemRunsTheDialogSeamAfterItsActionReturns) {
    auto form = Create();
    int shown = 0;
    form->SetSettingsDialog([&] { ++shown; });
    form->ContextMenu().actions()[0]->trigger();
    // The modal dialog would hold the trigger's caller (an accessibility action) until closed.
    EXPECT_EQ(shown, 0);
    QApplication::processEvents();
    EXPECT_EQ(shown, 1);
}

TEST_F(MainWindowTest, HidingToTrayNeverLosesTheWindow) {
    auto form = Create();
    form->show();
    form->HideToTray();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_TRUE(form->isHidden());
        EXPECT_TRUE(form->TrayIcon().isVisible());
    } else {
        EXPECT_TRUE(form->isMinimized());
    }
    form->RestoreFromTray();
    EXPECT_FALSE(form->isHidden());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(form->TrayIcon().isVisible());
}

TEST_F(MainWindowTest, WindowDraggedTo120HighSnapsTo150) {
    auto form = Create();
    form->show();
    form->resize(403, 120);
    QApplication::processEvents();
    // The outer height snaps; the client area is what the frame leaves of it.
    EXPECT_EQ(form->frameGeometry().height(), 150);
    EXPECT_EQ(form->TabControl().height(), form->height());
    EXPECT_EQ(form->Indicator().height(), form->height());
}

// "Выход" and the window's close button ask the closing question once; "Yes" ends the
// program, "No" leaves the window as it was.
struct ClosingRow {
    bool viaMenu;
    bool answerYes;
};

class ClosingQuestion : public MainWindowTest, public ::testing::WithParamInterface<ClosingRow> {};

TEST_P(ClosingQuestion, IsAskedOnce) {
    auto form = Create();
    form->show();
    int asked = 0, quits = 0;
    form->SetCloseCheck([&] {
        ++asked;
        return GetParam().answerYes;
    });
    form->SetQuitAction([&] { ++quits; });
    if (GetParam().viaMenu) {
        const auto actions = form->ContextMenu().actions();
        const auto exit = std::find_if(actions.begin(), actions.end(), [](QAction* a) {
            return a->text() == QString::fromUtf8("Выход");
        });
        ASSERT_NE(exit, actions.end());
        (*exit)->trigger();
    } else {
        form->close();
    }
    QApplication::processEvents();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(quits, GetParam().answerYes ? 1 : 0);
    EXPECT_TRUE(form->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Rows, ClosingQuestion,
                         ::testing::Values(ClosingRow{true, true}, ClosingRow{true, false},
                                           ClosingRow{false, true}, ClosingRow{false, false}));

TEST_F(MainWindowTest, AssistiveTechnologyFindsTheWindowAndOpensItsMenu) {
    auto form = Create();
    form->show();
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(form.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name), "Vesmera");
    QAccessibleActionInterface* actions = window->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
    actions->doAction(QAccessibleActionInterface::showMenuAction());
    QApplication::processEvents();
    ASSERT_TRUE(form->ContextMenu().isVisible());
    // A popup is in no window list of the application: the window lists it last.
    QAccessibleInterface* menu = window->child(window->childCount() - 1);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->object(), &form->ContextMenu());
    EXPECT_EQ(window->indexOfChild(menu), window->childCount() - 1);
    ASSERT_EQ(menu->childCount(), 4);
    EXPECT_EQ(menu->role(), QAccessible::PopupMenu);
    EXPECT_EQ(menu->child(2)->text(QAccessible::Name), QString::fromUtf8("Выход"));
    // The zero button is never shown, so assistive technology never meets it.
    for (int i = 0; i < window->childCount(); ++i)
        EXPECT_NE(window->child(i)->object(), form->findChild<QPushButton*>("Button1"));
    form->ContextMenu().hide();
}

TEST_F(MainWindowTest, ShownAtItsDesignSizeAndSnapsOnlyAfterShowing) {
    auto form = Create();
    form->show();
    QApplication::processEvents();
    // The first sizing measures the client area alone, before any frame exists.
    EXPECT_EQ(form->size(), QSize(403, 127));
}

TEST_F(MainWindowTest, Window300HighInLocalMode) {
    auto form = Create();
    form->show();
    form->resize(403, 300);
    QApplication::processEvents();
    EXPECT_EQ(form->MessageScreenView().Height(), 200);
    EXPECT_EQ(form->MessageScreenView().FontSize(), 20);
    EXPECT_EQ(form->Indicator().height(), 300);
    EXPECT_EQ(form->Backdrop().height(), 300);
}

TEST_F(MainWindowTest, FontRuleOnHeightsSetDirectly) {
    auto form = Create();
    ScreenAdapter& lcd = form->MessageScreenView();
    lcd.SetHeight(70);
    ApplyMessageFontRule(lcd);
    EXPECT_EQ(lcd.FontSize(), 10);
    lcd.SetHeight(71);
    ApplyMessageFontRule(lcd);
    EXPECT_EQ(lcd.FontSize(), 7);
}

TEST_F(MainWindowTest, AboutWindowBesideTheMainWindow) {
    auto form = Create();
    form->move(30, 40);
    form->AboutWindow().PlaceBeside(*form);
    EXPECT_EQ(form->AboutWindow().pos(), QPoint(130, 40));
}

TEST_F(MainWindowTest, ButtonOneSendsTheVorlenZeroFrame) {
    source.settings_.channel = 1;
    auto form = Create();
    port.written.clear();
    form->Button1Click();
    steps.Settle();
    ASSERT_EQ(port.written.size(), 6u);
    EXPECT_EQ(static_cast<unsigned char>(port.written[2]), 0xC0);
}

TEST_F(MainWindowTest, TabChangeBlanksTheMessage) {
    source.settings_.networkMode = true;
    source.list_ = {"A", "B"};
    auto form = Create();
    form->MessageScreenView().SetText("Сервер не найден");
    form->TabControl().TabBar()->setCurrentIndex(1);
    EXPECT_EQ(form->MessageScreenView().Text(), " ");
}

TEST_F(MainWindowTest, TooltipShowsWhyThePortFailedUntilAPollSucceeds) {
    port.failOpen = true;
    auto form = Create();
    const QString reason = "Unable to open com port (Error: 13)";
    EXPECT_EQ(form->Indicator().toolTip(), reason);
    EXPECT_EQ(form->MessageScreen().toolTip(), reason);

    // The supervision tick reopens the port; the reason stays until a reading comes.
    port.failOpen = false;
    Tick(*form, 4);
    EXPECT_TRUE(port.open);
    EXPECT_EQ(form->Indicator().toolTip(), reason);

    port.reply = std::string("\xFF\x01\xC3\x56\x34\x12\x12\x00\xFF\xFF", 10);
    Tick(*form, 1);
    EXPECT_EQ(form->Indicator().Indicatorstring(), "1234,56");
    EXPECT_TRUE(form->Indicator().toolTip().isEmpty());
    EXPECT_TRUE(form->MessageScreen().toolTip().isEmpty());
}

// The local mode watches its port's device: pulled out, the port is closed at once; back, it is
// opened and probed and the poll timer chosen again well before Timer4's next tick.
TEST_F(MainWindowTest, AReplugedAdapterIsOpenedAgainWithoutWaitingForTimer4) {
    char pattern[] = "/tmp/vesmera-replug-XXXXXX";
    const std::filesystem::path root = ::mkdtemp(pattern);
    const std::filesystem::path byId = root / "by-id";
    const auto plug = [&] {
        std::filesystem::create_directories(byId);
        std::ofstream(root / "ttyUSB0") << "";
        std::filesystem::create_symlink("../ttyUSB0", byId / "scale");
    };
    plug();
    source.settings_.port = (byId / "scale").string();
    auto form = Create();
    ASSERT_TRUE(port.open);
    ASSERT_TRUE(form->Timer(1).IsEnabled());
    Tick(*form, 1); // a poll follows the device the settings name

    std::filesystem::remove_all(byId);
    std::filesystem::remove(root / "ttyUSB0");
    steps.Pump();
    steps.Settle();
    EXPECT_FALSE(port.open);
    EXPECT_TRUE(form->Timer(1).IsEnabled()) << "the polls go on and count their failures";

    form->Timer(1).SetEnabled(false); // as after a failed supervision tick
    port.written.clear();
    plug();
    const std::int64_t pluggedAt = steps.NowMs();
    for (int step = 0; step < 100 && !port.open; ++step) {
        steps.Pump();
        steps.Advance(10);
    }
    EXPECT_TRUE(port.open);
    EXPECT_LT(steps.NowMs() - pluggedAt, 200);
    steps.Settle();
    EXPECT_EQ(port.written, "1");
    EXPECT_TRUE(form->Timer(1).IsEnabled());
    std::filesystem::remove_all(root);
}

// Pixmaps the style drew under an old palette are never drawn again once the skin changes;
// keeping them let every skin change grow the program until the cache was full.
TEST_F(MainWindowTest, ASkinChangeDropsThePixmapsDrawnForTheOldPalette) {
    auto form = Create();
    QPixmap drawn(16, 16);
    const QPixmapCache::Key key = QPixmapCache::insert(drawn);
    form->FormCreate(); // the same skin: nothing to redraw
    EXPECT_TRUE(QPixmapCache::find(key, &drawn));
    source.settings_.skin = "DarkGlass";
    form->FormCreate();
    EXPECT_FALSE(QPixmapCache::find(key, &drawn));
}

// "Применить" runs the apply step while work started under the old settings is still in
// flight: a zero, a poll, ticks held behind it. That work ends with no say: what it would show,
// count or restore is dropped, and the timers stay as the apply step set them.
class ApplyFenceTest;
struct FenceRow {
    const char* name;
    std::function<void(ApplyFenceTest&)> settings; // the settings the work starts under
    std::function<void(ApplyFenceTest&, TForm1&)> startWork;
    std::function<void(HeldSettings&)> change; // what the dialog saves before the apply step
    std::function<void(ApplyFenceTest&, TForm1&)> expect;
};

void PrintTo(const FenceRow& row, std::ostream* os) {
    *os << row.name;
}

class ApplyFenceTest : public MainWindowTest, public ::testing::WithParamInterface<FenceRow> {
public:
    using MainWindowTest::port;
    using MainWindowTest::source;
    ApplyFenceTest() {
        tcpClient = &server;
        source.settings_.channel = 1;
        source.list_ = {"T1"};
    }
    static void Network(HeldSettings& s) { s.networkMode = true; }
    static void LocalVorlen(HeldSettings& s) {
        s.networkMode = false;
        s.protocol = kProtocolVorlen;
    }
    // A network poll whose request is out and whose reply is still on its way.
    void PollInFlight(TForm1& form) {
        form.Timer(2).Tick();
        steps.Advance(10);
        ASSERT_EQ(serverLog->written, std::vector<std::string>{"T1"});
    }

    std::shared_ptr<test::ChannelLog> serverLog = std::make_shared<test::ChannelLog>();
    test::ScriptedChannel server{steps.Scheduler(),
                                 test::ScriptedPeer{true, {{50, "12,5"}, {0, "-5002"}}, false},
                                 serverLog};
};

TEST_P(ApplyFenceTest, WorkOfTheOldSettingsHasNoSay) {
    const FenceRow& row = GetParam();
    row.settings(*this);
    auto form = Create();
    row.startWork(*this, *form);
    row.change(source.settings_);
    form->FormCreate();
    steps.Settle();
    row.expect(*this, *form);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ApplyFenceTest,
    ::testing::Values(
        FenceRow{"A643ZeroThenVorlenLeavesOnlyTimer1Polling",
                 [](ApplyFenceTest& t) { t.source.settings_.protocol = kProtocol643; },
                 [](ApplyFenceTest&, TForm1& form) { form.Button1Click(); },
                 ApplyFenceTest::LocalVorlen,
                 [](ApplyFenceTest&, TForm1& form) {
                     EXPECT_TRUE(form.Timer(1).IsEnabled());
                     EXPECT_FALSE(form.Timer(5).IsEnabled());
                 }},
        FenceRow{"A643ZeroThenNetworkLeavesTheClosedPortUnpolled",
                 [](ApplyFenceTest& t) { t.source.settings_.protocol = kProtocol643; },
                 [](ApplyFenceTest&, TForm1& form) { form.Button1Click(); },
                 ApplyFenceTest::Network,
                 [](ApplyFenceTest&, TForm1& form) {
                     EXPECT_FALSE(form.Timer(5).IsEnabled());
                     EXPECT_FALSE(form.Timer(1).IsEnabled());
                     EXPECT_TRUE(form.Timer(2).IsEnabled());
                 }},
        FenceRow{"ASerialPollThenNetworkLeavesThePlaceholder",
                 [](ApplyFenceTest& t) { t.port.closedFails = true; },
                 [](ApplyFenceTest&, TForm1& form) { form.Timer(1).Tick(); },
                 ApplyFenceTest::Network,
                 [](ApplyFenceTest&, TForm1& form) {
                     // The port closed under the poll; its failed read counts for nothing.
                     EXPECT_EQ(form.Indicator().Indicatorstring(), "-------");
                     EXPECT_EQ(form.SharedWeight().errorCounter, 0);
                     EXPECT_TRUE(form.Indicator().toolTip().isEmpty());
                 }},
        FenceRow{"ANetworkReplyThenLocalShowsNothingOfTheServer",
                 [](ApplyFenceTest& t) { ApplyFenceTest::Network(t.source.settings_); },
                 [](ApplyFenceTest& t, TForm1& form) { t.PollInFlight(form); },
                 ApplyFenceTest::LocalVorlen,
                 [](ApplyFenceTest& t, TForm1& form) {
                     EXPECT_EQ(t.serverLog->linesRead, 2); // the reply was read all the same
                     EXPECT_EQ(form.Indicator().Indicatorstring(), "-------");
                     EXPECT_TRUE(form.IndicatorView().IsVisible());
                     EXPECT_FALSE(form.MessageScreenView().IsVisible());
                 }},
        FenceRow{"NetworkTicksHeldBehindAReplyDoNotRunInLocalMode",
                 [](ApplyFenceTest& t) { ApplyFenceTest::Network(t.source.settings_); },
                 [](ApplyFenceTest& t, TForm1& form) {
                     t.PollInFlight(form);
                     form.Timer(3).Tick();
                     form.Timer(2).Tick();
                 },
                 ApplyFenceTest::LocalVorlen,
                 [](ApplyFenceTest& t, TForm1& form) {
                     EXPECT_FALSE(form.Timer(2).IsEnabled());
                     EXPECT_FALSE(form.Timer(3).IsEnabled());
                     EXPECT_EQ(t.serverLog->written, std::vector<std::string>{"T1"});
                     EXPECT_EQ(t.serverLog->connects, 1);
                 }}),
    [](const ::testing::TestParamInfo<FenceRow>& info) { return std::string(info.param.name); });

// The reading that clients follow: what the window shows after each tick.
class MainWindowReadingTest : public MainWindowTest {
protected:
    class Clock final : public IReadingClock {
    public:
        std::int64_t SteadyMs() override { return steady; }
        std::int64_t WallMs() override { return 1'765'000'000'000; }
        std::int64_t steady = 0;
    };

    std::unique_ptr<TForm1> CreateFollowed() {
        MainWindowServices services{source, port, port, steps.Scheduler(), tcp, ','};
        services.readingClock = &clock;
        auto form = std::make_unique<TForm1>(services);
        form->Reading().SetListener([this](const ReadingChange& c) { changes.push_back(c); });
        return form;
    }
    static std::string VorlenReply(unsigned char status) {
        return std::string("\xFF\x01\xC3\x56\x34\x12", 6) + static_cast<char>(status) +
               std::string("\x00\xFF\xFF", 3);
    }

    Clock clock;
    std::vector<ReadingChange> changes;
};

TEST_F(MainWindowReadingTest, OneChangePerDifferenceAndNoneWhileTheWeightHolds) {
    source.settings_.channel = 1;
    auto form = CreateFollowed();
    changes.clear();
    port.reply = VorlenReply(0x12);
    Tick(*form, 1);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_DOUBLE_EQ(changes[0].weight, 1234.56);
    EXPECT_EQ(changes[0].status, kStatusStable);
    EXPECT_EQ(changes[0].text, "1234,56");
    for (int i = 0; i < 5; ++i)
        Tick(*form, 1);
    Tick(*form, 4);
    EXPECT_EQ(changes.size(), 1u);

    // Assistive technology reads the weight and its stability from the indicator.
    QAccessibleInterface* indicator = QAccessible::queryAccessibleInterface(&form->Indicator());
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->role(), QAccessible::StaticText);
    EXPECT_EQ(indicator->text(QAccessible::Name), "1234,56");
    EXPECT_EQ(indicator->text(QAccessible::Description), QString::fromUtf8("вес стабилен"));

    port.reply = VorlenReply(0x02); // the same weight, no longer stable
    Tick(*form, 1);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].status, kStatusUnstable);
    EXPECT_EQ(changes[1].sequence, changes[0].sequence + 1);
    EXPECT_EQ(indicator->text(QAccessible::Description), QString::fromUtf8("вес нестабилен"));
}

TEST_F(MainWindowReadingTest, LinkLossIsOneChangeWithTheMessageAndNotFresh) {
    source.settings_.channel = 1;
    auto form = CreateFollowed();
    port.reply = VorlenReply(0x12);
    Tick(*form, 1);
    EXPECT_TRUE(form->Reading().Fresh());
    changes.clear();

    port.reply.clear();
    for (int i = 0; i < 15; ++i)
        Tick(*form, 1);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back().text, "С терминалом нет связи");
    EXPECT_EQ(
        std::count_if(changes.begin(), changes.end(),
                      [](const ReadingChange& c) { return c.text == "С терминалом нет связи"; }),
        1);
    QAccessibleInterface* screen = QAccessible::queryAccessibleInterface(&form->MessageScreen());
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->role(), QAccessible::StaticText);
    EXPECT_EQ(screen->text(QAccessible::Name), QString::fromUtf8("С терминалом нет связи"));
    EXPECT_FALSE(form->Reading().Fresh());

    // The terminal answers again: the weight returns as one more change, fresh again.
    const std::size_t before = changes.size();
    port.reply = VorlenReply(0x12);
    Tick(*form, 1);
    ASSERT_EQ(changes.size(), before + 1);
    EXPECT_EQ(changes.back().text, "1234,56");
    EXPECT_TRUE(form->Reading().Fresh());
    // The hidden screen no longer names the old message.
    EXPECT_EQ(screen->text(QAccessible::Name), QString());
}

// The poll period is the timer's interval or, when longer, the waits of the poll's own script:
// the "Ворлен" poll waits the delay once, the "6.43" poll twice.
TEST_F(MainWindowReadingTest, AGoodReadingGoesStaleAfterThreePollPeriods) {
    struct Row {
        const char* protocol;
        std::int32_t delayMs;
        int timer;
        std::string reply;
        const char* shown;
        std::int64_t staleAfterMs;
    };
    const std::string reply643 = "\x02 123.45"
                                 "1\r";
    for (const Row& row : {Row{kProtocolVorlen, 400, 1, VorlenReply(0x12), "1234,56", 1200},
                           Row{kProtocol643, 400, 5, reply643, "123,45", 2400},
                           Row{kProtocol643, 40, 5, reply643, "123,45", 1000}}) {
        SCOPED_TRACE(std::string(row.protocol) + " " + std::to_string(row.delayMs));
        source.settings_.channel = 1;
        source.settings_.protocol = row.protocol;
        source.settings_.delayMs = row.delayMs;
        clock.steady = 0;
        auto form = CreateFollowed();
        port.reply = row.reply;
        Tick(*form, row.timer);
        ASSERT_EQ(form->Indicator().Indicatorstring(), row.shown); // the poll succeeded
        clock.steady += row.staleAfterMs;
        EXPECT_TRUE(form->Reading().Fresh());
        clock.steady += 1;
        EXPECT_FALSE(form->Reading().Fresh());
    }
}

TEST_F(MainWindowReadingTest, TerminalIsTheSelectedTabInNetworkModeOnly) {
    {
        auto local = CreateFollowed();
        EXPECT_EQ(local->Reading().Terminal(), "");
    }
    source.settings_.networkMode = true;
    source.list_ = {"Весы 1", "Весы 2"};
    auto form = CreateFollowed();
    EXPECT_EQ(form->Reading().Terminal(), "Весы 1");
    form->TabControl().TabBar()->setCurrentIndex(1);
    EXPECT_EQ(form->Reading().Terminal(), "Весы 2");
}

// In network mode a client asks the running window which terminal its readings are of.
TEST_F(MainWindowReadingTest, ClientsAskTheSelectedTerminalOverTheBus) {
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Running());
    source.settings_.networkMode = true;
    source.list_ = {"Весы 1", "Весы 2"};
    auto form = CreateFollowed();
    QtScheduler scheduler;
    test::ScriptedChannelFactory channels{scheduler};
    ServerCallPool calls{channels};
    AutomationServer server(StartSwitches{StartMode::smStandalone, false},
                            AutomationContext{form->Settings(), form->SharedWeight(),
                                              form->TcpClient(), calls,
                                              [](std::function<void()> done) { done(); }},
                            [] {});
    server.SetReading(&form->Reading());
    ASSERT_EQ(server.Start(bus.Connect("server")), BusStart::Serving);
    QDBusConnection client = bus.Connect("client");
    const auto terminal = [&client] {
        return client
            .call(QDBusMessage::createMethodCall("Vesmera.ScAuto", "/Vesmera/Reading",
                                                 "Vesmera.Reading", "Terminal"),
                  QDBus::BlockWithGui, 10000)
            .arguments()
            .value(0)
            .toString();
    };
    EXPECT_EQ(terminal(), "Весы 1");
    form->TabControl().TabBar()->setCurrentIndex(1);
    EXPECT_EQ(terminal(), "Весы 2");
}

} // namespace
} // namespace vesmera
