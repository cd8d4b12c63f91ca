#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/scheduler.h"
#include "server/server_log.h"

namespace vesmera {

// How each line starts: with its syslog priority under journald, which dates the lines itself,
// otherwise with the local time.
enum class LogStyle { Journal, Timestamped };

// Where the log's lines go and how a write there is kept from waiting.
struct LogTarget {
    enum class Kind {
        Socket,   // sent with MSG_DONTWAIT: the flags of the shared socket stay as they were
        Owned,    // a descriptor of our own, non-blocking (a reopened pipe or terminal)
        File,     // a regular file: a write does not wait for a reader
        Unopened, // a pipe or terminal that could not be reopened: written only as much as it
                  // is ready to take whole
    };
    int fd = -1;
    Kind kind = Kind::Owned;
};

// Standard error made fit for the log: a socket or regular file is used as it is; a pipe or
// terminal is opened anew through /proc/self/fd/2 with O_NONBLOCK, so that the description the
// server shares with its parent keeps its flags.
LogTarget OpenStderrLogTarget();
// Journal when the JOURNAL_STREAM value ("device:inode") names the descriptor's file.
LogStyle LogStyleFor(int fd, const char* journalStream);

// "2026-12-10T14:33:03.125+01:00": the local time of a wall-clock instant, in milliseconds.
std::string FormatLogTime(std::int64_t wallMs);
// The line as one line of valid UTF-8: bytes that are not valid UTF-8, and control bytes, are
// written as \xNN.
std::string LogSafeText(std::string_view line);

// The server's log on a descriptor that may not be read for a while (a stopped reader, a full
// pipe): no write ever waits. Lines go into a buffer of at most kBufferLimit bytes that is
// sent as the descriptor takes it, the rest when the scheduler says it is writable. Lines that
// find the buffer full are counted, and once it has drained the count is written in their
// place. One write call per line where the descriptor takes it, so lines do not interleave.
class StderrLog final : public IServerLog {
public:
    static constexpr std::size_t kBufferLimit = 64 * 1024;
    using WallClock = std::function<std::int64_t()>; // ms since the epoch

    // The log closes the target's descriptor when it owns it.
    StderrLog(IScheduler& scheduler, LogTarget target, LogStyle style, WallClock wallMs);
    ~StderrLog() override;
    StderrLog(const StderrLog&) = delete;
    StderrLog& operator=(const StderrLog&) = delete;

    void Write(LogPriority priority, const std::string& line) override;

    std::size_t Buffered() const { return buffer_.size() - sent_; }

private:
    std::string Formatted(LogPriority priority, const std::string& line) const;
    // Sends what the descriptor takes now; arms the writable watch for the rest.
    void Flush();
    // Bytes written, 0 when the descriptor takes nothing now, -1 when it is gone for good.
    long Send(std::string_view bytes);

    LogTarget target_;
    LogStyle style_;
    WallClock wallMs_;
    ScheduledTask writable_;
    std::string buffer_;
    std::size_t sent_ = 0;
    std::size_t lost_ = 0;
    bool gone_ = false; // the reader has closed its end: nothing is kept any more
};

} // namespace vesmera
