#include "link/device_watch.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace vesmera {

namespace {

// Links of links are followed this far; a loop of links ends here too.
constexpr int kMaxHops = 8;
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool IsFolder(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

DeviceWatch::DeviceWatch(IScheduler& scheduler, std::string path, Listener listener, Note note)
    : scheduler_(scheduler), path_(std::move(path)), listener_(std::move(listener)),
      note_(std::move(note)), reading_(scheduler), later_(scheduler), told_(Look(path_)) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        Fail("inotify", errno);
        return;
    }
    Plan();
    reading_.WhenReadable(fd_, [this] { Read(); });
}

DeviceWatch::~DeviceWatch() {
    reading_.Cancel();
    later_.Cancel();
    if (fd_ >= 0)
        ::close(fd_);
}

DeviceWatch::Node DeviceWatch::Look(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {true, st.st_dev, st.st_ino};
}

void DeviceWatch::Plan() {
    namespace fs = std::filesystem;
    // Each name on the way from the configured path to the node, in the nearest folder that
    // exists, so that a folder made again is seen and then watched itself.
    std::map<std::string, std::set<std::string>> wanted;
    fs::path p = fs::path(path_).lexically_normal();
    for (int hop = 0; hop < kMaxHops; ++hop) {
        fs::path folder = p.parent_path();
        fs::path name = p.filename();
        while (!IsFolder(folder) && folder.has_relative_path()) {
            name = folder.filename();
            folder = folder.parent_path();
        }
        wanted[folder.string()].insert(name.string());
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        std::error_code ec;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec)
            break;
        p = (target.is_absolute() ? target : p.parent_path() / target).lexically_normal();
    }

    std::map<int, std::string> folders;
    std::map<int, std::set<std::string>> names;
    for (const auto& [folder, inFolder] : wanted) {
        const int wd = ::inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
        if (wd < 0) {
            Fail(folder, errno);
            continue;
        }
        folders[wd] = folder;
        names[wd].insert(inFolder.begin(), inFolder.end());
    }
    for (const auto& [wd, folder] : folders_)
        if (!folders.contains(wd))
            ::inotify_rm_watch(fd_, wd);
    folders_ = std::move(folders);
    names_ = std::move(names);
}

void DeviceWatch::Read() {
    alignas(inotify_event) char buffer[4096];
    bool matters = false;
    while (true) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            // Events about a folder itself (removed, moved, its watch gone) and a lost queue
            // may concern the path; of the folder's entries only the names on the way do.
            if (event->len == 0 || (event->mask & IN_Q_OVERFLOW)) {
                matters = true;
                vanished_ |= (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0;
                continue;
            }
            const auto names = names_.find(event->wd);
            if (names != names_.end() && names->second.contains(event->name)) {
                matters = true;
                // A node made again may get the number of the one removed: what went away
                // in between is remembered, not told by comparing the two.
                vanished_ |= (event->mask & (IN_DELETE | IN_MOVED_FROM)) != 0;
            }
        }
    }
    if (!matters)
        return;
    touched_ = true;
    Plan();
    if (later_.Pending())
        return; // the change is told with the one already waiting
    const std::int64_t gap = scheduler_.NowMs() - lastTellMs_;
    if (lastTellMs_ < 0 || gap >= kMinGapMs) {
        Tell();
        return;
    }
    later_.After(static_cast<std::uint32_t>(kMinGapMs - gap), [this] { Tell(); });
}

void DeviceWatch::Tell() {
    const Node now = Look(path_);
    const Node before = told_;
    const bool touched = std::exchange(touched_, false);
    const bool vanished = std::exchange(vanished_, false);
    told_ = now;
    lastTellMs_ = scheduler_.NowMs();
    if (!now.present) {
        if (before.present)
            listener_(Change::Gone);
    } else if (!before.present || now != before || vanished) {
        listener_(Change::Appeared);
    } else if (touched) {
        listener_(Change::Touched);
    }
}

void DeviceWatch::Fail(const std::string& what, int error) {
    if (failed_ || !note_)
        return;
    failed_ = true;
    note_("cannot watch " + what + " for " + path_ + " (" + std::strerror(error) +
          "): a re-plugged device is found by the 10 s supervision tick only");
}

} // namespace vesmera
