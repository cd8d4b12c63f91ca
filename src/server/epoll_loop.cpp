#include "server/epoll_loop.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "common/exception.h"
#include "common/watchable.h"

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
    const bool known = byFd_.count(fd) != 0;
    FdWatches& slot = byFd_[fd];
    const TaskId id = ++next_;
    (writable ? slot.write : slot.read).push_back(id);
    watches_.emplace(id, Watch{fd, writable, std::move(callback)});
    try {
        UpdateEpoll(fd, slot);
    } catch (const Exception&) {
        // Refused by epoll (a closed descriptor, a regular file): no dead watch stays behind.
        watches_.erase(id);
        (writable ? slot.write : slot.read).pop_back();
        if (!known)
            byFd_.erase(fd);
        throw;
    }
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
    auto& ids = watch->second.writable ? slot.write : slot.read;
    std::erase(ids, id);
    watches_.erase(watch);
    UpdateEpoll(fd, slot);
}

void EpollLoop::UpdateEpoll(int fd, FdWatches& slot) {
    std::uint32_t events = 0;
    if (!slot.read.empty())
        events |= EPOLLIN | EPOLLRDHUP;
    if (!slot.write.empty())
        events |= EPOLLOUT;
    if (events == 0) {
        // The descriptor may be closed already, which took it out of the set (EBADF), or closed
        // and its number given to another file that the set never held (ENOENT).
        if (::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr) != 0 && errno != EBADF &&
            errno != ENOENT)
            throw Exception(WatchFailure(fd, errno));
        byFd_.erase(fd);
        return;
    }
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = fd;
    // Asked each time, also when the events stay: a descriptor closed under its watch and
    // opened again under the same number is a new file that the set does not hold yet.
    const int op = slot.events == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    int result = ::epoll_ctl(epoll_, op, fd, &ev);
    if (result != 0 && op == EPOLL_CTL_MOD && errno == ENOENT)
        result = ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
    else if (result != 0 && op == EPOLL_CTL_ADD && errno == EEXIST)
        result = ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &ev);
    if (result != 0)
        throw Exception(WatchFailure(fd, errno));
    slot.events = events;
}

void EpollLoop::RunWatches(std::vector<TaskId> ids) {
    for (const TaskId id : ids) {
        if (stopped_)
            return;
        auto watch = watches_.find(id);
        if (watch == watches_.end()) // cancelled by a callback that ran before it
            continue;
        // A copy: the callback may cancel its own watch, or close its descriptor.
        Callback callback = watch->second.callback;
        callback();
    }
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
            // Both lists are taken before any callback runs: a watch made by a callback (a new
            // client on a reused descriptor) waits for readiness of its own.
            std::vector<TaskId> readers = slot->second.read;
            std::vector<TaskId> writers = slot->second.write;
            // Errors and hang-ups go to the readers, which learn the reason from their read, or
            // to the writers of a descriptor nobody reads.
            const bool readable = got & (EPOLLIN | EPOLLRDHUP | EPOLLERR | EPOLLHUP);
            const bool writable = got & (EPOLLOUT | EPOLLERR | EPOLLHUP);
            const bool toWriters = writable || (readable && readers.empty());
            if (readable)
                RunWatches(std::move(readers));
            if (toWriters)
                RunWatches(std::move(writers));
        }
        RunDueTimers();
    }
}

} // namespace vesmera
