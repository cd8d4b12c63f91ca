#pragma once

#include <cstdint>
#include <functional>

#include "common/scheduler.h"
#include "common/views.h"

namespace vesmera {

// A periodic timer on the scheduler, for programs without Qt timers (and for tests of the poll
// period). Like a window timer: switching it on starts a fresh period, switching a running
// timer on changes nothing, and its handler runs once per period.
class ScheduledTimer final : public ITimerSwitch {
public:
    ScheduledTimer(IScheduler& scheduler, std::uint32_t intervalMs,
                   std::function<void()> handler = {})
        : task_(scheduler), intervalMs_(intervalMs), handler_(std::move(handler)) {}

    void SetHandler(std::function<void()> handler) { handler_ = std::move(handler); }
    void SetEnabled(bool enabled) override {
        if (enabled == task_.Pending())
            return;
        if (enabled)
            Arm();
        else
            task_.Cancel();
    }
    bool IsEnabled() const override { return task_.Pending(); }
    std::uint32_t Interval() const { return intervalMs_; }

private:
    void Arm() {
        task_.After(intervalMs_, [this] {
            Arm(); // the next period is armed first, so the handler may switch the timer off
            if (handler_)
                handler_();
        });
    }

    ScheduledTask task_;
    std::uint32_t intervalMs_;
    std::function<void()> handler_;
};

} // namespace vesmera
