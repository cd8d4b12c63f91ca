#include "terminal-sim/sim_pty.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "common/exception.h"

namespace vesmera {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw Exception(what + ": " + std::strerror(errno));
}

bool WaitIn(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0 && (p.revents & POLLIN) != 0;
    }
}

} // namespace

SimPty::SimPty(Slave slave) : slave_(slave) {}

SimPty::~SimPty() {
    Close();
}

void SimPty::Open() {
    if (IsOpen())
        return;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0)
        Fail("posix_openpt");
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        const int e = errno;
        Close();
        errno = e;
        Fail("pty setup");
    }
    slavePath_ = name;
    // Raw from the start: without it the line discipline would echo the terminal's replies
    // back and translate CR before the program has set up its port.
    termios t{};
    if (::tcgetattr(master_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
    }
    if (slave_ == Slave::Held) {
        heldSlave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (heldSlave_ < 0) {
            const int e = errno;
            Close();
            errno = e;
            Fail("open " + slavePath_);
        }
    }
}

void SimPty::Close() {
    if (heldSlave_ >= 0)
        ::close(heldSlave_);
    if (master_ >= 0)
        ::close(master_);
    heldSlave_ = master_ = -1;
}

std::string SimPty::ReadAvailable() {
    std::string out;
    if (!IsOpen())
        return out;
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: nothing more; EIO: no program has the slave open.
        return out;
    }
}

void SimPty::Write(std::string_view bytes) {
    while (IsOpen() && !bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return; // nobody reads: a real line drops what the far end does not take
        } else {
            return;
        }
    }
}

bool SimPty::WaitReadable(int timeoutMs) {
    return IsOpen() && WaitIn(master_, timeoutMs);
}

std::size_t SimPty::PendingAtSlave() const {
    int n = 0;
    if (heldSlave_ < 0 || ::ioctl(heldSlave_, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return static_cast<std::size_t>(n);
}

bool SimPty::WaitDelivered(std::size_t count, int timeoutMs) {
    // The pseudo-terminal hands bytes over from a kernel work queue, so they become readable
    // a moment after the write returns.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (PendingAtSlave() < count) {
        if (heldSlave_ < 0 || std::chrono::steady_clock::now() > deadline)
            return false;
        ::poll(nullptr, 0, 1);
    }
    return true;
}

} // namespace vesmera
