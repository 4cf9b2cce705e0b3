#include <gtest/gtest.h>

#include "platform/sim/SimWindowing.h"
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
    std::optional<int32_t> windowLayer(uint32_t windowNumber) {
        auto list =
            windowInfoList(sim.platform().windowServer.copyWindowList(windowlist::kOptionOnScreenOnly, 0));
        for (const CGWindowInfo& info : list.value_or(std::vector<CGWindowInfo>{})) {
            if (info.windowID() == windowNumber) return info.layer();
        }
        return std::nullopt;
    }
};

TEST_F(WindowSwitcherControllerTest, OptionTabShowsTheGridAfterTheDelayWithTheKeysSwallowed) {
    startController();
    optionTab();
    EXPECT_EQ(controller->phase(), Phase::pending);
    EXPECT_EQ(received(editor, eventtype::kKeyDown, kTab), 0u);
    EXPECT_EQ(received(editor, eventtype::kKeyUp, kTab), 0u);
    EXPECT_FALSE(controller->panel()->isVisible());
    // The focused window first, the rest by their stacking when the switcher started, the
    // minimised window last.
    EXPECT_EQ(titles(), (std::vector<std::string>{"Draft", "Send?", "Notes", "Inbox", "Parked"}));
    EXPECT_EQ(selectedTitle(), "Send?");  // past the focused window

    rt.advance(0.149);
    EXPECT_FALSE(controller->panel()->isVisible());
    rt.advance(0.001);
    EXPECT_EQ(controller->phase(), Phase::visible);
    const auto& panel = *controller->panel();
    EXPECT_EQ(windowLayer(panel.windowNumber()), 102);
    EXPECT_EQ(panel.frame(), controller->model().layout->frame);
    // Five windows on the side display's 1440 x 900: one row of five, centred on its visible frame.
    EXPECT_EQ(controller->model().layout->columns, 5);
    EXPECT_FALSE(panel.canBecomeKey());
    EXPECT_EQ(panel.animations().back().animation, Animation::easeOut(0.08));
}

TEST_F(WindowSwitcherControllerTest, KeysMoveTheSelectionAndReleasingOptionActivatesIt) {
    startController();
    optionTab();
    rt.advance(0.2);
    sim.keyDown(kTab, "\t", eventflags::kAlternate);
    rt.runUntilIdle();
    EXPECT_EQ(selectedTitle(), "Notes");
    sim.keyDown(kTab, "\t", eventflags::kAlternate | eventflags::kShift);
    sim.keyDown(123, "", eventflags::kAlternate);  // left
    sim.keyDown(123, "", eventflags::kAlternate);  // wraps to the last
    rt.runUntilIdle();
    EXPECT_EQ(selectedTitle(), "Parked");
    sim.keyDown(126, "", eventflags::kAlternate);  // up: no row above, the first
    rt.runUntilIdle();
    EXPECT_EQ(selectedTitle(), "Draft");
    sim.keyDown(124, "", eventflags::kAlternate);  // right, twice
    sim.keyDown(124, "", eventflags::kAlternate);
    sim.keyDown(0, "a", eventflags::kAlternate);  // a letter goes to the application
    rt.runUntilIdle();
    EXPECT_EQ(selectedTitle(), "Notes");
    EXPECT_EQ(received(editor, eventtype::kKeyDown, 0), 1u);

    releaseOption();
    EXPECT_EQ(controller->phase(), Phase::idle);
    EXPECT_FALSE(controller->panel()->isVisible());
    rt.advance(0.5);
    EXPECT_EQ(focusedWindow(editor), notes);

    // The next session preselects the window left; a quick press and release switches back
    // without showing the panel.
    optionTab();
    EXPECT_EQ(selectedTitle(), "Draft");
    releaseOption();
    EXPECT_FALSE(controller->panel()->isVisible());
    rt.advance(0.5);
    EXPECT_EQ(focusedWindow(editor), draft);
    EXPECT_EQ(sim.frontmostPID(), editor);
}

TEST_F(WindowSwitcherControllerTest, AnUntrackedDialogIsActivatedThroughAccessibility) {
    startController();
    optionTab();
    ASSERT_EQ(selectedTitle(), "Send?");
    releaseOption();
    rt.advance(0.5);
    EXPECT_EQ(sim.frontmostPID(), mail);
}

TEST_F(WindowSwitcherControllerTest, SessionsEndOnEscapeALostReleaseADesktopChangeAndRecording) {
    startController();
    optionTab();
    sim.keyDown(53, "", eventflags::kAlternate);
    rt.runUntilIdle();
    EXPECT_EQ(controller->phase(), Phase::idle);
    releaseOption();
    EXPECT_EQ(focusedWindow(editor), draft);

    // The release never reaches the tap: the watchdog sees it within 0.1 s and commits.
    optionTab();
    sim.eventTaps().dropNextFlagsChange();
    sim.flagsChanged(0);
    rt.runUntilIdle();
    EXPECT_NE(controller->phase(), Phase::idle);
    rt.advance(0.1);
    EXPECT_EQ(controller->phase(), Phase::idle);
    rt.advance(0.5);
    EXPECT_EQ(sim.frontmostPID(), mail);

    optionTab();
    rt.advance(0.2);
    sim.switchToSpace(sim.addSpace(sideDisplay));
    rt.runUntilIdle();
    EXPECT_EQ(controller->phase(), Phase::idle);
    EXPECT_FALSE(controller->panel()->isVisible());
    releaseOption();
    sim.switchToSpace(side);
    rt.runUntilIdle();

    optionTab();
    sim.notifications().post(
        Notification{"quillVorn.shortcutRecording", {}, Value::number(NumberObject::ofBool(true))});
    rt.runUntilIdle();
    EXPECT_EQ(controller->phase(), Phase::idle);
    releaseOption();
    optionTab();  // suspended: the trigger reaches the application
    EXPECT_EQ(controller->phase(), Phase::idle);
    EXPECT_EQ(received(mail, eventtype::kKeyDown, kTab) + received(editor, eventtype::kKeyDown, kTab), 1u);
    releaseOption();
    sim.notifications().post(
        Notification{"quillVorn.shortcutRecording", {}, Value::number(NumberObject::ofBool(false))});
    rt.runUntilIdle();
    optionTab();
    EXPECT_EQ(controller->phase(), Phase::pending);
}

TEST_F(WindowSwitcherControllerTest, TheSettingRemovesAndRestoresTheTapWithTheStoredShortcut) {
    startController();
    ASSERT_EQ(sim.eventTaps().taps().size(), 1u);
    optionTab();
    settings->setWindowSwitcherEnabled(false);
    rt.runUntilIdle();
    EXPECT_EQ(controller->phase(), Phase::idle);
    EXPECT_TRUE(sim.eventTaps().taps().empty());
    releaseOption();

    settings->setWindowSwitcherShortcut({50, 0x100});  // Command
    settings->setWindowSwitcherEnabled(true);
    rt.runUntilIdle();
    ASSERT_EQ(sim.eventTaps().taps().size(), 1u);
    EXPECT_EQ(controller->keyTap().triggerKeyCode(), 50);
    EXPECT_EQ(controller->keyTap().triggerFlags(), eventflags::kCommand);
}

TEST_F(WindowSwitcherControllerTest, ARefusedTapIsRetriedEveryFiveSecondsAndATimedOutOneWorksAgain) {
    startModel();
    sim.eventTaps().setCreationRefused(true);
    controller = WindowSwitcherController::create(sim.platform(), store, viewModel, settings);
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
