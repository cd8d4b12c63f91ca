#include "server/service_notifier.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <optional>

#include "server/server_log.h"

namespace vesmera {

namespace {

std::optional<std::uint64_t> Number(const std::optional<std::string>& text) {
    std::uint64_t value = 0;
    if (!text || text->empty())
        return std::nullopt;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size())
        return std::nullopt;
    return value;
}

std::uint64_t MonotonicUs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

} // namespace

ServiceNotifier::ServiceNotifier(IScheduler& scheduler, IServerLog& log,
                                 const EnvironmentLookup& environment)
    : scheduler_(scheduler), log_(log), watchdog_(scheduler), statusTimer_(scheduler) {
    const std::optional<std::string> name = environment("NOTIFY_SOCKET");
    if (!name || name->empty())
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // A path, or "@name" for a name in the abstract namespace (a leading NUL).
    if ((name->front() != '/' && name->front() != '@') || name->size() > sizeof address.sun_path) {
        log_.Write(LogPriority::Warning,
                   "NOTIFY_SOCKET " + *name + " is not a socket this server can use");
        return;
    }
    std::memcpy(address.sun_path, name->data(), name->size());
    if (name->front() == '@')
        address.sun_path[0] = '\0';
    address_.assign(reinterpret_cast<const char*>(&address),
                    offsetof(sockaddr_un, sun_path) + name->size());
    socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket_ < 0) {
        log_.Write(LogPriority::Warning,
                   std::string("cannot tell the service manager: ") + std::strerror(errno));
        return;
    }
    // Beats are for the process the manager started, not for a child that inherited them.
    const auto pid = Number(environment("WATCHDOG_PID"));
    const auto us = Number(environment("WATCHDOG_USEC"));
    if (us && *us > 0 && (!pid || *pid == static_cast<std::uint64_t>(::getpid())))
        watchdogMs_ = static_cast<std::uint32_t>(std::max<std::uint64_t>(*us / 2000, 1));
}

ServiceNotifier::~ServiceNotifier() {
    watchdog_.Cancel();
    statusTimer_.Cancel();
    if (socket_ >= 0)
        ::close(socket_);
}

void ServiceNotifier::Ready(StatusSource status) {
    if (!Active())
        return;
    status_ = std::move(status);
    Reloaded();
    if (watchdogMs_ > 0 && !watchdog_.Pending())
        Beat();
    if (!statusTimer_.Pending())
        statusTimer_.After(kStatusGapMs, [this] { CheckStatus(); });
}

void ServiceNotifier::Reloading() {
    if (Active())
        Send("RELOADING=1\nMONOTONIC_USEC=" + std::to_string(MonotonicUs()));
}

void ServiceNotifier::Reloaded() {
    if (!Active())
        return;
    saidStatus_ = status_ ? status_() : std::string();
    Send("READY=1\nSTATUS=" + saidStatus_);
}

void ServiceNotifier::Stopping() {
    if (!Active())
        return;
    watchdog_.Cancel();
    statusTimer_.Cancel();
    Send("STOPPING=1");
}

void ServiceNotifier::Beat() {
    Send("WATCHDOG=1");
    watchdog_.After(watchdogMs_, [this] { Beat(); });
}

void ServiceNotifier::CheckStatus() {
    const std::string now = status_ ? status_() : std::string();
    if (now != saidStatus_) {
        saidStatus_ = now;
        Send("STATUS=" + now);
    }
    statusTimer_.After(kStatusGapMs, [this] { CheckStatus(); });
}

void ServiceNotifier::Send(const std::string& message) {
    const ssize_t sent =
        ::sendto(socket_, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(address_.data()),
                 static_cast<socklen_t>(address_.size()));
    // Said once: a manager that has gone away would otherwise be reported every beat.
    if (sent < 0 && !failureSaid_) {
        failureSaid_ = true;
        log_.Write(LogPriority::Warning,
                   std::string("cannot tell the service manager: ") + std::strerror(errno));
    }
}

} // namespace vesmera
