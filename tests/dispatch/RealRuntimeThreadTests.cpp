#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "dispatch/RealRuntime.h"

namespace qv {
namespace {

TEST(RealRuntimeTest, RunLoopThreadHandsWorkToTheMainQueue) {
    RealRuntime rt;
    auto thread = rt.startRunLoopThread("AXObserverManager", QoS::userInitiated);
    std::vector<int> delivered;  // touched on the main thread only
    std::thread::id workerThread, mainThread = std::this_thread::get_id();
    std::atomic<bool> onMain{false};
    for (int i = 0; i < 5; ++i) {
        thread->runLoop()->async([&, i] {
            workerThread = std::this_thread::get_id();
            rt.mainQueue()->async([&, i] {
                onMain = rt.mainQueue()->isCurrent() && std::this_thread::get_id() == mainThread;
                delivered.push_back(i);
            });
        });
    }
    ASSERT_TRUE(rt.runMainUntil([&] { return delivered.size() == 5; }, 5.0));
    EXPECT_EQ(delivered, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(onMain);
    EXPECT_NE(workerThread, mainThread);

    thread->runLoop()->async([&] { thread->runLoop()->stop(); });
    thread->join();
    EXPECT_TRUE(thread->isFinished());
}

TEST(RealRuntimeTest, DelayedAndCancelledWorkOnASerialQueue) {
    RealRuntime rt;
    auto q = rt.makeSerialQueue("com.quillvorn.test");
    std::atomic<int> ran{0};
    std::atomic<bool> cancelledRan{false};
    auto cancelled = q->asyncAfter(0.05, [&] { cancelledRan = true; });
    cancelled->cancel();
    q->asyncAfter(0.02, [&] { rt.mainQueue()->async([&] { ++ran; }); });
    ASSERT_TRUE(rt.runMainUntil([&] { return ran == 1; }, 5.0));
    rt.runMainFor(0.1);
    EXPECT_FALSE(cancelledRan);
}

TEST(RealRuntimeTest, RepeatingTimerFiresUntilCancelled) {
    RealRuntime rt;
    std::atomic<int> fires{0};
    auto q = rt.makeSerialQueue("timer");
    auto timer = q->scheduleTimer(0.01, 0.01, 0.005, [&] { ++fires; });
    ASSERT_TRUE(rt.runMainUntil([&] { return fires >= 3; }, 5.0));
    timer->cancel();
    int after = fires;
    rt.runMainFor(0.05);
    EXPECT_LE(fires, after + 1);  // at most one fire already under way
}

TEST(RealRuntimeTest, SemaphoreHandsOverBetweenThreads) {
    RealRuntime rt;
    auto sem = rt.makeSemaphore(0);
    auto q = rt.makeSerialQueue("worker");
    int value = 0;
    q->async([&] {
        value = 7;
        sem->signal();
    });
    sem->wait();
    EXPECT_EQ(value, 7);
    EXPECT_FALSE(sem->wait(0.01));
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST(RealRuntimeTest, AQueueReleasedByItsOwnLastBlockEndsCleanly) {
    RealRuntime rt;
    std::atomic<bool> done{false};
    {
        auto q = rt.makeSerialQueue("self-releasing");
        auto holder = std::make_shared<std::shared_ptr<Queue>>(q);
        q->async([holder, &done] {
            holder->reset();  // the queue's last reference goes away on its own thread
            done = true;
        });
    }
    ASSERT_TRUE(rt.runMainUntil([&] { return done.load(); }, 5.0));
    rt.runMainFor(0.05);
}

}  // namespace
}  // namespace qv
