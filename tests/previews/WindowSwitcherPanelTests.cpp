#include <gtest/gtest.h>

#include "previews/WindowSwitcherPanel.h"
#include "support/PreviewDesktop.h"
#include "support/PreviewScreens.h"

namespace qv::testing {
namespace {

using WindowSwitcherPanelTest = PreviewDesktop;

TEST_F(WindowSwitcherPanelTest, TheSelectedRowIsCentredWithinTheGridsScrollLimits) {
    auto model = std::make_shared<WindowSwitcherModel>();
    auto panel = WindowSwitcherPanel::make(sim.platform().windowing, rt, sim.platform().workspace, model);
    model->entries = std::vector<SwitcherEntry>(40);
    model->layout = SwitcherMetrics::layout(40, screenOf({0, 0, 1440, 875}), BarSize::medium);
    panel->setFrame(model->layout->frame, false);
    panel->orderFrontRegardless();
    // Where the grid really scrolls to, for a middle row, the last and the first.
    for (int index : {22, 39, 0}) {
        model->selectedIndex = index;
        rt.runUntilIdle();
        const double expected = WindowSwitcherView::rowCentringOffset(index, 40, *model->layout);
        EXPECT_DOUBLE_EQ(panel->view()->scroller()->offset().y, expected) << index;
        EXPECT_EQ(expected > 0, index > 0) << index;
    }
    // A new presentation whose selection landed on a hidden row while the grid could not scroll:
    // once the grid is built, it goes to that row.
    const SwitcherLayout scrolling = *model->layout;
    model->layout = SwitcherMetrics::layout(1, screenOf({0, 0, 1440, 875}), BarSize::medium);
    model->selectedIndex = 35;
    model->layout = scrolling;
    model->presentationID = *model->presentationID + 1;
    rt.runUntilIdle();
    EXPECT_DOUBLE_EQ(panel->view()->scroller()->offset().y,
                     WindowSwitcherView::rowCentringOffset(35, 40, scrolling));
}

}  // namespace
}  // namespace qv::testing
