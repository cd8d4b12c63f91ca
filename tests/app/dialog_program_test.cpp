// The settings dialog wired to a real main window as the program wires them: its saves reach
// the window through the apply step, and "<0>" reaches the terminal or the weight server.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <memory>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/main_window_fakes.h"
#include "app/program.h"
#include "app/settings_source.h"
#include "event/qt_scheduler.h"
#include "net/net_test_support.h"
#include "net/tcp_line_channel.h"
#include "net/thread_resolver.h"
#include "settings/file_system.h"
#include "settings/test_files.h"
#include "terminal-sim/sim_terminal.h"

namespace vesmera {
namespace {

using namespace testing_fakes;

class DialogProgramTest : public ::testing::Test {
protected:
    void TearDown() override {
        dialog.reset();
        form.reset();
    }

    void Write(const std::string& name, const std::string& bytes) {
        testing_files::WriteBytes(dir_.File(name), bytes);
    }
    std::string Read(const std::string& name) { return testing_files::ReadBytes(dir_.File(name)); }

    // The main window (its creation runs the apply step), then the dialog, as at start.
    void Start() {
        const std::string d = dir_.Dir();
        source = std::make_unique<StoreSettingsSource>([d] { return d; }, RealFileSystem());
        form =
            std::make_unique<TForm1>(MainWindowServices{*source, port, port, scheduler, tcp, ','});
        dialog = std::make_unique<TForm2>(
            SettingsDialogDeps(*form, source->Store(), dialogList, calls), form.get());
        dialog->show();
    }

    static std::string NetworkSettings(std::uint16_t serverPort) {
        return "[Общие]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(serverPort) +
               "\r\nСетевой режим=1\r\n";
    }

    testing_files::TempDir dir_;
    FakeComPort port;
    // Runs the event loop until `done` holds; the exchanges end there.
    static void Await(const std::function<bool()>& done) {
        for (int i = 0; i < 500 && !done(); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_TRUE(done());
    }
    // The main connection, as Timer2's tick would make it. The window's own network timers are
    // stopped first: a tick of theirs on a loaded machine would start an exchange on the same
    // channel while the test's connect is in flight.
    void ConnectMain() {
        form->Timer(2).SetEnabled(false);
        form->Timer(3).SetEnabled(false);
        bool ended = false;
        tcp.Connect([&ended](const LineResult& result) {
            EXPECT_TRUE(result.Ok());
            ended = true;
        });
        Await([&ended] { return ended; });
    }

    QtScheduler scheduler; // the program's own: the polls run in the dialog's event loop
    ThreadResolver resolver{scheduler};
    TcpLineChannel tcp{scheduler, resolver};
    TcpLineChannelFactory channels{scheduler, resolver};
    ServerCallPool calls{channels};
    TerminalListFile dialogList;
    std::unique_ptr<StoreSettingsSource> source;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm2> dialog;
};

TEST_F(DialogProgramTest, PickingNoSkinSwitchesSkinningOffAtOnce) {
    Start(); // the default skin "Cold" is on
    const QPalette unskinned = QApplication::style()->standardPalette();
    ASSERT_NE(QApplication::palette().color(QPalette::Window), unskinned.color(QPalette::Window));

    dialog->sComboBox1->setCurrentIndex(4); // an edit the skin pick must neither save nor undo
    const int none = dialog->sComboBox6->findText(QString::fromUtf8("Нет"));
    dialog->sComboBox6->setCurrentIndex(none);
    emit dialog->sComboBox6->activated(none);

    EXPECT_EQ(QApplication::palette().color(QPalette::Window), unskinned.color(QPalette::Window));
    EXPECT_EQ(form->Settings().skin, "Нет");
    EXPECT_EQ(port.name, "Com1"); // the apply step re-read the old port from the file
    EXPECT_EQ(dialog->sComboBox1->currentText(), "Com5");
}

TEST_F(DialogProgramTest, NetworkModeWithAnEmptyListLeavesTheWindowWithoutTabs) {
    Write("ZidOzod.ini", "Весы 1\r\nВесы 2\r\n");
    Write("Vesmera.ini", NetworkSettings(1));
    Start();
    ASSERT_EQ(form->TabControl().TabCount(), 2);

    for (int i = 0; i < 2; ++i) {
        dialog->sListBox1->setCurrentRow(0);
        dialog->sButton6->click();
    }
    dialog->sButton1->click();

    EXPECT_EQ(Read("ZidOzod.ini"), "");
    EXPECT_EQ(form->TabControl().TabCount(), 0);
    EXPECT_TRUE(form->Timer(2).IsEnabled());
}

TEST_F(DialogProgramTest, CheckingNetworkModeAndApplyingSwitchesTheWindowOver) {
    Start();
    ASSERT_TRUE(port.open);
    dialog->sCheckBox1->click();
    dialog->sButton1->click();
    EXPECT_FALSE(port.open);
    EXPECT_FALSE(form->Timer(1).IsEnabled());
    EXPECT_TRUE(form->Timer(3).IsEnabled());
    EXPECT_EQ(form->TabControl().TabCount(), 0);
    EXPECT_EQ(form->Indicator().y(), 20);
}

// The modal dialog runs its own event loop; the window's poll timer must keep firing in it.
TEST_F(DialogProgramTest, TheWindowKeepsPollingWhileTheDialogIsOpen) {
    Start();
    dialog->hide();
    form->SetSettingsDialog([this] { dialog->exec(); });
    form->Timer(1).Timer()->setInterval(0);
    port.written.clear();
    constexpr std::size_t kRequestSize = 6;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (port.written.size() >= 3 * kRequestSize)
            dialog->reject();
    });
    // Should the polls stop, the dialog still closes, and the count below fails.
    QTimer::singleShot(10000, dialog.get(), [this] { dialog->reject(); });
    watch.start();
    form->ContextMenu().actions()[0]->trigger(); // "Настройки", modal until the polls are seen
    QApplication::processEvents();
    watch.stop();

