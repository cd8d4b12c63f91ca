#pragma once

#include <QDBusConnection>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/automation_context.h"
#include "automation/bus_registration.h"
#include "automation/com_server.h"
#include "automation/start_mode.h"
#include "common/live_reading.h"
#include "common/scheduler.h"

namespace vesmera {

class AutomationBusLayer;

// The program entry's part of the automation server. The class objects are offered before
// the main window exists, and served once it does:
//
//   int main(int argc, char** argv) {
//       const StartupResult start = RunStartupHook(argc, argv);
//       if (start.exitCode)
//           return *start.exitCode;          // a registration switch did its work
//       QApplication app(argc, argv);
//       AutomationServer automation(start.switches, [] { QCoreApplication::exit(0); });
//       if (automation.Start() == BusStart::ExitNow)
//           return 0;                         // started for a client another copy serves
//       ... main window (its apply step), settings, IdTCPClient1, Button1 ...
//       automation.Serve(context);            // calls that came meanwhile are answered now
//       ... the main window's close request asks automation.CanClose() ...
//       return app.exec();                    // the server revokes itself when destroyed
//   }

struct StartupResult {
    StartSwitches switches;
    std::optional<int> exitCode; // set for the registration switches: end the program with it
};

// Run first in main, before any QApplication exists. For the registration switches it writes
// or removes the bus activation and interface files and gives the exit code: 0, or 1 after
// "Error creating system registry entry" was reported (a box where a display exists, else
// standard error). Otherwise it gives the start mode.
StartupResult RunStartupHook(int argc, char** argv);

// The same decision with everything it reads passed in; RunStartupHook uses the process's own.
struct RegistrationTarget {
    std::string executable;
    EnvironmentLookup environment;
};
StartupResult RunStartupHook(const std::vector<std::string>& arguments,
                             const RegistrationTarget& target,
                             const std::function<void(const std::string&)>& reportFailure);

std::string ExecutablePath(); // the running executable, from /proc/self/exe

enum class BusStart {
    Serving,    // names owned, class objects offered
    NoBus,      // no session bus: the program runs on without automation, silently
    NamesTaken, // another copy serves; a copy started by the user runs on without automation
    ExitNow,    // started for a client with the names taken: it could never serve that client
};

// Owns the TComServer and its bus layer for the life of the program.
class AutomationServer {
public:
    // The program's parts come later, through Serve.
    AutomationServer(StartSwitches switches, std::function<void()> quit);
    // Serves the given parts from the start.
    AutomationServer(StartSwitches switches, AutomationContext context, std::function<void()> quit);
    ~AutomationServer();

    // Offers the class objects. A copy started by the bus that then gets no object or lock
    // within kUnusedCopyEndMs of serving calls ends as at a last release.
    BusStart Start(); // on the session bus
    BusStart Start(const QDBusConnection& connection);
    // The program's parts that the objects read and run; calls that came before are answered
    // now, in their order.
    void Serve(AutomationContext context);
    // The clock of that end; the Qt event loop's unless set before Start. It must outlive
    // the server.
    void SetScheduler(IScheduler& scheduler) { scheduler_ = &scheduler; }

    // The closing check: with objects alive, the "COM Server Warning" question decides.
    bool CanClose() const { return server_.CanClose(); }
    // The live reading to serve beside the class objects; none takes it back.
    void SetReading(LiveReading* reading);
    // Revokes the class objects and gives up the names; also done on destruction.
    void Revoke();

    TComServer& ComServer() { return server_; }
    AutomationBusLayer* BusLayer() { return bus_.get(); }

private:
    void EndIfUnused();

    std::unique_ptr<IScheduler> ownScheduler_;
    IScheduler* scheduler_ = nullptr;
    std::optional<AutomationContext> context_;
    TComServer server_;
    std::unique_ptr<AutomationBusLayer> bus_;
    LiveReading* reading_ = nullptr;
};

} // namespace vesmera
