#include <gtest/gtest.h>


#include "dispatch/RealRuntime.h"
#include "sim/SimAccessibility.h"
#include "support/SimDesktops.h"
#include "support/WindowStoreProbe.h"
#include "tracking/AXObserverManager.h"
#include "tracking/WindowStore.h"

namespace qv {
namespace {

using WindowTrackingThreadTest = testing::WideAppDesktop<RealRuntime>;

// The store on the main thread and the observer manager on its own thread: windows opened and
// closed in the world reach the store, and every change call comes on the main thread.
TEST_F(WindowTrackingThreadTest, OpenedAndClosedWindowsReachTheStoreFromTheObserverThread) {
    uint32_t first = open("First");

    bool allOnMain = true;
    auto store = populatedOnMain(rt, sim, allOnMain);
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->windows().contains(first));

    auto manager = AXObserverManager::create(rt, sim.platform().accessibility, rt.mainQueue());
    manager->onEvent = [&](const AXWindowEvent& e) { store->handleAXEvent(e); };
    manager->onObserverAdded = [&](int32_t pid) {
        store->handleObserverAttached(pid);
        store->addWindowsForPID(pid);
    };
    manager->start();
    manager->observe(app);
    ASSERT_TRUE(rt.runMainUntil([&] { return store->observerAttachedPIDs().contains(app); }, 10.0));

    uint32_t second = open("Second");
    ASSERT_TRUE(rt.runMainUntil([&] { return store->windows().contains(second); }, 10.0));
    EXPECT_EQ(store->windows().at(second).windowTitle, "Second");
    sim.setWindowTitle(second, "Second, renamed");
    ASSERT_TRUE(
        rt.runMainUntil([&] { return store->windows().at(second).windowTitle == "Second, renamed"; }, 10.0));
    sim.closeWindow(first);
    ASSERT_TRUE(rt.runMainUntil([&] { return !store->windows().contains(first); }, 10.0));

    manager->stop();
    EXPECT_TRUE(allOnMain);
}

}  // namespace
}  // namespace qv
