// The Qt scheduler keeps its timers and hands them to later tasks: a reused timer must run
// only the task that armed it last, and a task may arm the next one from its own callback.

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <string>
#include <vector>

#include "event/qt_scheduler.h"

namespace vesmera {
namespace {

class QtSchedulerTest : public ::testing::Test {
protected:
    // Serves the loop until the callbacks so far have run (one last task, due after them,
    // ends the loop); a stuck scheduler fails the test instead of hanging it.
    void RunUntilQuiet(std::uint32_t afterMs) {
        QEventLoop loop;
        scheduler.After(afterMs, [&loop] { loop.quit(); });
        QTimer::singleShot(5000, &loop, [&loop] {
            ADD_FAILURE() << "the scheduler never ran its last task";
            loop.quit();
        });
        loop.exec();
    }
    int TimerCount() const { return static_cast<int>(scheduler.findChildren<QTimer*>().size()); }

    QtScheduler scheduler;
    std::vector<std::string> ran;
};

TEST_F(QtSchedulerTest, ACancelledTaskNeverRunsThoughItsTimerServesTheNext) {
    const auto first = scheduler.After(1, [this] { ran.push_back("cancelled"); });
    scheduler.Cancel(first);
    const auto second = scheduler.After(2, [this] { ran.push_back("second"); });
    EXPECT_NE(first, second);
    scheduler.Cancel(first); // already forgotten: leaves the second alone
    RunUntilQuiet(20);
    EXPECT_EQ(ran, (std::vector<std::string>{"second"}));
    // One timer for both tasks, and one for the loop's end: none made per call.
    EXPECT_EQ(TimerCount(), 2);
}

TEST_F(QtSchedulerTest, ACallbackArmsTheNextStepAndCancellingItselfIsHarmless) {
    IScheduler::TaskId self = 0;
    self = scheduler.After(1, [this, &self] {
        ran.push_back("step 1");
        scheduler.Cancel(self);
        scheduler.After(1, [this] {
            ran.push_back("step 2");
            scheduler.After(0, [this] { ran.push_back("step 3"); });
        });
    });
    RunUntilQuiet(30);
    EXPECT_EQ(ran, (std::vector<std::string>{"step 1", "step 2", "step 3"}));
    // Each step's timer is free again when its callback runs and serves the next step.
    EXPECT_EQ(TimerCount(), 2);
}

} // namespace
} // namespace vesmera
