// The program entry: the automation start-up, the main window (whose creation runs the apply
// step), the settings dialog and the About window, then the message loop.

#include <QApplication>

#include "app/platform_choice.h"
#include "app/program.h"
#include "app/qt_message_box.h"

int main(int argc, char** argv) {
    // Entry step 1, the automation server's start-up hook, goes here: its registration
    // switches end the program before any window exists.
    vesmera::PreferX11Platform(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vesmera");
    // Closing a message box while the window is in the tray must not end the program; only
    // "Выход" and closing the main window do.
    QApplication::setQuitOnLastWindowClosed(false);
    vesmera::InstallQtMessageBoxes();

    vesmera::VesmeraProgram program(vesmera::SystemDecimalSeparator());
    // The main window owns its task bar entry and is shown in every start mode.
    program.MainWindow().show();
    return QApplication::exec();
}
