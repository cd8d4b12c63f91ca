#include "app/qt_timer.h"

namespace vesmera {

QtTimerSwitch::QtTimerSwitch(const char* name, int intervalMs, QObject* parent)
    : timer_(new QTimer(parent)) {
    timer_->setObjectName(name);
    timer_->setInterval(intervalMs);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { Tick(); });
}

void QtTimerSwitch::Tick() {
    if (handler_) {
        guard_.Run(handler_);
    }
}

void QtTimerSwitch::SetEnabled(bool enabled) {
    if (enabled == timer_->isActive()) {
        return;
    }
    if (enabled) {
        timer_->start();
    } else {
        timer_->stop();
    }
}

} // namespace vesmera
