#include <gtest/gtest.h>

#include "bar/BarManager.h"
#include "platform/dispatch/ManualRuntime.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimWindowing.h"
#include "support/SharedBarServices.h"

namespace qv {
namespace {

// A right click on empty bar space opens the bar's own menu; its Settings item reaches the
// composition root's hook, and does nothing while none is set.
TEST(BarMenuHookTest, SettingsGoesThroughTheHook) {
    ManualRuntime rt;
    SimDesktop sim{rt};
    uint32_t display = sim.addDisplay("Main", Rect{0, 0, 1440, 900});
    uint64_t desktop = sim.addSpace(display);
    auto store = WindowStore::create(sim.platform());
    store->populate();
    int opened = 0;
    auto badges = std::make_shared<BadgeService>(rt, sim.platform().processes, sim.platform().launchServices);
    auto settings = UserSettings::create(sim.platform());
    testing::SharedBarServices shared(sim.platform(), *settings);
    auto bar = BarManager::create(sim.platform(), store, BarMetrics::forSize(BarSize::medium), settings, badges);
    rt.runUntilIdle();
    ASSERT_TRUE(bar->panels.contains(desktop));
    sim.rightClick({900, 18});
    EXPECT_TRUE(sim.pickMenuItem({"Settings"}));
    EXPECT_EQ(opened, 0);
    bar->openSettings = [&] { ++opened; };
    sim.rightClick({900, 18});
    ASSERT_FALSE(sim.windowing().presentedMenus().empty());
    EXPECT_EQ(sim.windowing().presentedMenus().back().menu.titles(),
              (std::vector<std::string>{"Show Desktop", "Activity Monitor", "-", "Settings"}));
    EXPECT_TRUE(sim.pickMenuItem({"Settings"}));
    EXPECT_EQ(opened, 1);
}

}  // namespace
}  // namespace qv
