#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "common/scheduler.h"

namespace vesmera {

// Tells when a device node goes away and when it is there again, from inotify events on the
// folders that lead to it, read through the scheduler: no polling loop and no thread. A link
// (a /dev/serial/by-id name) is followed to its target, whose folder is watched too; a folder
// that is missing (udev removes an empty by-id folder) is watched for from its nearest
// existing parent. A device that flaps is told about at most once per kMinGapMs: the events in
// between are summed up into one.
class DeviceWatch {
public:
    enum class Change {
        Gone,     // the path names no node any more
        Appeared, // the path names a node again, or another node than before
        Touched,  // the same node all along, its attributes (owner, mode) perhaps changed
    };
    using Listener = std::function<void(Change change)>;
    // Told once, when a folder cannot be watched: the device is then found only by whoever
    // keeps trying without being told.
    using Note = std::function<void(const std::string& text)>;

    static constexpr std::uint32_t kMinGapMs = 100;

    DeviceWatch(IScheduler& scheduler, std::string path, Listener listener, Note note);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    const std::string& Path() const { return path_; }

private:
    struct Node {
        bool present = false;
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Node&) const = default;
    };
    static Node Look(const std::string& path);

    void Plan();
    void Watch(const std::string& folder, const std::string& name);
    void Read();
    void Tell();
    void Fail(const std::string& what, int error);

    IScheduler& scheduler_;
    std::string path_;
    Listener listener_;
    Note note_;
    int fd_ = -1;
    ScheduledTask reading_;
    ScheduledTask later_;
    std::map<int, std::string> folders_;         // watch descriptor → folder
    std::map<int, std::set<std::string>> names_; // the names in that folder that matter
    Node told_;
    bool touched_ = false;  // an event concerned the path since the last tell
    bool vanished_ = false; // and the path or a folder on its way was removed meanwhile
    std::int64_t lastTellMs_ = -1;
    bool failed_ = false;
};

} // namespace vesmera
