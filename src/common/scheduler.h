#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

namespace vesmera {

// The event loop as the logic sees it. Nothing in the program waits: an exchange that has to
// wait for a delay or for a descriptor asks the scheduler to call it back and returns at once.
// Every callback runs later, from the event loop on the thread that owns the scheduler, one at
// a time; never from inside the call that scheduled it.
//
// The contract every implementation keeps (the Qt loop of the programs, the server's epoll
// loop and the tests' hand-clocked fake alike):
// - Timers run in due order; timers due at the same moment run in the order they were armed.
//   A callback may arm new tasks, its own next step included, and cancel any task.
// - Any number of watches may be made on one descriptor and direction; each readiness runs
//   every one of them, in the order they were made.
// - A task cancelled by another callback before its turn comes does not run, also when it was
//   due or ready in the same round.
// - A descriptor that cannot be watched (not open, a regular file, a folder) is refused with an
//   Exception when the watch is made; a watch never silently does nothing.
class IScheduler {
public:
    using TaskId = std::uint64_t; // 0 is never a task
    using Callback = std::function<void()>;

    virtual ~IScheduler() = default;

    // Runs the callback once, no sooner than ms milliseconds from now.
    virtual TaskId After(std::uint32_t ms, Callback callback) = 0;
    // Runs the callback each time the descriptor is readable (or writable) until cancelled.
    // Throws Exception for a descriptor that cannot be watched.
    virtual TaskId WhenReadable(int fd, Callback callback) = 0;
    virtual TaskId WhenWritable(int fd, Callback callback) = 0;
    // Forgets a pending task. Unknown, finished and already cancelled ids are ignored, so a
    // callback may cancel its own task.
    virtual void Cancel(TaskId id) = 0;
    // Milliseconds on a monotonic clock.
    virtual std::int64_t NowMs() const = 0;
};

// One pending task, cancelled when the holder goes or arms another: an exchange that is
// destroyed mid-step leaves no callback behind that would reach it. A one-shot task is no longer
// pending from the moment it fires, before its callback runs, so the callback may arm the next.
// The id lives in a small shared slot rather than in the holder, so a holder that is moved while
// its task is pending still learns that the task fired.
class ScheduledTask {
public:
    ScheduledTask() = default;
    explicit ScheduledTask(IScheduler& scheduler)
        : scheduler_(&scheduler), id_(std::make_shared<IScheduler::TaskId>(0)) {}
    ScheduledTask(const ScheduledTask&) = delete;
    ScheduledTask& operator=(const ScheduledTask&) = delete;
    ScheduledTask(ScheduledTask&& other) noexcept
        : scheduler_(other.scheduler_), id_(std::move(other.id_)) {}
    ScheduledTask& operator=(ScheduledTask&& other) noexcept {
        if (this != &other) {
            Cancel();
            scheduler_ = other.scheduler_;
            id_ = std::move(other.id_);
        }
        return *this;
    }
    ~ScheduledTask() { Cancel(); }

    void After(std::uint32_t ms, IScheduler::Callback callback) {
        Cancel();
        std::weak_ptr<IScheduler::TaskId> slot = id_;
        *id_ = scheduler_->After(ms, [slot, callback = std::move(callback)] {
            if (auto id = slot.lock())
                *id = 0;
            callback();
        });
    }
    void WhenReadable(int fd, IScheduler::Callback callback) {
        Cancel();
        *id_ = scheduler_->WhenReadable(fd, std::move(callback));
    }
    void WhenWritable(int fd, IScheduler::Callback callback) {
        Cancel();
        *id_ = scheduler_->WhenWritable(fd, std::move(callback));
    }
    void Cancel() {
        if (id_ && *id_ != 0 && scheduler_)
            scheduler_->Cancel(std::exchange(*id_, 0));
    }
    bool Pending() const { return id_ && *id_ != 0; }

private:
    IScheduler* scheduler_ = nullptr;
    std::shared_ptr<IScheduler::TaskId> id_;
};

} // namespace vesmera
