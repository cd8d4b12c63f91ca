#include "event/qt_scheduler.h"

#include <QSocketNotifier>
#include <QTimer>

namespace vesmera {

QtScheduler::QtScheduler(QObject* parent) : QObject(parent) {
    clock_.start();
}

QtScheduler::~QtScheduler() {
    for (auto& [id, task] : tasks_) {
        delete task.timer;
        delete task.notifier;
    }
}

IScheduler::TaskId QtScheduler::After(std::uint32_t ms, Callback callback) {
    const TaskId id = ++next_;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    // Delays of a poll are a few milliseconds to a second; a coarse timer would stretch them.
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] {
        auto it = tasks_.find(id);
        if (it == tasks_.end())
            return;
        Callback callback = std::move(it->second.callback);
        it->second.timer->deleteLater();
        tasks_.erase(it);
        callback();
    });
    tasks_.emplace(id, Task{timer, nullptr, std::move(callback)});
    timer->start(static_cast<int>(ms));
    return id;
}

IScheduler::TaskId QtScheduler::WhenReadable(int fd, Callback callback) {
    return Watch(fd, false, std::move(callback));
}

IScheduler::TaskId QtScheduler::WhenWritable(int fd, Callback callback) {
    return Watch(fd, true, std::move(callback));
}

IScheduler::TaskId QtScheduler::Watch(int fd, bool writable, Callback callback) {
    const TaskId id = ++next_;
    auto* notifier =
        new QSocketNotifier(fd, writable ? QSocketNotifier::Write : QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, id] {
        auto it = tasks_.find(id);
        if (it == tasks_.end())
            return;
        // Copied, because the callback may cancel its own task.
        Callback callback = it->second.callback;
        callback();
    });
    tasks_.emplace(id, Task{nullptr, notifier, std::move(callback)});
    return id;
}

void QtScheduler::Cancel(TaskId id) {
    auto it = tasks_.find(id);
    if (it == tasks_.end())
        return;
    // Deleted later: Cancel may run inside the very timer's or notifier's signal.
    if (it->second.timer) {
        it->second.timer->stop();
        it->second.timer->deleteLater();
    }
    if (it->second.notifier) {
        it->second.notifier->setEnabled(false);
        it->second.notifier->deleteLater();
    }
    tasks_.erase(it);
}

std::int64_t QtScheduler::NowMs() const {
    return clock_.elapsed();
}

} // namespace vesmera
