#include "link/comport_pty_pair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace vesmera::test {

namespace {

constexpr int kArrivalLimitMs = 5000;

bool WaitReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, kArrivalLimitMs);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & POLLIN) != 0;
}

} // namespace

PtyPair::PtyPair() {
    char name[PATH_MAX] = {};
    if (::openpty(&FMaster, &FSlave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    FSlavePath = name;
}

PtyPair::~PtyPair() {
    CloseMaster();
    if (FSlave >= 0) {
        ::close(FSlave);
    }
}

void PtyPair::WriteMaster(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(FMaster, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ASSERT_GT(n, 0) << "write to pty master failed, errno " << errno;
        done += static_cast<std::size_t>(n);
    }
}

std::string PtyPair::ReadMaster(std::size_t count) {
    std::string bytes;
    while (bytes.size() < count && WaitReadable(FMaster)) {
        char buffer[256];
        ssize_t n = ::read(FMaster, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

void PtyPair::CloseMaster() {
    if (FMaster >= 0) {
        ::close(FMaster);
        FMaster = -1;
    }
}

bool WaitForInput(int fd, std::size_t count) {
    const auto limit =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kArrivalLimitMs);
    for (;;) {
        int waiting = 0;
        if (::ioctl(fd, FIONREAD, &waiting) != 0) {
            return false;
        }
        if (static_cast<std::size_t>(waiting) >= count) {
            return true;
        }
        if (std::chrono::steady_clock::now() > limit || !WaitReadable(fd)) {
            return false;
        }
        // Part has arrived, so poll() returns at once; let the kernel deliver the rest.
        std::this_thread::yield();
    }
}

} // namespace vesmera::test
