#include "app/main_window.h"

#include <algorithm>
#include <functional>

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPixmapCache>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QSystemTrayIcon>

#include "app/about_window.h"
#include "app/accessibility.h"
#include "app/app_icon.h"
#include "app/resize_rules.h"
#include "common/status_codes.h"
#include "widgets/lcd/lcd_font.h"

namespace vesmera {

namespace {

constexpr int kClientWidth = 403;
constexpr int kClientHeight = 127;
constexpr const char* kTrayHint = "Vesmera v.3.1";

// IdTCPClient1's stored configuration; host and port come from the apply step.
constexpr std::int32_t kTcpConnectTimeoutMs = 100;
constexpr std::int32_t kTcpReadTimeoutMs = 100;

QColor ToQColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

// The skin manager's repaint: the skin's palette for every window, or the style's own.
void ApplySkinPalette(const std::optional<SkinPalette>& skin) {
    // The style caches its drawn controls under keys of the palette object; every new palette
    // has new keys, so without this each skin change would leave a set of pixmaps that are
    // never drawn again.
    QPixmapCache::clear();
    if (!skin) {
        QApplication::setPalette(QApplication::style()->standardPalette());
        return;
    }
    QPalette p;
    p.setColor(QPalette::Window, ToQColor(skin->window));
    p.setColor(QPalette::WindowText, ToQColor(skin->windowText));
    p.setColor(QPalette::Button, ToQColor(skin->button));
    p.setColor(QPalette::ButtonText, ToQColor(skin->buttonText));
    p.setColor(QPalette::Base, ToQColor(skin->base));
    p.setColor(QPalette::Text, ToQColor(skin->text));
    p.setColor(QPalette::Highlight, ToQColor(skin->highlight));
    p.setColor(QPalette::HighlightedText, ToQColor(skin->highlightedText));
    QApplication::setPalette(p);
}

// The window's outer frame for the 150-pixel snap. Offscreen and without a window manager the
// frame is the client area itself.
class WindowFrame final : public IWindowFrame {
public:
    WindowFrame(QWidget& window, QWidget& tabControl) : window_(window), tabControl_(tabControl) {}
    int OuterHeight() const override { return window_.frameGeometry().height(); }
    bool Shown() const override { return window_.isVisible(); }
    void SetOuterHeight(int height) override {
        const int frame = window_.frameGeometry().height() - window_.height();
        window_.resize(window_.width(), height - frame);
        tabControl_.setGeometry(window_.rect());
    }

private:
    QWidget& window_;
    QWidget& tabControl_;
};

QFont TahomaFont() {
    EnsureTahomaFont();
    return QFont(ResolveFontFamily("Tahoma"));
}

} // namespace

TForm1::TForm1(MainWindowServices services, QWidget* parent)
    : QWidget(parent), services_(services), skin_(ApplySkinPalette) {
    InstallAccessibleRoles();
    CreateComponents();
    FormCreate();
}

TForm1::~TForm1() {
    // The timers stop before the logic their handlers call goes away.
    for (auto* timer : {Timer1.get(), Timer2.get(), Timer3.get(), Timer4.get(), Timer5.get()}) {
        timer->SetEnabled(false);
    }
}

void TForm1::CreateComponents() {
    setObjectName("Form1");
    setWindowTitle("Vesmera");
    setWindowIcon(VesmeraIcon());
    setFont(TahomaFont());
    resize(kClientWidth, kClientHeight);
    move(0, 0);

    // Form-file order: the tab control, its three display widgets, the hidden button, the
    // tray icon, the port and the TCP client, the animator, the timers.
    displays_ = std::make_unique<DisplayWidgets>(*this);
    sTabControl1 = displays_->tabControl;
    LCDScreen1 = displays_->lcdScreen1;
    LCDScreen2 = displays_->lcdScreen2;
    ZyrelLiquidIndicator1 = displays_->indicator;
    sTabControl1->SetOnChange([this] {
        ResetMessageForNewTab(*lcdScreen1View_);
        if (networkPoller_)
            networkPoller_->TabChanged();
        PollReading blank;
        blank.messageText = kBlankMessage;
        if (presenter_)
            presenter_->Note(blank);
    });

    Button1 = new QPushButton(this);
    Button1->setObjectName("Button1");
    Button1->hide();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    CreateTray();
    CreateMenu();

    services_.tcpClient.SetConnectTimeout(kTcpConnectTimeoutMs);
    services_.tcpClient.SetReadTimeout(kTcpReadTimeoutMs);
    services_.tcpClient.SetPort(0);
    services_.tcpClient.SetNagle(false);

    Timer1 = std::make_unique<QtTimerSwitch>("Timer1", 100, this);
    Timer2 = std::make_unique<QtTimerSwitch>("Timer2", 100, this);
    Timer3 = std::make_unique<QtTimerSwitch>("Timer3", 3000, this);
    Timer4 = std::make_unique<QtTimerSwitch>("Timer4", 10000, this);
    Timer5 = std::make_unique<QtTimerSwitch>("Timer5", 100, this);

    indicatorView_ = std::make_unique<IndicatorAdapter>(*ZyrelLiquidIndicator1);
    lcdScreen1View_ = std::make_unique<ScreenAdapter>(*LCDScreen1);
    lcdScreen2View_ = std::make_unique<ScreenAdapter>(*LCDScreen2);
    serialLink_ =
        std::make_unique<SerialLink>(services_.scheduler, services_.comPort, settings_, weight_,
                                     services_.decimalSeparator, *Timer1, *Timer5);
    networkPoller_ = std::make_unique<NetworkPoller>(services_.tcpClient, settings_,
                                                     [this] { return SelectedTabText(); });
    presenter_ = std::make_unique<ReadingPresenter>(
        *indicatorView_, *lcdScreen1View_, reading_, failures_, Timer1->Interval(),
        [this](const ReadingPresenter::Shown& shown) {
            DescribeShown(*ZyrelLiquidIndicator1, *LCDScreen1,
                          {shown.indicatorText, shown.stable, shown.messageText});
        });
    pollWiring_ = std::make_unique<PollWiring>(
        PollWiring::Timers{*Timer1, *Timer2, *Timer3, *Timer4, *Timer5},
        PollWiring::Parts{settings_, *serialLink_, *networkPoller_, *presenter_, failures_,
                          reading_, *ZyrelLiquidIndicator1, *LCDScreen1},
        [this] { return SelectedTabText(); });

    // Loaded: the stored properties are all read.
    ZyrelLiquidIndicator1->Loaded();
}

void TForm1::CreateMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    // Each item runs after the call that triggered it has returned: three of them show modal
    // windows, and an accessibility action or a bus call must not wait for a person to close
    // one.
    for (const auto& [text, run] :
         {std::pair{"Настройки", &TForm1::ShowSettings},
          std::pair{"Свернуть в трей", &TForm1::HideToTray}, std::pair{"Выход", &TForm1::Terminate},
          std::pair{"О Программе", &TForm1::ShowAbout}})
        connect(PopupMenu1->addAction(QString::fromUtf8(text)), &QAction::triggered, this, run,
                Qt::QueuedConnection);
}

