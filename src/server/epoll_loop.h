#pragma once

#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/scheduler.h"

namespace vesmera {

// The server's event loop: one epoll set for every descriptor and an ordered set of timers,
// on one thread, no thread per client. Level-triggered, so a callback that leaves data unread
// is called again on the next round instead of losing it.
class EpollLoop final : public IScheduler {
public:
    EpollLoop();
    ~EpollLoop() override;
    EpollLoop(const EpollLoop&) = delete;
    EpollLoop& operator=(const EpollLoop&) = delete;

    TaskId After(std::uint32_t ms, Callback callback) override;
    TaskId WhenReadable(int fd, Callback callback) override;
    TaskId WhenWritable(int fd, Callback callback) override;
    void Cancel(TaskId id) override;
    std::int64_t NowMs() const override;

    // Runs callbacks until Stop is called (from a callback).
    void Run();
    void Stop() { stopped_ = true; }

private:
    struct Watch {
        int fd;
        bool writable;
        Callback callback;
    };
    // The watches of one descriptor, in the order they were made.
    struct FdWatches {
        std::vector<TaskId> read;
        std::vector<TaskId> write;
        std::uint32_t events = 0; // what the epoll set asks of the descriptor now
    };
    TaskId AddWatch(int fd, bool writable, Callback callback);
    void UpdateEpoll(int fd, FdWatches& slot);
    // Runs each of the watches that is still there when its turn comes.
    void RunWatches(std::vector<TaskId> ids);
    void RunDueTimers();
    int WaitMs() const;

    int epoll_ = -1;
    bool stopped_ = false;
    TaskId next_ = 0;
    std::map<std::pair<std::int64_t, TaskId>, Callback> timers_;
    std::unordered_map<TaskId, std::int64_t> timerDue_;
    std::unordered_map<TaskId, Watch> watches_;
    std::unordered_map<int, FdWatches> byFd_;
};

} // namespace vesmera
