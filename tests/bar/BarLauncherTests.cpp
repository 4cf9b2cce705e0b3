#include <gtest/gtest.h>

#include "support/BarDesktop.h"

namespace qv {
namespace {

// A main display with two desktops, a side display with none (it shows mirrors; its bottom edge is
// 100 points above the main one's), and the bar.
class BarLauncherTest : public testing::BarDesktop {
  protected:
    uint64_t desk1 = sim.addSpace(main);
    uint64_t desk2 = sim.addSpace(main);
    std::shared_ptr<BarManager> bar;

    void SetUp() override {
        settings->setShowOnAllDisplays(true);
        bar = makeBar();
    }
    BarContentView& content(const std::shared_ptr<BarPanel>& panel) {
        return *std::dynamic_pointer_cast<BarContentView>(panel->contentView()->rootView());
    }
};

TEST_F(BarLauncherTest, AnyBarsButtonClosesAnOpenLauncherAndAThumbnailClosesItOnce) {
    sim.click({10, 18});  // the bar's launcher button
    auto launcher = bar->launcherPanel();
    ASSERT_TRUE(launcher);
    EXPECT_EQ(launcher->frame(), (Rect{5, 44, 300, 400}));
    EXPECT_TRUE(launcher->isKeyWindow());
    // A press on the mirror's button is left to that button, which only closes the launcher.
    sim.click({1460, 118});
    EXPECT_FALSE(bar->launcherPanel());
    EXPECT_FALSE(launcher->isVisible());

    sim.click({1460, 118});
    launcher = bar->launcherPanel();
    ASSERT_TRUE(launcher);
    EXPECT_EQ(launcher->frame(), (Rect{1445, 144, 300, 400}));
    int dismissals = 0;
    launcher->onDismissHandler = [&, close = launcher->onDismissHandler] {
        ++dismissals;
        close();
    };
    content(bar->panels().at(desk1)).onThumbnailWillShow();
    content(bar->panels().at(desk1)).onThumbnailWillShow();
    sim.click({1900, 118});
    EXPECT_FALSE(bar->launcherPanel());
    EXPECT_EQ(dismissals, 1);
}

}  // namespace
}  // namespace qv