void TForm1::CreateTray() {
    TrayIcon1 = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon1->setObjectName("TrayIcon1");
    TrayIcon1->setToolTip(kTrayHint);
    // Many Linux trays report no double-click, so a single click restores the window too.
    connect(TrayIcon1, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
                    RestoreFromTray();
                }
            });
}

void TForm1::FormCreate() {
    ApplyStep(
        {services_.settings, settings_, hiddenList_, *indicatorView_, *lcdScreen1View_,
         *lcdScreen2View_, *sTabControl1, skin_, reportingPortSetup_, *Timer1, *Timer2, *Timer3,
         *Timer5, services_.tcpClient},
        [this] {
            serialLink_->Supersede();
            networkPoller_->Supersede();
        },
        [this](const PollReading& reading) { presenter_->Present(reading); })
        .Run();
    // Clients hear of the window's first reading at once, whatever the apply step reached.
    presenter_->Note({});
}

void TForm1::Button1Click() {
    Zero({});
}

void TForm1::Zero(std::function<void()> done) {
    serialLink_->Zero(std::move(done));
}

QtTimerSwitch& TForm1::Timer(int number) const {
    switch (number) {
    case 1:
        return *Timer1;
    case 2:
        return *Timer2;
    case 3:
        return *Timer3;
    case 4:
        return *Timer4;
    default:
        return *Timer5;
    }
}

TForm5& TForm1::AboutWindow() {
    if (about_ == nullptr) {
        about_ = new TForm5(this);
    }
    return *about_;
}

void TForm1::ShowSettings() {
    if (showSettings_) {
        showSettings_();
    }
}

void TForm1::HideToTray() {
    // Without a notification area the icon could never be clicked, so the window only
    // minimises and stays reachable from the task bar.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    TrayIcon1->show();
    hide();
}

void TForm1::RestoreFromTray() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    activateWindow();
    TrayIcon1->hide();
}

void TForm1::Terminate() {
    if (mayTerminate_ && !mayTerminate_()) {
        return;
    }
    Quit();
}

void TForm1::Quit() {
    // Not quit(): that closes every window first, and this window's close asks again.
    if (quit_) {
        quit_();
    } else {
        QCoreApplication::exit(0);
    }
}

void TForm1::ShowAbout() {
    // Two queued requests open it once.
    if (AboutWindow().isVisible())
        return;
    AboutWindow().ShowModalBeside(*this);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    sTabControl1->setGeometry(rect());
    FormResize();
}

void TForm1::FormResize() {
    // The 150-pixel snap resizes the window from inside its own resize handling.
    if (inResize_) {
        return;
    }
    inResize_ = true;
    WindowFrame frame(*this, *sTabControl1);
    RunResizeRules({frame, *sTabControl1, *indicatorView_, *lcdScreen1View_, *lcdScreen2View_},
                   settings_.networkMode);
    inResize_ = false;
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu1->popup(event->globalPos());
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing the window ends the program, as "Выход" does; the program never quits just
    // because its last window went away (a box closed while the window is in the tray).
    event->ignore();
    Terminate();
}

} // namespace vesmera
