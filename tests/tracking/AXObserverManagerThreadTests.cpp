#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "dispatch/RealRuntime.h"
#include "sim/SimAccessibility.h"
#include "support/SimDesktops.h"
#include "tracking/AXObserverManager.h"

namespace qv {
namespace {

using AXObserverManagerThreadTest = testing::WideAppDesktop<RealRuntime>;

// The manager on real threads: the world changes on the main thread while each application's
// observer thread reads its Accessibility tree, and events come back on the main queue.
TEST_F(AXObserverManagerThreadTest, AttachNotifyCoalesceAndStopOnRealThreads) {
    uint32_t win = open("Doc");

    const std::thread::id mainThread = std::this_thread::get_id();
    std::vector<AXWindowEvent> events;  // main thread only
    std::vector<int32_t> attached;
    bool allOnMain = true;
    auto manager = AXObserverManager::create(rt, sim.platform().accessibility, rt.mainQueue());
    manager->onEvent = [&](const AXWindowEvent& e) {
        allOnMain = allOnMain && std::this_thread::get_id() == mainThread && rt.mainQueue()->isCurrent();
        events.push_back(e);
    };
    manager->onObserverAdded = [&](int32_t pid) {
        allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
        attached.push_back(pid);
    };

    // A second application on a thread of its own, no longer observed before the stop.
    int32_t other = sim.launchApp(std::string("com.example.other"), "Other");
    manager->start();
    manager->observe(app);
    manager->observe(other);
    ASSERT_TRUE(rt.runMainUntil([&] { return attached.size() == 2; }, 10.0));
    EXPECT_EQ(std::set<int32_t>(attached.begin(), attached.end()), (std::set<int32_t>{app, other}));
    manager->stopObserving(other);

    // A burst of moves while the observer thread reads the tree: one event after the burst.
    for (int i = 0; i < 20; ++i) sim.setWindowFrame(win, Rect{100.0 + i, 100, 800, 600});
    ASSERT_TRUE(rt.runMainUntil([&] { return !events.empty(); }, 10.0));
    rt.runMainFor(0.5);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].notification, "AXWindowMoved");
    EXPECT_EQ(events[0].windowID, win);
    EXPECT_EQ(events[0].pid, app);

    // An undebounced notification arrives on its own.
    sim.setWindowMinimized(win, true);
    ASSERT_TRUE(rt.runMainUntil([&] { return events.size() == 2; }, 10.0));
    EXPECT_EQ(events[1].notification, "AXWindowMiniaturized");
    EXPECT_TRUE(allOnMain);

    // A pending coalesced event is dropped by the stop, which ends every thread and detaches.
    sim.setWindowTitle(win, "Doc — edited");
    manager->stop();
    EXPECT_EQ(sim.accessibility().installedObserverCount(app), 0u);
    EXPECT_EQ(sim.accessibility().installedObserverCount(other), 0u);
    sim.setWindowTitle(win, "After the stop");
    rt.runMainFor(0.5);
    EXPECT_EQ(events.size(), 2u);
}

}  // namespace
}  // namespace qv
