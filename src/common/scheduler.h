#pragma once

#include <cstdint>
#include <functional>
#include <utility>

namespace vesmera {

// The event loop as the logic sees it. Nothing in the program waits: an exchange that has to
// wait for a delay or for a descriptor asks the scheduler to call it back and returns at once.
// Every callback runs later, from the event loop on the thread that owns the scheduler, one at
// a time; never from inside the call that scheduled it.
class IScheduler {
public:
    using TaskId = std::uint64_t; // 0 is never a task
    using Callback = std::function<void()>;

    virtual ~IScheduler() = default;

    // Runs the callback once, no sooner than ms milliseconds from now.
    virtual TaskId After(std::uint32_t ms, Callback callback) = 0;
    // Runs the callback each time the descriptor is readable (or writable) until cancelled.
    virtual TaskId WhenReadable(int fd, Callback callback) = 0;
    virtual TaskId WhenWritable(int fd, Callback callback) = 0;
    // Forgets a pending task. Unknown, finished and already cancelled ids are ignored, so a
    // callback may cancel its own task.
    virtual void Cancel(TaskId id) = 0;
    // Milliseconds on a monotonic clock.
    virtual std::int64_t NowMs() const = 0;
};

// One pending task, cancelled when the holder goes or arms another: an exchange that is
// destroyed mid-step leaves no callback behind that would reach it.
class ScheduledTask {
public:
    ScheduledTask() = default;
    explicit ScheduledTask(IScheduler& scheduler) : scheduler_(&scheduler) {}
    ScheduledTask(const ScheduledTask&) = delete;
    ScheduledTask& operator=(const ScheduledTask&) = delete;
    ScheduledTask(ScheduledTask&& other) noexcept
        : scheduler_(other.scheduler_), id_(std::exchange(other.id_, 0)) {}
    ScheduledTask& operator=(ScheduledTask&& other) noexcept {
        if (this != &other) {
            Cancel();
            scheduler_ = other.scheduler_;
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }
    ~ScheduledTask() { Cancel(); }

    void After(std::uint32_t ms, IScheduler::Callback callback) {
        Cancel();
        id_ = scheduler_->After(ms, std::move(callback));
    }
    void WhenReadable(int fd, IScheduler::Callback callback) {
        Cancel();
        id_ = scheduler_->WhenReadable(fd, std::move(callback));
    }
    void WhenWritable(int fd, IScheduler::Callback callback) {
        Cancel();
        id_ = scheduler_->WhenWritable(fd, std::move(callback));
    }
    void Cancel() {
        if (id_ != 0 && scheduler_)
            scheduler_->Cancel(std::exchange(id_, 0));
    }
    // A one-shot task marks itself done when it runs, so the next arm does not cancel a task
    // the scheduler has already forgotten (harmless, but this keeps Pending() true to life).
    void Done() { id_ = 0; }
    bool Pending() const { return id_ != 0; }

private:
    IScheduler* scheduler_ = nullptr;
    IScheduler::TaskId id_ = 0;
};

} // namespace vesmera
