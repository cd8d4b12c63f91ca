#include "server/epoll_loop.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "common/exception.h"

namespace vesmera {

namespace {

constexpr int kEventsPerRound = 256;

} // namespace

EpollLoop::EpollLoop() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
    if (epoll_ < 0)
        throw Exception(std::string("epoll_create1: ") + std::strerror(errno));
}

EpollLoop::~EpollLoop() {
    ::close(epoll_);
}

std::int64_t EpollLoop::NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

IScheduler::TaskId EpollLoop::After(std::uint32_t ms, Callback callback) {
    const TaskId id = ++next_;
    const std::int64_t due = NowMs() + ms;
    timers_.emplace(std::make_pair(due, id), std::move(callback));
    timerDue_.emplace(id, due);
    return id;
}

IScheduler::TaskId EpollLoop::WhenReadable(int fd, Callback callback) {
    return AddWatch(fd, false, std::move(callback));
}

IScheduler::TaskId EpollLoop::WhenWritable(int fd, Callback callback) {
    return AddWatch(fd, true, std::move(callback));
}

IScheduler::TaskId EpollLoop::AddWatch(int fd, bool writable, Callback callback) {
    const TaskId id = ++next_;
    FdWatches& slot = byFd_[fd];
    TaskId& held = writable ? slot.write : slot.read;
    // One watch per direction and descriptor: a new one replaces the old.
    if (held != 0)
        watches_.erase(held);
    held = id;
    watches_.emplace(id, Watch{fd, writable, std::move(callback)});
    UpdateEpoll(fd);
    return id;
}

void EpollLoop::Cancel(TaskId id) {
    if (auto due = timerDue_.find(id); due != timerDue_.end()) {
        timers_.erase(std::make_pair(due->second, id));
        timerDue_.erase(due);
        return;
    }
    auto watch = watches_.find(id);
    if (watch == watches_.end())
        return;
    const int fd = watch->second.fd;
    FdWatches& slot = byFd_[fd];
    (watch->second.writable ? slot.write : slot.read) = 0;
    watches_.erase(watch);
    UpdateEpoll(fd);
}

void EpollLoop::UpdateEpoll(int fd) {
    auto slot = byFd_.find(fd);
    std::uint32_t events = 0;
    if (slot != byFd_.end()) {
        if (slot->second.read)
            events |= EPOLLIN | EPOLLRDHUP;
        if (slot->second.write)
            events |= EPOLLOUT;
    }
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = fd;
    if (events == 0) {
        // The descriptor may be closed already, which removed it from the set.
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        byFd_.erase(fd);
        return;
    }
    if (::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &ev) != 0 && errno == ENOENT)
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
}

void EpollLoop::RunWatch(TaskId id) {
    auto watch = watches_.find(id);
    if (watch == watches_.end())
        return;
    // A copy: the callback may cancel its own watch, or close its descriptor.
    Callback callback = watch->second.callback;
    callback();
}

int EpollLoop::WaitMs() const {
    if (timers_.empty())
        return -1;
    const std::int64_t wait = timers_.begin()->first.first - NowMs();
    return wait < 0 ? 0 : static_cast<int>(std::min<std::int64_t>(wait, 60000));
}

void EpollLoop::RunDueTimers() {
    const std::int64_t now = NowMs();
    while (!stopped_ && !timers_.empty() && timers_.begin()->first.first <= now) {
        auto it = timers_.begin();
        Callback callback = std::move(it->second);
        timerDue_.erase(it->first.second);
        timers_.erase(it);
        callback();
    }
}

void EpollLoop::Run() {
    stopped_ = false;
    epoll_event events[kEventsPerRound];
    while (!stopped_) {
        const int n = ::epoll_wait(epoll_, events, kEventsPerRound, WaitMs());
        if (n < 0 && errno != EINTR)
            throw Exception(std::string("epoll_wait: ") + std::strerror(errno));
        for (int i = 0; i < n && !stopped_; ++i) {
            const int fd = events[i].data.fd;
            const std::uint32_t got = events[i].events;
            auto slot = byFd_.find(fd);
            if (slot == byFd_.end())
                continue;
            const TaskId write = slot->second.write;
            // Errors and hang-ups go to the reader, which learns the reason from its read.
            if (got & (EPOLLIN | EPOLLRDHUP | EPOLLERR | EPOLLHUP)) {
                if (slot->second.read)
                    RunWatch(slot->second.read);
                else if (!(got & EPOLLOUT))
                    RunWatch(write);
            }
            if (got & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
                slot = byFd_.find(fd);
                // Only the watch that was there before the reader ran: a new client on a
                // reused descriptor has its own readiness to wait for.
                if (slot != byFd_.end() && slot->second.write == write && write != 0)
                    RunWatch(write);
            }
        }
        RunDueTimers();
    }
}

} // namespace vesmera
