#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "server/client_notes.h"
#include "server/stderr_log.h"
#include "server_fakes.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using testing::FakeLog;
using testing::FakeScheduler;

// A flood of one kind gives one line a second, the first held back in each second with how
// many were held back besides it; another kind is not held back by it, and a quiet second lets
// the next note out at once.
TEST(ClientNotes, OneLinePerKindPerSecondWithTheCountOfTheRest) {
    FakeScheduler clock;
    FakeLog log;
    {
        ClientNotes notes(clock, log);
        const auto at = [&](std::int64_t ms, ClientNote kind, const char* line) {
            clock.Advance(ms - clock.NowMs());
            notes.Note(kind, line);
        };
        at(0, ClientNote::UnknownZero, "z1");
        at(10, ClientNote::UnknownZero, "z2");
        at(20, ClientNote::ServerFull, "f1");
        at(30, ClientNote::UnknownZero, "z3");
        at(999, ClientNote::UnknownZero, "z4");
        EXPECT_EQ(log.lines, (std::vector<std::string>{"z1", "f1"}));
        at(1500, ClientNote::UnknownZero, "z5"); // the second after the summary at 1000
        at(2999, ClientNote::UnknownZero, "z6"); // after the line at 2000: held
        clock.Advance(1001);
        at(4500, ClientNote::UnknownZero, "z7"); // a quiet second has passed
        at(4600, ClientNote::UnknownZero, "z8");
        at(4700, ClientNote::UnknownZero, "z9");
        EXPECT_EQ(log.lines,
                  (std::vector<std::string>{"z1", "f1", "z2 (2 more)", "z5", "z6", "z7"}));
        // A line that is made on demand is made only to be said or kept.
        int made = 0;
        for (int i = 0; i < 1000; ++i)
            notes.Note(ClientNote::NotAllowed, [&] {
                ++made;
                return std::string("n");
            });
        EXPECT_EQ(made, 2);
    }
    // What is still held is said when the notes go.
    EXPECT_EQ(log.lines[log.lines.size() - 2], "z8 (1 more)");
    EXPECT_EQ(log.lines.back(), "n (998 more)");
    for (auto priority : log.priorities)
        EXPECT_EQ(priority, LogPriority::Warning);
}

struct SafeTextRow {
    const char* name;
    std::string line;
    std::string written;
};

class LogSafeTextTest : public ::testing::TestWithParam<SafeTextRow> {};

TEST_P(LogSafeTextTest, KeepsValidUtf8AndEscapesTheRest) {
    EXPECT_EQ(LogSafeText(GetParam().line), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LogSafeTextTest,
    ::testing::Values(
        SafeTextRow{"Cyrillic", "terminal \"Весы 1\": linked", "terminal \"Весы 1\": linked"},
        SafeTextRow{"FourByteSequence", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        SafeTextRow{"LoneByte",
                    "a\xFF"
                    "b",
                    "a\\xffb"},
        SafeTextRow{"CutSequence", "\xD0\x92\xD0", "\xD0\x92\\xd0"},
        SafeTextRow{"Overlong", "\xC0\xAF", "\\xc0\\xaf"},
        SafeTextRow{"Surrogate", "\xED\xA0\x80", "\\xed\\xa0\\x80"},
        SafeTextRow{"LineBreaksAndEscape", "a\nb\r\x1B\x7F", "a\\x0ab\\x0d\\x1b\\x7f"},
        SafeTextRow{"Nul", std::string("a\0b", 3), "a\\x00b"}),
    [](const auto& info) { return info.param.name; });

// The time zone of the test's own choosing, given back at the end.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* saved = std::getenv("TZ"))
            saved_ = saved;
        Set(zone);
    }
    ~ScopedTimeZone() { Set(saved_ ? saved_->c_str() : nullptr); }
    static void Set(const char* zone) {
        if (zone)
            ::setenv("TZ", zone, 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> saved_;
};

// Local time with its offset from UTC, in both directions, with milliseconds.
TEST(LogTime, LocalIso8601WithMilliseconds) {
    ScopedTimeZone zone("<+0130>-1:30");
    EXPECT_EQ(FormatLogTime(0), "1970-01-01T01:30:00.000+01:30");
    ScopedTimeZone::Set("<-05>5");
    EXPECT_EQ(FormatLogTime(1'765'350'000'250), "2025-12-10T02:00:00.250-05:00");
}

TEST(LogStyle, JournalOnlyWhenTheStreamIsOurs) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    struct stat st {};
    ASSERT_EQ(::fstat(fds[1], &st), 0);
    const std::string ours = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    const std::string other = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1);
    EXPECT_EQ(LogStyleFor(fds[1], ours.c_str()), LogStyle::Journal);
    EXPECT_EQ(LogStyleFor(fds[1], other.c_str()), LogStyle::Timestamped);
    EXPECT_EQ(LogStyleFor(fds[1], "x"), LogStyle::Timestamped);
    EXPECT_EQ(LogStyleFor(fds[1], nullptr), LogStyle::Timestamped);
    ::close(fds[0]);
    ::close(fds[1]);
}

