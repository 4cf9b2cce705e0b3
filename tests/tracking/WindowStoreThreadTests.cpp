#include <gtest/gtest.h>

#include <set>

#include "dispatch/RealRuntime.h"
#include "sim/SimAccessibility.h"
#include "support/SimDesktops.h"
#include "support/WindowStoreProbe.h"
#include "tracking/WindowStore.h"

namespace qv {
namespace {

using WindowStoreThreadTest = testing::OneDesktop<RealRuntime>;

// Two slow applications scanned at once, each on its own worker, while the world changes on the
// main thread: the answers are applied on the main thread, and nothing is asked from it.
TEST_F(WindowStoreThreadTest, TwoSlowApplicationsAreScannedAtOnceOnTheirWorkers) {
    const int32_t mail = sim.launchApp(std::string("com.example.mail"), "Mail");
    const int32_t notes = sim.launchApp(std::string("com.example.notes"), "Notes");
    std::vector<uint32_t> windows;
    for (int i = 0; i < 4; ++i) {
        const Rect frame{100.0 + 20 * i, 100, 600, 400};
        windows.push_back(sim.openWindow(mail, "Mail " + std::to_string(i), space, frame));
        windows.push_back(sim.openWindow(notes, "Note " + std::to_string(i), space, frame));
    }
    for (int32_t pid : {mail, notes}) sim.accessibility().faults(pid).responseDelay = 0.002;

    bool allOnMain = true;
    auto store = populatedOnMain(rt, sim, allOnMain);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->windows().size(), windows.size());

    const uint32_t fresh = sim.openWindow(mail, "Mail, new", space, Rect{500, 300, 600, 400});
    std::set<int32_t> rescanned;
    for (int32_t pid : {mail, notes}) {
        WindowStoreProbe::reconcileWindowsForPID(*store, pid,
                                                 [&rescanned, pid](int) { rescanned.insert(pid); });
    }
    sim.setWindowTitle(windows[1], "Note 0, renamed");  // while both are being asked
    ASSERT_TRUE(rt.runMainUntil([&] { return rescanned.size() == 2; }, 10.0));
    EXPECT_TRUE(store->windows().contains(fresh));

    EXPECT_TRUE(allOnMain);
    for (const SimCall& call : sim.callsNamed("AXUIElementCopyAttributeValue"))
        EXPECT_FALSE(call.onMainQueue);
}

}  // namespace
}  // namespace qv
