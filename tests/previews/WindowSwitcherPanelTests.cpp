#include <gtest/gtest.h>

#include "platform/dispatch/ManualRuntime.h"
#include "platform/sim/SimDesktop.h"
#include "previews/WindowSwitcherPanel.h"

namespace qv {
namespace {

TEST(WindowSwitcherPanelTest, DrawsOnlyOnScreenAndCentresTheSelectedRowWithinTheGrid) {
    ManualRuntime rt;
    SimDesktop sim{rt};
    sim.addDisplay("Main", Rect{0, 0, 1440, 900});
    auto model = std::make_shared<WindowSwitcherModel>();
    std::vector<SwitcherEntry> entries;
    for (uint32_t id = 1; id <= 40; ++id) {
        SwitcherEntry e;
        e.id = id;
        e.title = "Window " + std::to_string(id);
        entries.push_back(e);
    }
    Screen screen;
    screen.frame = screen.visibleFrame = Rect{0, 0, 1440, 875};
    const SwitcherLayout layout = SwitcherMetrics::layout(40, screen, BarSize::medium);
    ASSERT_TRUE(layout.scrolls);
    auto panel = WindowSwitcherPanel::make(sim.platform().windowing, rt, sim.platform().workspace, model);
    model->entries = entries;
    model->layout = layout;
    rt.runUntilIdle();
    EXPECT_TRUE(panel->contentView()->displayList().ops.empty());

    panel->setFrame(layout.frame, false);
    panel->orderFrontRegardless();
    model->presentationID = 1;
    rt.runUntilIdle();
    EXPECT_TRUE(panel->contentView()->displayList().findText("Window 1"));

    // Where the grid really scrolls to, for a middle row, the last and the first.
    for (int index : {22, 39, 0}) {
        model->selectedIndex = index;
        rt.runUntilIdle();
        EXPECT_DOUBLE_EQ(panel->view()->scroller()->offset().y,
                         WindowSwitcherView::rowCentringOffset(index, 40, layout))
            << index;
    }
    EXPECT_GT(WindowSwitcherView::rowCentringOffset(22, 40, layout), 0);
}

}  // namespace
}  // namespace qv
