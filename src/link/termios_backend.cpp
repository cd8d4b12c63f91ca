#include "link/termios_backend.h"

#include "link/termios_line.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vesmera {

namespace {

// A pseudo-terminal or a device without modem lines answers these; that is no failure.
bool NoModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

class TermiosSerialDevice final : public ISerialDevice {
public:
    explicit TermiosSerialDevice(int fd) : FFd(fd) {}
    ~TermiosSerialDevice() override { static_cast<void>(Close()); }
    TermiosSerialDevice(const TermiosSerialDevice&) = delete;
    TermiosSerialDevice& operator=(const TermiosSerialDevice&) = delete;

    // The kernel's queues have fixed sizes; there is nothing to ask for.
    int SetQueueSizes(std::int32_t, std::int32_t) override { return 0; }

    int SetLineState(const TComLineState& state) override {
        termios2 settings{};
        if (int error = MakeTermios(state, settings); error != 0)
            return error;
        if (::ioctl(FFd, TCSETS2, &settings) != 0)
            return errno;
        const bool dtr = state.dtrControl != dtrDisable;
        if (int error = SetModemLine(TIOCM_DTR, dtr); error != 0)
            return error;
        // With a handshake the driver drives RTS itself. Raising RTS only while sending has no
        // termios form; the line then stays inactive.
        if (state.rtsControl != rtsHandshake) {
            if (int error = SetModemLine(TIOCM_RTS, state.rtsControl == rtsEnable); error != 0)
                return error;
        }
        FDiscardNull = state.discardNull;
        return 0;
    }

    // Reads never wait (non-blocking, VMIN = VTIME = 0) and the port bounds its writes by its
    // own clock, so the device keeps no time-outs.
    int SetTimeouts(const TComTimeoutValues&) override { return 0; }

    SerialTransfer Write(const char* bytes, std::size_t count) override {
        for (;;) {
            ssize_t n = ::write(FFd, bytes, count);
            if (n >= 0)
                return {static_cast<std::size_t>(n), 0};
            if (errno == EAGAIN)
                return {0, 0};
            if (errno != EINTR)
                return {0, errno};
        }
    }

    SerialTransfer OutputQueued() override {
        int queued = 0;
        if (::ioctl(FFd, TIOCOUTQ, &queued) != 0)
            return {0, errno};
        return {static_cast<std::size_t>(std::max(queued, 0)), 0};
    }

    SerialTransfer Read(char* bytes, std::size_t count) override {
        ssize_t n;
        do {
            n = ::read(FFd, bytes, count);
        } while (n < 0 && errno == EINTR);
        if (n < 0 && errno != EAGAIN)
            return {0, errno};
        if (n > 0) {
            return {FDiscardNull ? DropNulls(bytes, static_cast<std::size_t>(n))
                                 : static_cast<std::size_t>(n),
                    0};
        }
        // Nothing read: either nothing has arrived, or the device hung up (a vanished USB
        // adapter, a pseudo-terminal whose master closed), which read() reports as 0 bytes
        // and poll() as POLLHUP.
        pollfd p{FFd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return {0, EIO};
        return {0, 0};
    }

    int QueryStatus() override {
        int waiting = 0;
        return ::ioctl(FFd, TIOCINQ, &waiting) == 0 ? 0 : errno;
    }

    // Every transfer of this device ends inside its call; nothing is ever pending.
    int AbortPending() override { return 0; }

    int Close() override {
        if (FFd < 0)
            return 0;
        // The exclusive flag belongs to the terminal, not to the descriptor: on a
        // pseudo-terminal it would outlive the close and lock every later user out.
        static_cast<void>(::ioctl(FFd, TIOCNXCL));
        static_cast<void>(::flock(FFd, LOCK_UN));
        int result = ::close(FFd) == 0 ? 0 : errno;
        FFd = -1;
        return result;
    }

    int Handle() const override { return FFd; }

private:
    int SetModemLine(int line, bool on) {
        if (::ioctl(FFd, on ? TIOCMBIS : TIOCMBIC, &line) != 0 && !NoModemLines(errno))
            return errno;
        return 0;
    }

    static std::size_t DropNulls(char* bytes, std::size_t count) {
        return static_cast<std::size_t>(std::remove(bytes, bytes + count, '\0') - bytes);
    }

    int FFd;
    bool FDiscardNull = false;
};

} // namespace

SerialOpenResult TermiosSerialBackend::Open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {nullptr, errno};
    // The lock comes first: an opener that loses here must not touch the exclusive flag that
    // the holder set on the shared terminal.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        return {nullptr, error};
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        int error = errno;
        ::close(fd);
        return {nullptr, error};
    }
    return {std::make_unique<TermiosSerialDevice>(fd), 0};
}

} // namespace vesmera
