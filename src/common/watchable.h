#pragma once

#include <string>

namespace vesmera {

// The one text of a descriptor that a scheduler cannot watch, for every scheduler alike.
std::string WatchFailure(int fd, int error);

// Throws Exception(WatchFailure) for a descriptor no readiness watch can serve: one that is not
// open, or a regular file or folder, which are always ready and which epoll refuses. Schedulers
// that do not ask the kernel when a watch is made call this, so a watch never silently dies.
void CheckWatchable(int fd);

} // namespace vesmera
