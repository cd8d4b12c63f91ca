#include "event/qt_scheduler.h"

#include <QSocketNotifier>
#include <QTimer>

#include "common/watchable.h"

namespace vesmera {

QtScheduler::QtScheduler(QObject* parent) : QObject(parent) {
    clock_.start();
}

QtScheduler::~QtScheduler() {
    // The timers, pending or idle, are children and go with the scheduler.
    for (auto& [key, notifier] : notifiers_)
        delete notifier.notifier;
}

IScheduler::TaskId QtScheduler::After(std::uint32_t ms, Callback callback) {
    const TaskId id = ++next_;
    QTimer* timer = TakeTimer();
    timerTasks_[timer] = id;
    tasks_.emplace(id, Task{timer, {-1, false}, std::move(callback)});
    timer->start(static_cast<int>(ms));
    return id;
}

QTimer* QtScheduler::TakeTimer() {
    if (!idleTimers_.empty()) {
        QTimer* timer = idleTimers_.back();
        idleTimers_.pop_back();
        return timer;
    }
    // A poll arms a timer or two every period: they are kept and reused rather than made and
    // deleted each time, which would post a deferred deletion to the loop per timer.
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    // Delays of a poll are a few milliseconds to a second; a coarse timer would stretch them.
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, timer] { Expired(timer); });
    return timer;
}

void QtScheduler::ReleaseTimer(QTimer* timer) {
    timer->stop();
    timerTasks_.erase(timer);
    idleTimers_.push_back(timer);
}

void QtScheduler::Expired(QTimer* timer) {
    const auto owner = timerTasks_.find(timer);
    if (owner == timerTasks_.end())
        return;
    auto it = tasks_.find(owner->second);
    Callback callback = std::move(it->second.callback);
    tasks_.erase(it);
    // Free before the callback runs, so the callback may arm it again at once.
    ReleaseTimer(timer);
    callback();
}

IScheduler::TaskId QtScheduler::WhenReadable(int fd, Callback callback) {
    return Watch(fd, false, std::move(callback));
}

IScheduler::TaskId QtScheduler::WhenWritable(int fd, Callback callback) {
    return Watch(fd, true, std::move(callback));
}

IScheduler::TaskId QtScheduler::Watch(int fd, bool writable, Callback callback) {
    CheckWatchable(fd);
    const TaskId id = ++next_;
    const NotifierKey key{fd, writable};
    Notifier& slot = notifiers_[key];
    if (!slot.notifier) {
        slot.notifier = new QSocketNotifier(
            fd, writable ? QSocketNotifier::Write : QSocketNotifier::Read, this);
        connect(slot.notifier, &QSocketNotifier::activated, this, [this, key] { Activated(key); });
    }
    slot.watches.push_back(id);
    tasks_.emplace(id, Task{nullptr, key, std::move(callback)});
    return id;
}

void QtScheduler::Activated(const NotifierKey& key) {
    const auto slot = notifiers_.find(key);
    if (slot == notifiers_.end())
        return;
    // Taken before any callback runs: one may cancel a later watch, which then does not run,
    // or make a new one, which waits for readiness of its own.
    const std::vector<TaskId> watches = slot->second.watches;
    for (const TaskId id : watches) {
        auto it = tasks_.find(id);
        if (it == tasks_.end())
            continue;
        // Copied, because the callback may cancel its own task.
        Callback callback = it->second.callback;
        callback();
    }
}

void QtScheduler::Cancel(TaskId id) {
    auto it = tasks_.find(id);
    if (it == tasks_.end())
        return;
    if (it->second.timer)
        ReleaseTimer(it->second.timer);
    else
        Unwatch(id, it->second.watch);
    tasks_.erase(it);
}

void QtScheduler::Unwatch(TaskId id, const NotifierKey& key) {
    auto slot = notifiers_.find(key);
    if (slot == notifiers_.end())
        return;
    std::erase(slot->second.watches, id);
    if (!slot->second.watches.empty())
        return;
    // Deleted later: Cancel may run inside the very notifier's signal.
    slot->second.notifier->setEnabled(false);
    slot->second.notifier->deleteLater();
    notifiers_.erase(slot);
}

std::int64_t QtScheduler::NowMs() const {
    return clock_.elapsed();
}

} // namespace vesmera
