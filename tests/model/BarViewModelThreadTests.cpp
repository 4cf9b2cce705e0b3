#include <gtest/gtest.h>

#include <mutex>

#include "dispatch/RealRuntime.h"
#include "model/BarViewModel.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

// Two applications asked at once, each on its own worker: a slow one holds back only what was
// asked of it, and the answers are applied on the main thread.
TEST(BarViewModelThreadTest, ASlowApplicationHoldsBackOnlyItsOwnRequests) {
    RealRuntime rt;
    SimDesktop sim{rt};
    const uint64_t space = sim.addSpace(sim.addDisplay("Main", Rect{0, 0, 1440, 900}));
    const int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    const int32_t viewer = sim.launchApp(std::string("com.example.viewer"), "Viewer");
    const uint32_t notes = sim.openWindow(editor, "Notes", space, Rect{100, 100, 600, 400});
    const uint32_t photo = sim.openWindow(viewer, "Photo", space, Rect{300, 200, 600, 400});
    sim.activateApp(viewer);
    auto store = WindowStore::create(sim.platform());
    bool populated = false;
    store->populate([&] { populated = true; });
    ASSERT_TRUE(rt.runMainUntil([&] { return populated; }, 10.0));
    auto model = BarViewModel::create(sim.platform(), store, UserSettings::create(sim.platform()),
                                      std::make_shared<BadgeService>(rt, sim.platform().processes,
                                                                     sim.platform().launchServices));
    auto photoMinimised = [&] {
        std::lock_guard lock(sim.worldMutex());
        return sim.window(photo)->minimized;
    };
    {
        std::lock_guard lock(sim.worldMutex());
        sim.accessibility().faults(viewer).responseDelay = 0.5;  // three requests: 1.5 s
    }

    std::optional<bool> focused;
    rt.mainQueue()->async([&] {
        model->minimizeWindow(photo);
        model->activateWindow(notes);
        model->focusWindowWithAXOnly(notes, "test",
                                     [&](bool ok) { focused = ok && rt.mainQueue()->isCurrent(); });
    });
    ASSERT_TRUE(rt.runMainUntil([&] { return focused.has_value(); }, 10.0));
    EXPECT_EQ(focused, true);
    EXPECT_FALSE(photoMinimised()) << "Viewer is still answering";
    EXPECT_EQ(sim.frontmostPID(), editor);
    EXPECT_TRUE(rt.runMainUntil(photoMinimised, 10.0));
}

}  // namespace
}  // namespace qv
