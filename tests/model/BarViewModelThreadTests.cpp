#include <gtest/gtest.h>

#include <mutex>

#include "model/BadgeService.h"
#include "model/BarViewModel.h"
#include "model/UserSettings.h"
#include "platform/dispatch/RealRuntime.h"
#include "platform/sim/SimAccessibility.h"
#include "platform/sim/SimDesktop.h"
#include "tracking/WindowStore.h"

namespace qv {
namespace {

// Two applications asked at once, each on its own worker: a slow one holds back only what was
// asked of it, and every answer is applied on the main thread.
TEST(BarViewModelThreadTest, ASlowApplicationHoldsBackOnlyItsOwnRequests) {
    RealRuntime rt;
    SimDesktop sim{rt};
    const uint32_t display = sim.addDisplay("Main", Rect{0, 0, 1440, 900});
    const uint64_t space = sim.addSpace(display);
    const int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    const int32_t viewer = sim.launchApp(std::string("com.example.viewer"), "Viewer");
    const uint32_t notes = sim.openWindow(editor, "Notes", space, Rect{100, 100, 600, 400});
    const uint32_t photo = sim.openWindow(viewer, "Photo", space, Rect{300, 200, 600, 400});
    sim.activateApp(viewer);

    auto store = WindowStore::create(sim.platform());
    store->populate();
    auto settings = UserSettings::create(sim.platform());
    auto badges = std::make_shared<BadgeService>(sim.platform().runtime, sim.platform().processes,
                                                 sim.platform().launchServices);
    auto model = BarViewModel::create(sim.platform(), store, settings, badges);
    ASSERT_TRUE(store->windows.contains(notes) && store->windows.contains(photo));
    auto photoMinimised = [&] {
        std::lock_guard lock(sim.worldMutex());
        return sim.window(photo)->minimized;
    };
    {
        std::lock_guard lock(sim.worldMutex());
        sim.accessibility().faults(viewer).responseDelay = 0.5;  // three requests: 1.5 s
    }

    model->minimizeWindow(photo);
    model->activateWindow(notes);
    bool focused = false;
    bool answeredOnMain = false;
    model->focusWindowWithAXOnly(notes, "test", [&](bool ok) {
        focused = ok;
        answeredOnMain = rt.mainQueue()->isCurrent();
    });
    ASSERT_TRUE(rt.runMainUntil([&] { return focused; }, 10.0));
    EXPECT_TRUE(answeredOnMain);
    EXPECT_FALSE(photoMinimised()) << "Viewer is still answering";
    EXPECT_EQ(sim.frontmostPID(), editor);
    EXPECT_EQ(*model->focusedWindowID, notes);
    EXPECT_TRUE(rt.runMainUntil(photoMinimised, 10.0));

    // An application that ends takes its worker with it.
    sim.terminateApp(viewer);
    sim.platform().appWorkers.applicationTerminated(viewer);
    EXPECT_FALSE(sim.platform().appWorkers.hasWorker(viewer));
    EXPECT_TRUE(sim.platform().appWorkers.hasWorker(editor));
}

}  // namespace
}  // namespace qv
