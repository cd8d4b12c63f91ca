#include "common/watchable.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common/exception.h"

namespace vesmera {

std::string WatchFailure(int fd, int error) {
    return "cannot watch descriptor " + std::to_string(fd) + ": " + std::strerror(error);
}

void CheckWatchable(int fd) {
    struct stat st {};
    if (fd < 0 || ::fcntl(fd, F_GETFD) < 0 || ::fstat(fd, &st) != 0)
        throw Exception(WatchFailure(fd, EBADF));
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
        throw Exception(WatchFailure(fd, EPERM));
}

} // namespace vesmera
