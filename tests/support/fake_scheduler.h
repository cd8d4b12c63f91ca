#pragma once

#include <poll.h>

#include <map>
#include <tuple>
#include <vector>

#include "common/scheduler.h"
#include "common/watchable.h"

namespace vesmera::testing {

// A scheduler whose clock moves only when the test says so. Timers run in due order (ties in
// the order they were armed); descriptor watches are real: PumpDescriptors polls the watched
// descriptors once, so tests drive loopback sockets and pipes without a wall clock.
class FakeScheduler final : public IScheduler {
public:
    TaskId After(std::uint32_t ms, Callback callback) override {
        const TaskId id = ++next_;
        timers_.emplace(std::make_tuple(now_ + ms, id), Timer{id, std::move(callback)});
        return id;
    }
    TaskId WhenReadable(int fd, Callback callback) override {
        return Watch(fd, POLLIN, std::move(callback));
    }
    TaskId WhenWritable(int fd, Callback callback) override {
        return Watch(fd, POLLOUT, std::move(callback));
    }
    void Cancel(TaskId id) override {
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.id == id) {
                timers_.erase(it);
                return;
            }
        watches_.erase(id);
    }
    std::int64_t NowMs() const override { return now_; }

    // Moves the clock by ms, running every timer that falls due on the way at its own time.
    void Advance(std::int64_t ms) {
        const std::int64_t end = now_ + ms;
        while (!timers_.empty() && std::get<0>(timers_.begin()->first) <= end) {
            auto it = timers_.begin();
            now_ = std::get<0>(it->first);
            Callback callback = std::move(it->second.callback);
            timers_.erase(it);
            callback();
        }
        now_ = end;
    }
    // Runs the next timer, moving the clock to it. False when none is pending.
    bool RunNextTimer() {
        if (timers_.empty())
            return false;
        Advance(std::get<0>(timers_.begin()->first) - now_);
        return true;
    }
    // Polls the watched descriptors once (waiting up to waitMs of real time for one to become
    // ready) and runs the callbacks of the ready ones. Returns how many ran.
    int PumpDescriptors(int waitMs = 0) {
        std::vector<pollfd> fds;
        std::vector<TaskId> ids;
        for (const auto& [id, watch] : watches_) {
            fds.push_back(pollfd{watch.fd, watch.events, 0});
            ids.push_back(id);
        }
        if (fds.empty() || ::poll(fds.data(), fds.size(), waitMs) <= 0)
            return 0;
        int ran = 0;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            auto it = watches_.find(ids[i]);
            if (it == watches_.end()) // cancelled by an earlier callback of this round
                continue;
            Callback callback = it->second.callback;
            callback();
            ++ran;
        }
        return ran;
    }
    std::size_t PendingTimers() const { return timers_.size(); }
    std::size_t Watches() const { return watches_.size(); }
    // Milliseconds until the next timer, or -1 when none is pending.
    std::int64_t NextDueIn() const {
        return timers_.empty() ? -1 : std::get<0>(timers_.begin()->first) - now_;
    }

private:
    struct Timer {
        TaskId id;
        Callback callback;
    };
    struct Watch_ {
        int fd;
        short events;
        Callback callback;
    };
    TaskId Watch(int fd, short events, Callback callback) {
        CheckWatchable(fd);
        const TaskId id = ++next_;
        watches_.emplace(id, Watch_{fd, events, std::move(callback)});
        return id;
    }

    std::int64_t now_ = 0;
    TaskId next_ = 0;
    std::map<std::tuple<std::int64_t, TaskId>, Timer> timers_;
    std::map<TaskId, Watch_> watches_;
};

} // namespace vesmera::testing
