// One contract for the three schedulers: the Qt loop of the programs, the server's epoll loop
// and the tests' hand-clocked fake. Each case runs against all three.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "common/exception.h"
#include "event/qt_scheduler.h"
#include "server/epoll_loop.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using Done = std::function<bool()>;

// Each harness serves its scheduler until `done` holds; a scheduler that never gets there
// fails the test after a cap instead of hanging it.
struct FakeHarness {
    testing::FakeScheduler scheduler;
    void RunUntil(const Done& done) {
        for (int round = 0; round < 10000 && !done(); ++round) {
            if (scheduler.PumpDescriptors(0) > 0 || scheduler.RunNextTimer())
                continue;
            if (scheduler.PumpDescriptors(100) == 0)
                break;
        }
        EXPECT_TRUE(done()) << "the fake scheduler ran out of work";
    }
};

struct EpollHarness {
    EpollLoop scheduler;
    void RunUntil(const Done& done) {
        const std::int64_t cap = scheduler.NowMs() + 5000;
        std::function<void()> check = [&] {
            if (done() || scheduler.NowMs() > cap)
                scheduler.Stop();
            else
                scheduler.After(1, check);
        };
        scheduler.After(0, check);
        scheduler.Run();
        EXPECT_TRUE(done()) << "the epoll loop never got there";
    }
};

struct QtHarness {
    QtScheduler scheduler;
    void RunUntil(const Done& done) {
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        check.start(1);
        QTimer::singleShot(5000, &loop, [&loop] { loop.quit(); });
        loop.exec();
        EXPECT_TRUE(done()) << "the Qt loop never got there";
    }
};

template <class Harness> class SchedulerContract : public ::testing::Test {
protected:
    SchedulerContract() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
        near = fds[0];
        far = fds[1];
    }
    ~SchedulerContract() override {
        ::close(near);
        ::close(far);
    }
    IScheduler& S() { return harness.scheduler; }
    void RunUntilRan(std::size_t count) {
        harness.RunUntil([&] { return ran.size() >= count; });
    }
    void MakeReadable() { ASSERT_EQ(::write(far, "x", 1), 1); }

    Harness harness;
    std::vector<std::string> ran;
    int near = -1, far = -1;
};

using Harnesses = ::testing::Types<FakeHarness, EpollHarness, QtHarness>;
TYPED_TEST_SUITE(SchedulerContract, Harnesses);

TYPED_TEST(SchedulerContract, TimersRunInDueOrderAndTiesInArmOrder) {
    auto& ran = this->ran;
    this->S().After(30, [&] { ran.push_back("30"); });
    this->S().After(0, [&] { ran.push_back("0a"); });
    this->S().After(10, [&] { ran.push_back("10"); });
    this->S().After(0, [&] { ran.push_back("0b"); });
    this->RunUntilRan(4);
    EXPECT_EQ(ran, (std::vector<std::string>{"0a", "0b", "10", "30"}));
}

TYPED_TEST(SchedulerContract, ACallbackCancelsAnotherDueTimerAndArmsItsOwnNextStep) {
    auto& ran = this->ran;
    IScheduler& s = this->S();
    IScheduler::TaskId victim = 0;
    s.After(0, [&] {
        ran.push_back("first");
        s.Cancel(victim); // due in this same round, yet it never runs
        s.After(5, [&] { ran.push_back("next step"); });
    });
    victim = s.After(0, [&] { ran.push_back("cancelled"); });
    s.After(20, [&] { ran.push_back("last"); });
    this->RunUntilRan(3);
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "next step", "last"}));
}

TYPED_TEST(SchedulerContract, AFiredTaskIsNoLongerPendingAndMayArmItselfAgain) {
    auto& ran = this->ran;
    ScheduledTask task(this->S());
    std::function<void()> step = [&] {
        ran.push_back(task.Pending() ? "still pending" : "fired");
        if (ran.size() < 3)
            task.After(1, step);
    };
    task.After(1, step);
    EXPECT_TRUE(task.Pending());
    // Moved while pending: the new holder still learns that the task fired.
    ScheduledTask moved = std::move(task);
    task = std::move(moved);
    this->RunUntilRan(3);
    EXPECT_EQ(ran, (std::vector<std::string>(3, "fired")));
    EXPECT_FALSE(task.Pending());
}

TYPED_TEST(SchedulerContract, EveryWatchOnOneDescriptorFiresAndACancelledOneDoesNot) {
    auto& ran = this->ran;
    IScheduler& s = this->S();
    IScheduler::TaskId third = 0;
    const auto first = s.WhenReadable(this->near, [&] { ran.push_back("first"); });
    const auto second = s.WhenReadable(this->near, [&] {
        ran.push_back("second");
        s.Cancel(third); // ready in this same round, yet it never runs
    });
    third = s.WhenReadable(this->near, [&] { ran.push_back("third"); });
    const auto writer = s.WhenWritable(this->near, [&] { ran.push_back("writer"); });
    this->MakeReadable();
    this->RunUntilRan(3);
    s.Cancel(first);
    s.Cancel(second);
    s.Cancel(writer);
    // The readers run in the order they were made; the writer may come before or after them,
    // and a level-triggered loop may run them all again before it stops.
    std::vector<std::string> readers;
    std::copy_if(ran.begin(), ran.end(), std::back_inserter(readers),
                 [](const std::string& r) { return r != "writer"; });
    ASSERT_GE(readers.size(), 2u);
    EXPECT_EQ(readers[0], "first");
    EXPECT_EQ(readers[1], "second");
    EXPECT_GE(std::count(ran.begin(), ran.end(), "writer"), 1);
    EXPECT_EQ(std::count(ran.begin(), ran.end(), "third"), 0);
}

TYPED_TEST(SchedulerContract, ADescriptorThatCannotBeWatchedIsRefusedAndTheLoopGoesOn) {
    auto& ran = this->ran;
    IScheduler& s = this->S();
    char path[] = "/tmp/vesmera-scheduler-XXXXXX";
    const int file = ::mkstemp(path);
    ASSERT_GE(file, 0);
    ::unlink(path);
    EXPECT_THROW(s.WhenReadable(file, [&] { ran.push_back("file"); }), Exception);
    ::close(file);
    EXPECT_THROW(s.WhenWritable(file, [&] { ran.push_back("closed"); }), Exception);
    EXPECT_THROW(s.WhenReadable(-1, [&] { ran.push_back("negative"); }), Exception);
    // Nothing of the refused watches stays behind; a good watch still works.
    const auto good = s.WhenReadable(this->near, [&] { ran.push_back("good"); });
    this->MakeReadable();
    this->RunUntilRan(1);
    s.Cancel(good);
    EXPECT_EQ(std::count(ran.begin(), ran.end(), "good"), static_cast<long>(ran.size()));
}

} // namespace
} // namespace vesmera
