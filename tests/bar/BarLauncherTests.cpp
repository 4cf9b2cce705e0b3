#include <gtest/gtest.h>

#include "bar/BarManager.h"
#include "launcher/HotkeyManager.h"
#include "platform/dispatch/ManualRuntime.h"
#include "platform/sim/SimDesktop.h"
#include "support/SharedBarServices.h"

namespace qv {
namespace {

// A main display with two desktops, a side display with none (it shows mirrors; its bottom edge is
// 100 points above the main one's), and the bar.
class BarLauncherTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    uint32_t main = sim.addDisplay("Main", Rect{0, 0, 1440, 900});
    uint32_t side = sim.addDisplay("Side", Rect{1440, 0, 1280, 800});
    uint64_t desk1 = sim.addSpace(main);
    uint64_t desk2 = sim.addSpace(main);
    std::shared_ptr<UserSettings> settings = UserSettings::create(sim.platform());
    std::shared_ptr<WindowStore> store = WindowStore::create(sim.platform());
    testing::SharedBarServices services{sim.platform(), *settings};
    std::shared_ptr<BarManager> bar;

    void SetUp() override {
        settings->setShowOnAllDisplays(true);
        bar = BarManager::create(
            sim.platform(), store, BarMetrics::forSize(BarSize::medium), settings,
            std::make_shared<BadgeService>(rt, sim.platform().processes, sim.platform().launchServices));
        rt.runUntilIdle();
    }
    std::shared_ptr<BarPanel> mirror(uint64_t desk) { return bar->mirrorPanels.at({desk, 1}); }
    BarContentView& content(const std::shared_ptr<BarPanel>& panel) {
        return *std::dynamic_pointer_cast<BarContentView>(panel->contentView()->rootView());
    }
    void pointerAt(Point p) {
        sim.mouseMove(p);
        rt.advance(0.1);  // sampled, and settled past the debounce
    }
};

TEST_F(BarLauncherTest, TheBarsButtonOpensTheLauncherAboveItAndAnyBarsButtonOnlyClosesIt) {
    content(bar->panels.at(desk1)).onMenuTapped();
    auto launcher = bar->launcherPanel;
    ASSERT_TRUE(launcher);
    EXPECT_EQ(launcher->frame(), (Rect{5, 44, 300, 400}));
    EXPECT_TRUE(launcher->isKeyWindow());

    // A press on the mirror's button leaves the closing to that button's action.
    sim.mouseDown({1460, 118});
    sim.mouseUp({1460, 118});
    rt.runUntilIdle();
    EXPECT_EQ(bar->launcherPanel, launcher);
    content(mirror(desk1)).onMenuTapped();
    EXPECT_FALSE(bar->launcherPanel);
    EXPECT_FALSE(launcher->isVisible());

    // The next press opens a new panel; a press elsewhere on the bar dismisses it.
    content(mirror(desk1)).onMenuTapped();
    ASSERT_TRUE(bar->launcherPanel);
    EXPECT_NE(bar->launcherPanel, launcher);
    EXPECT_EQ(bar->launcherPanel->frame(), (Rect{1445, 144, 300, 400}));
    sim.click({1900, 118});
    rt.runUntilIdle();
    EXPECT_FALSE(bar->launcherPanel);
}

TEST_F(BarLauncherTest, AThumbnailAboutToShowClosesTheLauncherOnce) {
    int dismissals = 0;
    bar->showAppLauncher(bar->panels.at(desk1));
    auto launcher = bar->launcherPanel;
    auto close = launcher->onDismissHandler;
    launcher->onDismissHandler = [&] {
        ++dismissals;
        close();
    };
    content(bar->panels.at(desk1)).onThumbnailWillShow();
    EXPECT_FALSE(bar->launcherPanel);
    EXPECT_TRUE(launcher->didRequestDismiss);
    content(bar->panels.at(desk1)).onThumbnailWillShow();
    launcher->requestDismiss();
    EXPECT_EQ(dismissals, 1);
}

TEST_F(BarLauncherTest, TheHotKeyOpensTheLauncherAboveTheBarUnderThePointer) {
    const std::function<void()> press = HotkeyManager::shared().onHotkeyPressed;
    ASSERT_TRUE(press);
    // The side display shows the active desktop's mirror: the launcher opens there.
    pointerAt({2000, 400});
    EXPECT_EQ(bar->preferredMouseScreenIndex(), 1u);
    press();
    ASSERT_TRUE(bar->launcherPanel);
    EXPECT_EQ(bar->launcherPanel->frame().origin, (Point{1445, 144}));
    press();  // a second press closes it
    EXPECT_FALSE(bar->launcherPanel);

    pointerAt({700, 400});
    EXPECT_EQ(bar->resolveLauncherAnchorPanel(), bar->panels.at(desk1));
    sim.switchToSpace(desk2);
    rt.runUntilIdle();
    EXPECT_EQ(bar->resolveLauncherAnchorPanel(), bar->panels.at(desk2));

    // Off every display, the bar of the current desktop; without mirrors, the side display has no bar.
    settings->setShowOnAllDisplays(false);
    rt.runUntilIdle();
    pointerAt({2000, 400});
    EXPECT_EQ(bar->resolveLauncherAnchorPanel(), bar->panels.at(desk2));
    pointerAt({-500, -500});
    EXPECT_EQ(bar->preferredMouseScreenIndex(), std::nullopt);
    EXPECT_EQ(bar->resolveLauncherAnchorPanel(), bar->panels.at(desk2));

    auto weak = std::weak_ptr<BarManager>(bar);
    bar.reset();
    press();  // the manager is gone: nothing happens
    EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace qv
