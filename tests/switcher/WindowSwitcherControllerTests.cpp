#include <gtest/gtest.h>

#include "sim/SimWindowing.h"
#include "support/SwitcherDesktop.h"

namespace qv::testing {
namespace {

using Phase = WindowSwitcherController::Phase;

class WindowSwitcherControllerTest : public SwitcherDesktop {
  protected:
    // The card showing a title, in AppKit screen space.
    Point cardCentre(const std::string& title) {
        auto& panel = *controller->panel();
        panel.contentView()->layoutNow();
        const DrawOp* text = panel.contentView()->displayList().findText(title);
        EXPECT_TRUE(text) << title;
        if (!text) return {};
        return panel.convertToScreen(Point{text->frame.midX(), text->frame.midY() + 40});
    }
};

TEST_F(WindowSwitcherControllerTest, AnUntrackedDialogIsActivatedThroughAccessibility) {
    startController();
    optionTab();
    ASSERT_EQ(selectedTitle(), "Send?");
    releaseOption();
    rt.advance(0.5);
    EXPECT_EQ(sim.frontmostPID(), mail);
}

TEST_F(WindowSwitcherControllerTest, ARefusedTapIsRetriedEveryFiveSecondsAndATimedOutOneWorksAgain) {
    startModel();
    sim.eventTaps().setCreationRefused(true);
    controller = WindowSwitcherController::create(sim.platform(), store, viewModel, settings, thumbnails);
    const Seconds start = rt.now();
    const size_t before = sim.eventTaps().createdTapCount();
    std::vector<Seconds> attempts;
    size_t seen = sim.callsNamed("CGEventTapCreate").size();
    while (auto next = rt.nextDeadline()) {
        if (*next > start + 10.5) break;
        rt.advanceTo(*next);
        for (size_t n = sim.callsNamed("CGEventTapCreate").size(); seen < n; ++seen)
            attempts.push_back(rt.now() - start);
    }
    ASSERT_EQ(attempts.size(), 2u);
    EXPECT_DOUBLE_EQ(attempts[0], 5.0);
    EXPECT_DOUBLE_EQ(attempts[1], 10.0);
    EXPECT_EQ(sim.eventTaps().createdTapCount(), before);

    sim.eventTaps().setCreationRefused(false);
    rt.advance(5);
    ASSERT_EQ(sim.eventTaps().taps().size(), 1u);
    sim.eventTaps().disableTap(sim.eventTaps().taps()[0].id);
    rt.runUntilIdle();
    optionTab();
    EXPECT_EQ(controller->phase(), Phase::pending);
}

TEST_F(WindowSwitcherControllerTest, ARestingPointerSelectsNothingUntilItMovesAndAClickCommits) {
    startController();
    // Where the cards will be: the grid opens at the same place every time.
    optionTab();
    rt.advance(0.2);
    const Point inbox = cardCentre("Inbox");
    const Point notesCard = cardCentre("Notes");
    const Point draftCard = cardCentre("Draft");
    sim.keyDown(53, "", eventflags::kAlternate);
    releaseOption();

    sim.mouseMove(inbox);
    optionTab();
    rt.advance(0.3);  // shown, and faded in
    ASSERT_TRUE(controller->panel()->isVisible());
    sim.mouseMove(Point{inbox.x + 2, inbox.y});
    rt.runUntilIdle();
    EXPECT_EQ(selectedTitle(), "Send?");
    // Only entering a card reports it.
    sim.mouseMove(Point{inbox.x + 4, inbox.y});
    rt.runUntilIdle();
    EXPECT_EQ(selectedTitle(), "Send?");
    sim.mouseMove(notesCard);
    rt.runUntilIdle();
    EXPECT_EQ(selectedTitle(), "Notes");
    sim.click(draftCard);
    rt.runUntilIdle();
    EXPECT_EQ(controller->phase(), Phase::idle);
    EXPECT_EQ(controller->model().selectedEntry()->title, "Draft");
}

TEST_F(WindowSwitcherControllerTest, FocusChangesAndActivationsFeedTheOrderOfUse) {
    startController();
    sim.focusWindow(inbox);
    rt.advance(0.05);
    EXPECT_EQ(controller->source().recency.order().front(), inbox);
    sim.flagsChanged(eventflags::kAlternate);
    sim.keyDown(kTab, "\t", eventflags::kAlternate);
    rt.runUntilIdle();
    EXPECT_EQ(titles().front(), "Inbox");
    EXPECT_EQ(selectedTitle(), "Draft");
}

}  // namespace
}  // namespace qv::testing
