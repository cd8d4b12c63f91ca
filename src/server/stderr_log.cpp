#include "server/stderr_log.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "common/text_encoding.h"

namespace vesmera {

LogTarget OpenStderrLogTarget() {
    struct stat st {};
    if (::fstat(STDERR_FILENO, &st) != 0)
        return {STDERR_FILENO, LogTarget::Kind::File}; // closed: every write fails at once
    if (S_ISSOCK(st.st_mode))
        return {STDERR_FILENO, LogTarget::Kind::Socket};
    if (S_ISREG(st.st_mode))
        return {STDERR_FILENO, LogTarget::Kind::File};
    const int fd = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {STDERR_FILENO, LogTarget::Kind::Unopened};
    return {fd, LogTarget::Kind::Owned};
}

LogStyle LogStyleFor(int fd, const char* journalStream) {
    if (!journalStream)
        return LogStyle::Timestamped;
    unsigned long long device = 0, inode = 0;
    struct stat st {};
    if (std::sscanf(journalStream, "%llu:%llu", &device, &inode) != 2 || ::fstat(fd, &st) != 0)
        return LogStyle::Timestamped;
    return device == st.st_dev && inode == st.st_ino ? LogStyle::Journal : LogStyle::Timestamped;
}

std::string FormatLogTime(std::int64_t wallMs) {
    const std::time_t seconds = static_cast<std::time_t>(wallMs / 1000);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    const long offset = local.tm_gmtoff / 60;
    const long offsetAbs = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(wallMs % 1000),
                  offset < 0 ? '-' : '+', offsetAbs / 60, offsetAbs % 60);
    return text;
}

std::string LogSafeText(std::string_view line) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(line.size());
    for (std::size_t pos = 0; pos < line.size();) {
        const auto byte = static_cast<unsigned char>(line[pos]);
        const std::size_t length = Utf8SequenceLength(line, pos);
        if (length > 0 && byte >= 0x20 && byte != 0x7F) {
            out.append(line, pos, length);
            pos += length;
            continue;
        }
        out += "\\x";
        out += hex[byte >> 4];
        out += hex[byte & 15];
        ++pos;
    }
    return out;
}

StderrLog::StderrLog(IScheduler& scheduler, LogTarget target, LogStyle style, WallClock wallMs)
    : target_(target), style_(style), wallMs_(std::move(wallMs)), writable_(scheduler) {}

StderrLog::~StderrLog() {
    writable_.Cancel();
    // A last try for what is still buffered (the line saying why the server stops); what the
    // descriptor does not take now is lost.
    Flush();
    writable_.Cancel();
    if (target_.kind == LogTarget::Kind::Owned)
        ::close(target_.fd);
}

std::string StderrLog::Formatted(LogPriority priority, const std::string& line) const {
    std::string text = style_ == LogStyle::Journal
                           ? "<" + std::to_string(static_cast<int>(priority)) + ">"
                           : FormatLogTime(wallMs_()) + " ";
    text += LogSafeText(line);
    text += '\n';
    return text;
}

void StderrLog::Write(LogPriority priority, const std::string& line) {
    if (gone_)
        return;
    std::string text = Formatted(priority, line);
    // Once a line is lost, later ones wait for the count to go out first.
    if (lost_ > 0 || Buffered() + text.size() > kBufferLimit) {
        ++lost_;
        return;
    }
    buffer_ += text;
    if (!writable_.Pending())
        Flush();
}

void StderrLog::Flush() {
    while (!gone_) {
        while (Buffered() > 0) {
            const long n = Send(std::string_view(buffer_).substr(sent_));
            if (n < 0) {
                gone_ = true;
                buffer_.clear();
                sent_ = 0;
                writable_.Cancel();
                return;
            }
            if (n == 0) {
                // Keep the buffer from growing by the part already gone.
                buffer_.erase(0, sent_);
                sent_ = 0;
                if (!writable_.Pending())
                    writable_.WhenWritable(target_.fd, [this] { Flush(); });
                return;
            }
            sent_ += static_cast<std::size_t>(n);
        }
        buffer_.clear();
        sent_ = 0;
        writable_.Cancel();
        if (lost_ == 0)
            return;
        const std::size_t lost = lost_;
        lost_ = 0;
        buffer_ = Formatted(LogPriority::Warning,
                            std::to_string(lost) +
                                " log lines lost: standard error was not read in time");
    }
}

long StderrLog::Send(std::string_view bytes) {
    for (;;) {
        ssize_t n = 0;
        switch (target_.kind) {
        case LogTarget::Kind::Socket:
            n = ::send(target_.fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            break;
        case LogTarget::Kind::Unopened: {
            // A blocking description that is not ours to change: a pipe that says it is
            // writable takes PIPE_BUF bytes without waiting.
            pollfd ready{target_.fd, POLLOUT, 0};
            if (::poll(&ready, 1, 0) <= 0)
                return 0;
            if (ready.revents & (POLLERR | POLLHUP | POLLNVAL))
                return -1;
            n = ::write(target_.fd, bytes.data(), std::min<std::size_t>(bytes.size(), PIPE_BUF));
            break;
        }
        default:
            n = ::write(target_.fd, bytes.data(), bytes.size());
            break;
        }
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

} // namespace vesmera
