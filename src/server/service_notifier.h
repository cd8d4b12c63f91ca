#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/environment.h"
#include "common/scheduler.h"

namespace vesmera {

class IServerLog;

// Tells the service manager how the server is doing, with the datagrams of systemd's
// notification protocol on the socket named by $NOTIFY_SOCKET: ready, reloading, stopping, a
// one-line status, and a watchdog beat from the event loop itself, so that a loop that hangs
// stops the beats and the manager restarts the server. Without $NOTIFY_SOCKET it does nothing.
//
// Written by hand rather than with libsystemd: the protocol is one datagram per message, and
// sending it without waiting (a full queue loses a message, it never holds up the loop) is
// simpler here than a library call that may block, with no library to ship.
class ServiceNotifier {
public:
    // The status line of the moment, for example "3 of 4 terminals linked, 12 clients".
    using StatusSource = std::function<std::string()>;

    static constexpr std::uint32_t kStatusGapMs = 1000;

    ServiceNotifier(IScheduler& scheduler, IServerLog& log, const EnvironmentLookup& environment);
    ~ServiceNotifier();
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;

    bool Active() const { return socket_ >= 0; }
    // Every listener bound and every terminal started: READY=1 with the status, then the
    // watchdog beats and a status each time it changes, at most once per kStatusGapMs.
    void Ready(StatusSource status);
    // Around a reload: RELOADING=1 now, Ready again when it has been applied or refused.
    void Reloading();
    void Reloaded();
    void Stopping();

    // Half of $WATCHDOG_USEC in milliseconds; 0 when the manager expects no beats.
    std::uint32_t WatchdogPeriodMs() const { return watchdogMs_; }

private:
    void Send(const std::string& message);
    void Beat();
    void CheckStatus();

    IScheduler& scheduler_;
    IServerLog& log_;
    int socket_ = -1;
    std::string address_; // sockaddr_un bytes
    std::uint32_t watchdogMs_ = 0;
    StatusSource status_;
    std::string saidStatus_;
    ScheduledTask watchdog_;
    ScheduledTask statusTimer_;
    bool failureSaid_ = false;
};

} // namespace vesmera
