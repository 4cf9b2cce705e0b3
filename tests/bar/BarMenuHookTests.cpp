#include <gtest/gtest.h>

#include "sim/SimWindowing.h"
#include "support/BarDesktop.h"

namespace qv {
namespace {

using BarMenuHookTest = testing::WithBar<testing::OneDesktop<>>;

// A right click on empty bar space opens the bar's own menu; its Settings item reaches the
// composition root's hook, and does nothing while none is set.
TEST_F(BarMenuHookTest, SettingsGoesThroughTheHook) {
    store->populate();
    rt.runUntilIdle();
    int opened = 0;
    auto bar = makeBar();
    ASSERT_TRUE(bar->panels().contains(space));
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
