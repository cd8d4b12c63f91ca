// The program entry: the automation start-up, the main window (whose creation runs the apply
// step), the settings dialog and the About window, then the message loop.

#include <QApplication>

#include "app/platform_choice.h"
#include "app/program.h"
#include "app/qt_message_box.h"
#include "automation/startup.h"
#include "net/socket_system.h"

int main(int argc, char** argv) {
    // Entry step 1: the registration switches do their work and end the program here, before
    // any window or display is needed.
    const vesmera::StartupResult start = vesmera::RunStartupHook(argc, argv);
    if (start.exitCode)
        return *start.exitCode;
    // A weight server that resets its connection must never end the program.
    vesmera::IgnoreSigpipe();

    vesmera::PreferX11Platform(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vesmera");
    // Closing a message box while the window is in the tray must not end the program; only
    // "Выход" and closing the main window do.
    QApplication::setQuitOnLastWindowClosed(false);
    vesmera::InstallQtMessageBoxes();

    vesmera::VesmeraProgram program(vesmera::SystemDecimalSeparator());
    vesmera::TForm1& form1 = program.MainWindow();
    vesmera::AutomationServer automation(
        start.switches,
        vesmera::AutomationContext{form1.Settings(), form1.SharedWeight(), form1.TcpClient(),
                                   program.ChannelFactory(), [&form1] { form1.Button1Click(); }},
        [] { QCoreApplication::exit(0); });
    automation.SetReading(&form1.Reading());
    // Started by the bus for a client while another copy owns the names: this copy could never
    // serve that client.
    if (automation.Start() == vesmera::BusStart::ExitNow)
        return 0;
    form1.SetCloseCheck([&automation] { return automation.CanClose(); });

    // The main window owns its task bar entry and is shown in every start mode.
    form1.show();
    const int code = QApplication::exec();
    automation.Revoke();
    return code;
}
