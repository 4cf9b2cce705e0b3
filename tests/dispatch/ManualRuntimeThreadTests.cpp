#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dispatch/AppWorkers.h"
#include "dispatch/ManualRuntime.h"

namespace qv {
namespace {

class ManualRuntimeTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    std::vector<std::string> log;
    Seconds start = rt.now();
    Seconds elapsed() const { return rt.now() - start; }
};

TEST_F(ManualRuntimeTest, NothingRunsUntilTheTestAdvances) {
    rt.mainQueue()->async([&] { log.push_back("a"); });
    EXPECT_TRUE(log.empty());
    rt.runUntilIdle();
    EXPECT_EQ(log, std::vector<std::string>{"a"});

    // Running until idle does not move the clock.
    log.clear();
    rt.mainQueue()->async([&] { rt.mainQueue()->async([&] { log.push_back("chained"); }); });
    rt.mainQueue()->asyncAfter(0.01, [&] { log.push_back("later"); });
    rt.runUntilIdle();
    EXPECT_EQ(log, std::vector<std::string>{"chained"});
    EXPECT_EQ(elapsed(), 0);
    EXPECT_EQ(rt.pendingCount(), 1u);
    EXPECT_DOUBLE_EQ(*rt.nextDeadline() - start, 0.01);
}

TEST_F(ManualRuntimeTest, DelayedItemFiresExactlyAtItsDeadline) {
    Seconds firedAt = -1;
    rt.mainQueue()->asyncAfter(0.25, [&] { firedAt = elapsed(); });
    rt.advance(0.2499);
    EXPECT_EQ(firedAt, -1);
    rt.advance(0.0001);
    EXPECT_DOUBLE_EQ(firedAt, 0.25);

    // Steps whose doubles add up an ulp short of the deadline still reach it.
    rt.advance(2.25);
    bool fired = false;
    rt.mainQueue()->asyncAfter(0.2, [&] { fired = true; });
    rt.advance(0.199);
    rt.advance(0.001);
    EXPECT_TRUE(fired);
}

TEST_F(ManualRuntimeTest, CancelledItemNeverRuns) {
    bool ran = false;
    auto item = rt.mainQueue()->asyncAfter(0.25, [&] { ran = true; });
    rt.advance(0.1);
    item->cancel();
    rt.advance(1);
    EXPECT_FALSE(ran);
}

TEST_F(ManualRuntimeTest, EqualDeadlinesRunInPostingOrderAcrossQueues) {
    auto q = rt.makeSerialQueue("com.quillvorn.test");
    rt.mainQueue()->asyncAfter(1, [&] { log.push_back("main1"); });
    q->asyncAfter(1, [&] { log.push_back("q"); });
    rt.mainQueue()->asyncAfter(0.5, [&] { log.push_back("early"); });
    rt.mainQueue()->asyncAfter(1, [&] { log.push_back("main2"); });
    rt.advance(2);
    EXPECT_EQ(log, (std::vector<std::string>{"early", "main1", "q", "main2"}));
}

TEST_F(ManualRuntimeTest, WorkPostedByWorkRunsInTimeOrderWithinOneAdvance) {
    rt.mainQueue()->asyncAfter(1, [&] {
        log.push_back("first@" + std::to_string(int(elapsed() * 10)));
        rt.mainQueue()->asyncAfter(0.5,
                                   [&] { log.push_back("second@" + std::to_string(int(elapsed() * 10))); });
        rt.mainQueue()->async([&] { log.push_back("now@" + std::to_string(int(elapsed() * 10))); });
    });
    rt.advance(3);
    EXPECT_EQ(log, (std::vector<std::string>{"first@10", "now@10", "second@15"}));
    EXPECT_DOUBLE_EQ(elapsed(), 3);
}

TEST_F(ManualRuntimeTest, RepeatingTimerFirstFiresAfterItsDelayThenEveryInterval) {
    std::vector<double> fires;
    auto timer = rt.makeSerialQueue("com.quillvorn.badges")->scheduleTimer(0.5, 7, 2, [&] {
        fires.push_back(elapsed());
    });
    EXPECT_EQ(timer->leeway(), 2);
    EXPECT_EQ(timer->interval(), 7);
    rt.advance(21.5);
    EXPECT_EQ(fires, (std::vector<double>{0.5, 7.5, 14.5, 21.5}));
    timer->cancel();
    rt.advance(30);
    EXPECT_EQ(fires.size(), 4u);

    // Releasing the timer's handle stops it.
    int ticks = 0;
    auto released = rt.mainQueue()->scheduleTimer(1, 1, 0, [&] { ++ticks; });
    rt.advance(2);
    released.reset();
    rt.advance(5);
    EXPECT_EQ(ticks, 2);
}

TEST_F(ManualRuntimeTest, IsCurrentFollowsTheRunningQueue) {
    auto q = rt.makeSerialQueue("q");
    EXPECT_TRUE(rt.mainQueue()->isCurrent());
    bool mainInQ = true, qInQ = false;
    q->async([&] {
        mainInQ = rt.mainQueue()->isCurrent();
        qInQ = q->isCurrent();
    });
    rt.runUntilIdle();
    EXPECT_FALSE(mainInQ);
    EXPECT_TRUE(qInQ);
}

TEST_F(ManualRuntimeTest, SemaphoreWaitRunsOtherQueuesWorkSynchronously) {
    auto worker = rt.makeSerialQueue("worker");
    auto sem = rt.makeSemaphore(0);
    int result = 0;
    rt.mainQueue()->async([&] {
        worker->async([&] {
            result = 42;
            sem->signal();
        });
        sem->wait();  // would block on a real thread; completes here by running the worker
        log.push_back("after wait " + std::to_string(result));
    });
    rt.runUntilIdle();
    EXPECT_EQ(log, std::vector<std::string>{"after wait 42"});

    // It never runs the waiting queue twice.
    log.clear();
    auto again = rt.makeSemaphore(0);
    auto worker2 = rt.makeSerialQueue("worker");
    rt.mainQueue()->async([&] {
        rt.mainQueue()->async([&] { log.push_back("main-later"); });
        worker2->async([&] {
            log.push_back("worker");
            again->signal();
        });
        again->wait();
        log.push_back("main-done");
    });
    rt.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"worker", "main-done", "main-later"}));
}