// Standard error on a pipe the server shares with its parent is opened anew for the log: the
// log's own description does not wait, and the shared one keeps its flags.
TEST(LogTarget, APipeIsReopenedNonBlockingLeavingTheSharedDescriptionAlone) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    const int savedErr = ::dup(STDERR_FILENO);
    ASSERT_EQ(::dup2(fds[1], STDERR_FILENO), STDERR_FILENO);
    const LogTarget target = OpenStderrLogTarget();
    const int sharedFlags = ::fcntl(STDERR_FILENO, F_GETFL);
    const int ownFlags = ::fcntl(target.fd, F_GETFL);
    ::dup2(savedErr, STDERR_FILENO);
    ::close(savedErr);
    EXPECT_EQ(target.kind, LogTarget::Kind::Owned);
    EXPECT_NE(target.fd, STDERR_FILENO);
    EXPECT_EQ(sharedFlags & O_NONBLOCK, 0);
    EXPECT_NE(ownFlags & O_NONBLOCK, 0);
    // It is the same pipe.
    ASSERT_EQ(::write(target.fd, "x", 1), 1);
    char got = 0;
    EXPECT_EQ(::read(fds[0], &got, 1), 1);
    EXPECT_EQ(got, 'x');
    ::close(target.fd);
    ::close(fds[0]);
    ::close(fds[1]);
}

// A log on a pipe nobody reads: writes return at once, the buffer stays bounded, and once the
// reader comes back the lines come in order, then the count of those that did not fit, then
// new lines.
struct PipeRig {
    PipeRig() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        reader = fds[0];
        writer = fds[1];
        ::fcntl(writer, F_SETPIPE_SZ, 4096);
    }
    ~PipeRig() { ::close(reader); }
    std::string ReadAll() {
        std::string out;
        char buffer[65536];
        for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
            out.append(buffer, static_cast<std::size_t>(n));
        return out;
    }
    FakeScheduler clock;
    int reader = -1, writer = -1;
};

TEST(StderrLog, FullPipeNeverWaitsAndCountsWhatDidNotFit) {
    PipeRig rig;
    StderrLog log(rig.clock, {rig.writer, LogTarget::Kind::Owned}, LogStyle::Journal,
                  [] { return std::int64_t{0}; });
    const std::string line(99, 'x'); // 104 bytes with "<4>" and the line end
    int written = 0;
    while (log.Buffered() + 104 <= StderrLog::kBufferLimit) {
        log.Write(LogPriority::Warning, line);
        ++written;
    }
    EXPECT_GT(written, 600); // the pipe took 4096 bytes, the buffer the rest
    for (int i = 0; i < 5; ++i)
        log.Write(LogPriority::Error, line);
    EXPECT_LE(log.Buffered(), StderrLog::kBufferLimit);

    // The reader drains the pipe as the loop refills it.
    std::string got;
    for (int round = 0; round < 1000 && log.Buffered() > 0; ++round) {
        got += rig.ReadAll();
        rig.clock.PumpDescriptors(0);
    }
    log.Write(LogPriority::Info, "after");
    got += rig.ReadAll();
    std::string expected;
    for (int i = 0; i < written; ++i)
        expected += "<4>" + line + "\n";
    expected += "<4>5 log lines lost: standard error was not read in time\n<6>after\n";
    EXPECT_TRUE(got == expected) << got.size() << " bytes, " << expected.size() << " expected";
}

TEST(StderrLog, TimestampedLinesAreSafeText) {
    PipeRig rig;
    ScopedTimeZone zone("UTC0");
    {
        StderrLog log(rig.clock, {rig.writer, LogTarget::Kind::Owned}, LogStyle::Timestamped,
                      [] { return std::int64_t{1'765'350'000'042}; });
        log.Write(LogPriority::Error, "name \xFF\n");
    }
    EXPECT_EQ(rig.ReadAll(), "2025-12-10T07:00:00.042+00:00 name \\xff\\x0a\n");
}

} // namespace
} // namespace vesmera
