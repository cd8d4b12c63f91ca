#pragma once

#include <functional>

#include <QTimer>

#include "app/tick_guard.h"
#include "common/views.h"

namespace vesmera {

// One of the main window's timers: a QTimer on the GUI thread whose handler is a tick of the
// polls. Qt never queues a timer event that falls due while the GUI thread is busy, and the
// guard drops a tick that a nested event loop inside the handler would deliver.
class QtTimerSwitch final : public ITimerSwitch {
public:
    QtTimerSwitch(const char* name, int intervalMs, QObject* parent);

    void SetHandler(std::function<void()> handler) { handler_ = std::move(handler); }
    // Like a timer's Enabled: switching on a running timer changes nothing, its period runs on.
    void SetEnabled(bool enabled) override;
    bool IsEnabled() const override { return timer_->isActive(); }
    // One tick, as the timer's period running out gives it.
    void Tick();
    int Interval() const { return timer_->interval(); }
    QTimer* Timer() const { return timer_; }

private:
    QTimer* timer_;
    TickGuard guard_;
    std::function<void()> handler_;
};

} // namespace vesmera