// Blocks of other queues run one after another without going back to the main thread, but in the
// same order as one at a time; a main thread that waits still sees its signal before the next block.
TEST_F(ManualRuntimeTest, BlocksOfOtherQueuesKeepTheirOrderAndAWaitEndsAtItsSignal) {
    auto a = rt.makeSerialQueue("a");
    auto b = rt.makeSerialQueue("b");
    a->async([&] {
        log.push_back("a1");
        rt.mainQueue()->async([&] { log.push_back("main"); });
    });
    b->async([&] { log.push_back("b1"); });
    a->async([&] { log.push_back("a2"); });
    rt.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1", "a2", "main"}));

    log.clear();
    auto sem = rt.makeSemaphore(0);
    rt.mainQueue()->async([&] {
        a->async([&] {
            log.push_back("signal");
            sem->signal();
        });
        b->async([&] { log.push_back("b after"); });
        sem->wait();
        log.push_back("main woke");
    });
    rt.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"signal", "main woke", "b after"}));

    // What a block names as its wait stays its own while others run.
    log.clear();
    a->async([&] {
        WaitingFor waiting("Slow's answer");
        (void)sem->wait(1);
        log.push_back(WaitingFor::current() ? *WaitingFor::current() : "none");
    });
    b->async([&] { log.push_back(WaitingFor::current() ? *WaitingFor::current() : "none"); });
    rt.advance(2);
    EXPECT_EQ(log, (std::vector<std::string>{"none", "Slow's answer"}));
    EXPECT_EQ(WaitingFor::current(), nullptr);
}

TEST_F(ManualRuntimeTest, TimedWaitMovesTheClockAndReportsTheTimeout) {
    auto sem = rt.makeSemaphore(0);
    EXPECT_FALSE(sem->wait(2.0));
    EXPECT_DOUBLE_EQ(elapsed(), 2.0);

    auto worker = rt.makeSerialQueue("worker");
    worker->asyncAfter(0.5, [&] { sem->signal(); });
    EXPECT_TRUE(sem->wait(5.0));
    EXPECT_DOUBLE_EQ(elapsed(), 2.5);
}

TEST_F(ManualRuntimeTest, RunLoopThreadRunsBlocksInOrderAndJoinCompletesTheStop) {
    auto thread = rt.startRunLoopThread("AXObserverManager", QoS::userInitiated);
    auto loop = thread->runLoop();
    EXPECT_EQ(thread->name(), "AXObserverManager");
    loop->async([&] { log.push_back("one"); });
    loop->async([&] { log.push_back("two"); });
    loop->async([&] { loop->stop(); });
    loop->async([&] { log.push_back("after stop"); });
    EXPECT_FALSE(thread->isFinished());
    thread->join();
    EXPECT_TRUE(thread->isFinished());
    EXPECT_EQ(log, (std::vector<std::string>{"one", "two"}));
    loop->async([&] { log.push_back("posted to a stopped loop"); });
    rt.advance(1);
    EXPECT_EQ(log.size(), 2u);
    EXPECT_EQ(rt.pendingCount(), 0u);
}

TEST_F(ManualRuntimeTest, DestroyingTheRuntimeReleasesPendingWork) {
    auto token = std::make_shared<int>(1);
    std::weak_ptr<int> weak = token;
    {
        ManualRuntime local;
        local.mainQueue()->asyncAfter(10, [token] {});
        token.reset();
        EXPECT_FALSE(weak.expired());
    }
    EXPECT_TRUE(weak.expired());
}

