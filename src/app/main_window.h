#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "app/apply_step.h"
#include "app/display_widgets.h"
#include "app/indicator_adapter.h"
#include "app/poll_wiring.h"
#include "app/qt_timer.h"
#include "app/reading_presenter.h"
#include "app/reporting_port_setup.h"
#include "app/screen_adapter.h"
#include "app/skin_manager.h"
#include "app/tab_control.h"
#include "common/held_settings.h"
#include "common/live_reading.h"
#include "common/scheduler.h"
#include "link/serial_channel.h"
#include "link/serial_link.h"
#include "link/shared_weight.h"
#include "net/line_channel.h"
#include "net/network_poller.h"
#include "widgets/indicator/zyrel_liquid_indicator.h"
#include "widgets/lcd/lcd_animator.h"
#include "widgets/lcd/lcd_screen.h"

class QMenu;
class QPushButton;
class QSystemTrayIcon;

namespace vesmera {

// What the main window works with but does not make itself, so that tests give it fakes.
struct MainWindowServices {
    ISettingsSource& settings;
    ISerialChannel& comPort;        // ComPort1 as the polls use it
    ISerialPortSetup& comPortSetup; // ComPort1 as the apply step configures it
    IScheduler& scheduler;          // the event loop the exchanges' steps wait on
    ILineChannel& tcpClient;        // IdTCPClient1
    char decimalSeparator = ',';
    IReadingClock* readingClock = nullptr; // the live reading's clocks; the system's by default
};

// TForm1, the main window: the weight indicator or the message screen in a tab control, the
// five timers that poll, the context menu and the notification-area icon. Creating it runs
// the apply step. Everything here runs on the GUI thread, one event at a time; the serial
// ticks only start exchanges on the line, whose waits are timers of the scheduler, so the
// window paints, scrolls its message and answers automation calls while a poll waits.
class TForm1 final : public QWidget {
public:
    explicit TForm1(MainWindowServices services, QWidget* parent = nullptr);
    ~TForm1() override;

    // FormCreate: run at creation and by the settings dialog after every save.
    void FormCreate();
    // The hidden Button1's click: the zero command of the selected protocol.
    void Button1Click();
    // The zero command for a caller that waits for it (automation's SetNull): done runs once
    // the command's exchange on the line has ended.
    void Zero(std::function<void()> done);

    // The settings dialog's seam: "Настройки" calls this to show it modally. Until a dialog is
    // set the menu item does nothing.
    void SetSettingsDialog(std::function<void()> showModal) {
        showSettings_ = std::move(showModal);
    }
    // The automation server's closing check: asked before "Выход" or closing the window ends
    // the program; false keeps it running. Without a check the program always ends.
    void SetCloseCheck(std::function<bool()> mayTerminate) {
        mayTerminate_ = std::move(mayTerminate);
    }
    // How the program ends once the check allowed it; tests record it. By default the message
    // loop ends at once, without closing windows (a close would ask the check again).
    void SetQuitAction(std::function<void()> quit) { quit_ = std::move(quit); }

    // The menu actions, by caption.
    void ShowSettings(); // "Настройки"
    void HideToTray();   // "Свернуть в трей"
    void Terminate();    // "Выход"
    void ShowAbout();    // "О Программе"
    void RestoreFromTray();
    // The end that "Выход" and closing the window reach once the closing check allowed it;
    // a termination signal comes here directly, as nobody is at the window to answer.
    void Quit();

    const HeldSettings& Settings() const { return settings_; }
    SharedWeightState& SharedWeight() { return weight_; }
    // What the window shows, as other programs follow it.
    LiveReading& Reading() { return reading_; }
    ILineChannel& TcpClient() { return services_.tcpClient; }
    std::optional<std::string> SelectedTabText() const { return sTabControl1->SelectedTabText(); }
    char DecimalSeparator() const { return services_.decimalSeparator; }

    // The components, for the settings dialog, automation and tests.
    TSTabControl& TabControl() const { return *sTabControl1; }
    TZyrelLiquidIndicator& Indicator() const { return *ZyrelLiquidIndicator1; }
    TLCDScreen& MessageScreen() const { return *LCDScreen1; }
    TLCDScreen& Backdrop() const { return *LCDScreen2; }
    QtTimerSwitch& Timer(int number) const;
    QMenu& ContextMenu() const { return *PopupMenu1; }
    QSystemTrayIcon& TrayIcon() const { return *TrayIcon1; }
    IndicatorAdapter& IndicatorView() const { return *indicatorView_; }
    ScreenAdapter& MessageScreenView() const { return *lcdScreen1View_; }
    class TForm5& AboutWindow();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateComponents();
    void CreateMenu();
    void CreateTray();
    void FormResize();

    MainWindowServices services_;
    HeldSettings settings_;
    FailureReport failures_;
    SystemReadingClock systemReadingClock_;
    LiveReading reading_{services_.readingClock ? *services_.readingClock : systemReadingClock_};
    ReportingPortSetup reportingPortSetup_{services_.comPortSetup, failures_};
    SharedWeightState weight_;
    std::vector<std::string> hiddenList_;

    std::unique_ptr<DisplayWidgets> displays_;
    TSTabControl* sTabControl1 = nullptr;
    TLCDScreen* LCDScreen1 = nullptr;
    TLCDScreen* LCDScreen2 = nullptr;
    TZyrelLiquidIndicator* ZyrelLiquidIndicator1 = nullptr;
    QPushButton* Button1 = nullptr;
    QSystemTrayIcon* TrayIcon1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    std::unique_ptr<QtTimerSwitch> Timer1, Timer2, Timer3, Timer4, Timer5;
    SkinManager skin_;

    std::unique_ptr<IndicatorAdapter> indicatorView_;
    std::unique_ptr<ScreenAdapter> lcdScreen1View_;
    std::unique_ptr<ScreenAdapter> lcdScreen2View_;
    std::unique_ptr<SerialLink> serialLink_;
    std::unique_ptr<NetworkPoller> networkPoller_;
    std::unique_ptr<ReadingPresenter> presenter_;
    std::unique_ptr<PollWiring> pollWiring_;
    class TForm5* about_ = nullptr;

    std::function<void()> showSettings_;
    std::function<bool()> mayTerminate_;
    std::function<void()> quit_;
    bool inResize_ = false;
};

} // namespace vesmera
