#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "automation/start_mode.h"
#include "common/scheduler.h"

namespace vesmera {

inline constexpr const char* kComServerWarningCaption = "COM Server Warning";
// How long a copy started by the bus waits for its first object or lock.
inline constexpr std::uint32_t kUnusedCopyEndMs = 10000;

inline constexpr const char* kComServerWarningText =
    "There are still active COM objects in this application.  One or more clients may have "
    "references to these objects, so manually closing this application may cause those client "
    "application(s) to fail.\r\n\r\nAre you sure you want to close this application?";

// The one server object of the process: how it was started, and how many objects and server
// locks clients hold. A program started for a client ends when the last of them goes, or when
// none came in its first moments: any message to a name starts it, an introspection as much
// as a creation, and nobody chose to open its window.
class TComServer {
public:
    TComServer(StartSwitches switches, std::function<void()> quit);

    StartMode Mode() const { return switches_.mode; }
    bool PerUser() const { return switches_.perUser; }

    // Objects and server locks alike; returns the new count. Reaching 0 in smAutomation asks
    // the program to quit without a question; in smStandalone the user's program runs on.
    std::int32_t CountObject(bool created);
    std::int32_t ObjectCount() const { return count_.load(); }

    // In smAutomation: ends the program as at a last release when no object or lock has been
    // held by the time the scheduler runs the check, ms from now.
    void EndIfUnusedAfter(IScheduler& scheduler, std::uint32_t ms);

    // Asked when the application is to terminate; with live objects the user decides.
    bool CanClose() const;

    std::string GetServerName() const;
    static const char* GetServerKey() { return "LocalServer32"; }

private:
    void LastReleased();

    StartSwitches switches_;
    std::function<void()> quit_;
    std::atomic<std::int32_t> count_{0};
    bool everHeld_ = false;
    ScheduledTask unusedCheck_;
};

} // namespace vesmera
