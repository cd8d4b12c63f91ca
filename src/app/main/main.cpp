// The program entry: the automation start-up (the registration switches, then the class
// objects offered), the main window (whose creation runs the apply step), the settings dialog
// and the About window, then the message loop.

#include <QApplication>
#include <optional>

#include "app/platform_choice.h"
#include "app/program.h"
#include "app/qt_message_box.h"
#include "app/termination_signals.h"
#include "automation/startup.h"
#include "common/display_platform.h"
#include "net/socket_system.h"

int main(int argc, char** argv) {
    // Entry step 1: the registration switches do their work and end the program here, before
    // any window or display is needed.
    const vesmera::StartupResult start = vesmera::RunStartupHook(argc, argv);
    if (start.exitCode)
        return *start.exitCode;
    // A weight server that resets its connection must never end the program.
    vesmera::IgnoreSigpipe();

    const bool windowlessFallback = vesmera::PrepareWindowingPlatform(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vesmera");
    if (windowlessFallback &&
        vesmera::IsWindowlessPlatform(QGuiApplication::platformName().toStdString()))
        vesmera::ReportWindowless();
    // Closing a message box while the window is in the tray must not end the program; only
    // "Выход" and closing the main window do.
    QApplication::setQuitOnLastWindowClosed(false);
    vesmera::InstallQtMessageBoxes();

    // Destroyed after the automation server, which serves its parts to the end.
    std::optional<vesmera::VesmeraProgram> program;
    // A termination signal takes the window's exit path, so the port is closed and released.
    // The loop reads the signal, so the program exists by then unless the bus ended the start.
    const vesmera::TerminationSignals terminationSignals([&program] {
        if (program)
            program->MainWindow().Quit();
        else
            QCoreApplication::exit(0);
    });
    vesmera::AutomationServer automation(start.switches, [] { QCoreApplication::exit(0); });
    // The class objects are offered before any window exists. Started by the bus for a client
    // while another copy owns the names, this copy could never serve that client: it ends
    // before the apply step touches settings or the serial port.
    if (automation.Start() == vesmera::BusStart::ExitNow)
        return 0;

    program.emplace(vesmera::SystemDecimalSeparator());
    vesmera::TForm1& form1 = program->MainWindow();
    automation.SetReading(&form1.Reading());
    automation.Serve(vesmera::AutomationContext{
        form1.Settings(), form1.SharedWeight(), form1.TcpClient(), program->ServerCalls(),
        [&form1](std::function<void()> done) { form1.Zero(std::move(done)); }});
    form1.SetCloseCheck([&automation] { return automation.CanClose(); });

    // The main window owns its task bar entry and is shown in every start mode.
    form1.show();
    const int code = QApplication::exec();
    automation.Revoke();
    return code;
}
