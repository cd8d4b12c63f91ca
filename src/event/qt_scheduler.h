#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/scheduler.h"

class QSocketNotifier;
class QTimer;

namespace vesmera {

// The scheduler of the running programs: precise single-shot QTimers and QSocketNotifiers on
// the thread's Qt event loop. Needs QtCore only, so the headless weight server uses it too.
class QtScheduler final : public QObject, public IScheduler {
public:
    explicit QtScheduler(QObject* parent = nullptr);
    ~QtScheduler() override;

    TaskId After(std::uint32_t ms, Callback callback) override;
    TaskId WhenReadable(int fd, Callback callback) override;
    TaskId WhenWritable(int fd, Callback callback) override;
    void Cancel(TaskId id) override;
    std::int64_t NowMs() const override;

private:
    TaskId Watch(int fd, bool writable, Callback callback);
    QTimer* TakeTimer();
    void ReleaseTimer(QTimer* timer);
    void Expired(QTimer* timer);

    // One notifier per descriptor and direction serves every watch on it: Qt's dispatchers
    // differ on several notifiers for one descriptor, and some keep only the last.
    struct Notifier {
        QSocketNotifier* notifier = nullptr;
        std::vector<TaskId> watches; // in the order they were made
    };
    using NotifierKey = std::pair<int, bool>; // descriptor, writable
    struct KeyHash {
        std::size_t operator()(const NotifierKey& key) const {
            return std::hash<int>()(key.first) * 2 + key.second;
        }
    };
    struct Task {
        QTimer* timer = nullptr;
        NotifierKey watch{-1, false};
        Callback callback;
    };
    void Activated(const NotifierKey& key);
    void Unwatch(TaskId id, const NotifierKey& key);

    std::unordered_map<TaskId, Task> tasks_;
    std::unordered_map<NotifierKey, Notifier, KeyHash> notifiers_;
    std::unordered_map<QTimer*, TaskId> timerTasks_; // the pending task of each armed timer
    std::vector<QTimer*> idleTimers_;
    TaskId next_ = 0;
    QElapsedTimer clock_;
};

} // namespace vesmera