TEST_F(ManualRuntimeTest, ABlockedWorkerWaitsByItself) {
    auto worker = rt.makeSerialQueue("worker");
    auto sem = rt.makeSemaphore(0);
    bool timedOut = false;
    worker->async([&] {
        WaitingFor waiting("Slow's answer");
        timedOut = !sem->wait(15);
        log.push_back("worker resumed");
    });
    rt.mainQueue()->asyncAfter(0.5, [&] { log.push_back("main"); });
    rt.advance(1);
    // The main queue and the test went on; the clock is the test's.
    EXPECT_DOUBLE_EQ(elapsed(), 1.0);
    EXPECT_EQ(log, std::vector<std::string>{"main"});
    EXPECT_EQ(rt.parkedCount(), 1u);
    EXPECT_EQ(rt.takeLongestMainHold().duration, 0.0);

    // Its queue stays busy while it waits; a signal wakes it at the signal's time.
    worker->async([&] { log.push_back("worker's next"); });
    rt.mainQueue()->asyncAfter(1, [&] { sem->signal(); });
    rt.advance(1);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(log, (std::vector<std::string>{"main", "worker resumed", "worker's next"}));

    // A timed wait that is never signalled resumes at its time-out, in time order.
    worker->async([&] { timedOut = !sem->wait(3); });
    rt.mainQueue()->asyncAfter(2, [&] { log.push_back("main at 2"); });
    rt.advance(2.5);
    EXPECT_FALSE(timedOut);
    rt.advance(1);
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(rt.parkedCount(), 0u);
}

TEST_F(ManualRuntimeTest, TheMainThreadsWaitsAreMeasured) {
    auto worker = rt.makeSerialQueue("worker");
    auto answer = rt.makeSemaphore(0);
    worker->async([&] {
        rt.makeSemaphore(0)->wait(0.7);
        answer->signal();
    });
    // One main-queue block waiting twice holds the main thread for both waits and the time between.
    rt.mainQueue()->asyncAfter(0.1, [&] {
        {
            WaitingFor waiting("Slow's answer");
            rt.makeSemaphore(0)->wait(0.2);
        }
        answer->wait();  // without a time-out: up to the worker's answer at 0.7
    });
    rt.advance(2);
    auto hold = rt.takeLongestMainHold();
    EXPECT_DOUBLE_EQ(hold.start, start + 0.1);
    EXPECT_DOUBLE_EQ(hold.duration, 0.6);
    EXPECT_EQ(hold.waitingFor, "a semaphore");  // its longest wait, 0.4 s
    EXPECT_EQ(rt.takeLongestMainHold().duration, 0.0);  // counted afresh

    // The test's own waits between two calls that run work form one stretch.
    {
        WaitingFor waiting("a process");
        rt.makeSemaphore(0)->wait(0.25);
        rt.makeSemaphore(0)->wait(0.25);
    }
    hold = rt.takeLongestMainHold();
    EXPECT_DOUBLE_EQ(hold.duration, 0.5);
    EXPECT_EQ(hold.waitingFor, "a process");
}

TEST_F(ManualRuntimeTest, ReleasingParkedWorkEndsItsWaitsAtOnce) {
    auto worker = rt.makeSerialQueue("worker");
    std::vector<bool> answered;
    worker->async([&] {
        answered.push_back(rt.makeSemaphore(0)->wait(100));
        answered.push_back(rt.makeSemaphore(0)->wait(100));  // begun while released: ends at once
    });
    rt.advance(1);
    rt.releaseParkedWork();
    EXPECT_EQ(answered, (std::vector<bool>{false, false}));
    EXPECT_DOUBLE_EQ(elapsed(), 1.0);
    EXPECT_EQ(rt.pendingCount(), 0u);
}

TEST_F(ManualRuntimeTest, AppWorkersRunEachApplicationsRequestsInOrderOnItsOwnWorker) {
    AppWorkers workers(rt);
    auto hung = rt.makeSemaphore(0);
    workers.ask(7, [&] { return hung->wait(6) ? "hung answered" : "hung timed out"; },
                [&](std::string a) { log.push_back(a); });
    workers.ask(7, [] { return std::string("second of 7"); }, [&](std::string a) { log.push_back(a); });
    workers.ask(8, [] { return std::string("8 at once"); }, [&](std::string a) { log.push_back(a); });
    rt.runUntilIdle();
    EXPECT_EQ(log, std::vector<std::string>{"8 at once"});
    EXPECT_EQ(workers.workerCount(), 2u);
    rt.advance(6);
    EXPECT_EQ(log, (std::vector<std::string>{"8 at once", "hung timed out", "second of 7"}));
    workers.applicationTerminated(7);
    EXPECT_FALSE(workers.hasWorker(7));
    EXPECT_TRUE(workers.hasWorker(8));
}

}  // namespace
}  // namespace qv
