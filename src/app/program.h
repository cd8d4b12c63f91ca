#pragma once

#include <memory>

#include "app/comport_setup.h"
#include "app/main_window.h"
#include "app/settings_source.h"
#include "app/terminal_list.h"
#include "app/tform2.h"
#include "event/qt_scheduler.h"
#include "link/comport.h"
#include "net/tcp_line_channel.h"

namespace vesmera {

class SettingsStore;

// The settings dialog's links to the main window: the settings in force, the apply step, and
// "<0>" by the mode in force (the zero command locally, the server's zero request over a
// per-call channel in network mode).
TForm2Deps SettingsDialogDeps(TForm1& form1, SettingsStore& store, TerminalListFile& list,
                              ILineChannelFactory& channels);

// The running program's parts, made in the entry's order once the application object
// exists: ComPort1 and IdTCPClient1, the main window (whose creation runs the apply step), the
// settings dialog, the About window.
class VesmeraProgram {
public:
    explicit VesmeraProgram(char decimalSeparator);
    ~VesmeraProgram();

    TForm1& MainWindow() { return *form1_; }
    TForm2& SettingsDialog() { return *form2_; }
    // The per-call channels of the automation objects.
    ILineChannelFactory& ChannelFactory() { return channels_; }

private:
    StoreSettingsSource settings_;
    QtScheduler scheduler_;
    TComPort comPort_;
    ComPortSetup comPortSetup_{comPort_};
    TcpLineChannel tcpClient_;
    TcpLineChannelFactory channels_;
    TerminalListFile dialogList_; // the dialog's own: it remembers the encoding it read
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
};

} // namespace vesmera
