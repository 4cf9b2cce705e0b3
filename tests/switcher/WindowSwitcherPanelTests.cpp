#include <gtest/gtest.h>

#include <set>

#include "support/PreviewDesktop.h"
#include "support/PreviewScreens.h"
#include "switcher/WindowSwitcherPanel.h"

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

TEST_F(WindowSwitcherPanelTest, OnlyTheRowsInSightAreDrawnWhereverTheGridGoes) {
    auto model = std::make_shared<WindowSwitcherModel>();
    auto panel = WindowSwitcherPanel::make(sim.platform().windowing, rt, sim.platform().workspace, model);
    std::vector<SwitcherEntry> entries(400);
    for (int i = 0; i < 400; ++i) {
        entries[size_t(i)].id = uint32_t(i + 1);
        entries[size_t(i)].title = "Window " + std::to_string(i);
    }
    model->entries = entries;
    model->layout = SwitcherMetrics::layout(400, screenOf({0, 0, 1440, 875}), BarSize::medium);
    panel->setFrame(model->layout->frame, false);
    panel->orderFrontRegardless();
    rt.runUntilIdle();
    auto drawnCards = [&] {
        std::set<int> cards;
        for (const DrawOp* text : panel->contentView()->displayList().texts()) {
            const std::string title = text->joinedText();
            if (title.starts_with("Window ")) cards.insert(std::stoi(title.substr(7)));
        }
        return cards;
    };
    // Five columns, and the four rows that reach into the 598 points of the grid.
    std::set<int> firstRows;
    for (int i = 0; i < 20; ++i) firstRows.insert(i);
    EXPECT_EQ(drawnCards(), firstRows);

    // Selecting the last window scrolls its row into sight, animated as every selection scroll.
    model->selectedIndex = 399;
    rt.runUntilIdle();
    EXPECT_TRUE(drawnCards().contains(399));
    EXPECT_FALSE(drawnCards().contains(0));
    const auto animations = panel->contentView()->activeAnimations();
    ASSERT_EQ(animations.size(), 1u);
    EXPECT_TRUE(animations[0].target.ends_with("#scroll"));
    EXPECT_DOUBLE_EQ(animations[0].animation.duration, WindowSwitcherView::kSelectionScrollDuration);

    // The wheel brings the first rows back.
    const Rect frame = model->layout->frame;
    sim.scroll(Point{frame.midX(), frame.midY()}, 0, 100000);
    rt.runUntilIdle();
    EXPECT_EQ(drawnCards(), firstRows);
}

}  // namespace
}  // namespace qv::testing
