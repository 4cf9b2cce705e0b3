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
}

}  // namespace
}  // namespace qv::testing