    SimTerminal terminal(SimProtocol::Vorlen, 1);
    terminal.Receive(port.written);
    EXPECT_GE(terminal.WeightRequests(), 3);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(DialogProgramTest, ZeroInLocalModeSendsTheVorlenZeroFrame) {
    Start();
    port.written.clear();
    dialog->sButton2->click();
    SimTerminal terminal(SimProtocol::Vorlen, 1);
    terminal.Receive(port.written);
    EXPECT_EQ(terminal.ZeroRequests(), 1) << SpacedHex(port.written);
    EXPECT_EQ(terminal.WeightRequests(), 0);
}

TEST_F(DialogProgramTest, ZeroInLocalModeFollowsTheModeInForceNotTheCheckBox) {
    Start();
    port.written.clear();
    dialog->sCheckBox1->click(); // checked but not applied
    dialog->sButton2->click();
    SimTerminal terminal(SimProtocol::Vorlen, 1);
    terminal.Receive(port.written);
    EXPECT_EQ(terminal.ZeroRequests(), 1);
}

TEST_F(DialogProgramTest, ZeroInNetworkModeWhileNotConnectedSendsNothing) {
    test::LoopbackServer server;
    Write("ZidOzod.ini", "Весы 1\r\n");
    Write("Vesmera.ini", NetworkSettings(server.Port()));
    Start();
    dialog->sButton2->click();
    EXPECT_TRUE(port.written.empty());

    // Had "<0>" connected, its connection would be the first one waiting at the server.
    EXPECT_EQ(calls.InFlight(), 0u);
    ConnectMain();
    tcp.WriteLn("probe", [](const LineResult&) {});
    const auto first = server.Accept();
    EXPECT_EQ(first->ReadLine(), "probe\r\n");
    tcp.Disconnect();
}

TEST_F(DialogProgramTest, ZeroInNetworkModeAsksTheServerForTheSelectedTab) {
    test::LoopbackServer server;
    Write("ZidOzod.ini", "Весы 1\r\nВесы 2\r\n");
    Write("Vesmera.ini", NetworkSettings(server.Port()));
    Start();
    form->TabControl().TabBar()->setCurrentIndex(1);
    ConnectMain();
    const auto mainConnection = server.Accept();

    dialog->sButton2->click();
    Await([this] { return calls.InFlight() == 0; });

    const auto zero = server.Accept();
    EXPECT_EQ(zero->ReadToEnd(), "SetNullВесы 2\r\n");
    EXPECT_TRUE(port.written.empty());
    tcp.Disconnect();
}

} // namespace
} // namespace vesmera
