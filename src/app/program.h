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
#include "net/thread_resolver.h"
#include "net/weight_server.h"

namespace vesmera {

class SettingsStore;

// The settings dialog's links to the main window: the settings in force, the apply step, and
// "<0>" by the mode in force (the zero command locally, the server's zero request over a
// per-call channel in network mode).
TForm2Deps SettingsDialogDeps(TForm1& form1, SettingsStore& store, TerminalListFile& list,
                              ServerCallPool& calls);

// The running program's parts, made in the entry's order once the application object
// exists: ComPort1 and IdTCPClient1, the main window (whose creation runs the apply step), the
// settings dialog, the About window.
class VesmeraProgram {
public:
    explicit VesmeraProgram(char decimalSeparator);
    ~VesmeraProgram();

    TForm1& MainWindow() { return *form1_; }
    TForm2& SettingsDialog() { return *form2_; }
    // The per-call exchanges of the automation objects and the dialog's zero button.
    ServerCallPool& ServerCalls() { return serverCalls_; }
    // The event loop as the logic sees it.
    IScheduler& Scheduler() { return scheduler_; }

private:
    StoreSettingsSource settings_;
    // Every wait of the serial and network exchanges is a task of this scheduler on the GUI
    // thread; name lookups run on the resolver's threads and come back through it.
    QtScheduler scheduler_;
    TComPort comPort_;
    ComPortSetup comPortSetup_{comPort_};
    ThreadResolver resolver_{scheduler_};
    TcpLineChannel tcpClient_{scheduler_, resolver_};
    TcpLineChannelFactory channels_{scheduler_, resolver_};
    ServerCallPool serverCalls_{channels_};
    TerminalListFile dialogList_; // the dialog's own: it remembers the encoding it read
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
};

} // namespace vesmera
