#include <gtest/gtest.h>

#include "sim/SimAccessibility.h"
#include "sim/SimEventTaps.h"
#include "support/BarDesktop.h"
#include "support/BarManagerProbe.h"
#include "support/WindowStoreProbe.h"

namespace qv {
namespace {

// A main display with three desktops and a side display with two (the first active), an editor
// window on desktop 1 (numbers: 1 to 3 on the main display, 4 and 5 on the side), and the bar.
class WindowMoveTest : public testing::BarDesktop {
  protected:
    uint64_t d1 = sim.addSpace(main), d2 = sim.addSpace(main), d3 = sim.addSpace(main);
    uint64_t s1 = sim.addSpace(side), s2 = sim.addSpace(side);
    int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    uint32_t doc = sim.openWindow(editor, "Doc", d1, Rect{100, 100, 800, 600});
    std::shared_ptr<BarManager> bar;

    void SetUp() override {
        sim.activateApp(editor);
        store->populate();
        rt.runUntilIdle();
        bar = makeBar();
    }
    // The content view's request to carry a window, as a chip's move menu makes it.
    void requestMove(uint64_t from, uint64_t to) {
        auto& host = bar->panels().at(from)->contentView();
        std::dynamic_pointer_cast<BarContentView>(host->rootView())
            ->onMoveWindowToSpaceRequested(doc, from, to);
    }
    Rect frame() { return sim.window(doc)->frame; }
    std::set<uint64_t> desktops() { return sim.window(doc)->spaces; }
    size_t posted() { return sim.callsNamed("CGEventPost").size(); }
    std::vector<SimCall> yields() { return sim.callsNamed("NSApp.yieldActivation"); }
};

TEST_F(WindowMoveTest, OnOneDisplayTheWindowStaysWhereItWasOnTheNewDesktop) {
    requestMove(d1, d3);
    rt.advance(0.18);
    EXPECT_EQ(sim.heldWindow(), doc);  // grabbed just right of its zoom button
    rt.advance(0.05);                  // Control-3 while held: the window waits for the switch
    EXPECT_EQ(desktops(), std::set<uint64_t>{d1});
    rt.advance(SimDesktop::kDesktopSwitchSeconds);
    EXPECT_EQ(sim.heldWindow(), doc);
    EXPECT_EQ(desktops(), std::set<uint64_t>{d3});
    EXPECT_TRUE(sim.isActiveSpace(d3));
    rt.advance(0.4 - SimDesktop::kDesktopSwitchSeconds);
    EXPECT_EQ(sim.heldWindow(), std::nullopt);
    EXPECT_EQ(frame(), (Rect{100, 100, 800, 600}));
    EXPECT_EQ(store->windows().at(doc).spaceIDs, std::set<uint64_t>{d1});  // the chip follows 0.2 s later
    rt.advance(0.2);
    EXPECT_EQ(store->windows().at(doc).spaceIDs, std::set<uint64_t>{d3});
}

TEST_F(WindowMoveTest, ToAnotherDisplayItLandsNearTheTopLeftOfItsVisibleArea) {
    requestMove(d1, s2);
    rt.advance(0.18);  // pressed, then Control-5 brings the side display's desktop 5 forward
    EXPECT_EQ(sim.heldWindow(), doc);  // held until the change of the active desktop
    rt.advance(SimDesktop::kDesktopSwitchSeconds);
    EXPECT_TRUE(sim.isActiveSpace(s2));
    EXPECT_EQ(sim.heldWindow(), std::nullopt);
    // The visible area starts at (1440, 25); the grab offset (67, 5) is kept.
    EXPECT_EQ(frame(), (Rect{1488, 73, 800, 600}));
    EXPECT_EQ(desktops(), std::set<uint64_t>{s2});
    rt.advance(0.2);
    EXPECT_EQ(store->windows().at(doc).spaceIDs, std::set<uint64_t>{s2});
    EXPECT_EQ(yields().size(), 2u);  // to the editor as its window was activated, and after the move
}

TEST_F(WindowMoveTest, ATargetNeverReachedReleasesTheWindowWhereItWasTaken) {
    // Desktop 5's shortcut is desktop 1's chord, so the system switches to desktop 1 instead.
    sim.setDesktopHotKeysEnabled(true);
    sim.symbolicHotKeys[122] = sim.symbolicHotKeys[118];
    requestMove(d1, s2);
    rt.advance(0.18);
    const size_t afterGrab = posted();
    EXPECT_EQ(sim.heldWindow(), doc);

    // A second request while one is pending is ignored.
    requestMove(d1, d2);
    rt.advance(1.4);
    EXPECT_EQ(posted(), afterGrab);
    EXPECT_EQ(sim.heldWindow(), doc);
    rt.advance(0.1);
    EXPECT_EQ(sim.heldWindow(), std::nullopt);
    EXPECT_EQ(frame(), (Rect{100, 100, 800, 600}));
    EXPECT_EQ(desktops(), std::set<uint64_t>{d1});
    EXPECT_FALSE(BarManagerProbe::pendingWindowMoveDrag(*bar));
}

TEST_F(WindowMoveTest, MovesOnOneDisplayAndPanelSwitchesLetGoAndGiveActivationBack) {
    // Without the shortcut's keys the window is let go where it was taken.
    sim.eventTaps().setKeyboardEventCreationFails(true);
    requestMove(d1, d3);
    rt.advance(0.3);
    EXPECT_EQ(sim.heldWindow(), std::nullopt);
    sim.eventTaps().setKeyboardEventCreationFails(false);
    // Our program came to the front meanwhile: activation is yielded back to the window's owner.
    requestMove(d1, d3);
    rt.advance(0.3);
    sim.platform().windowing.activate(true);
    const size_t yielded = yields().size();
    const size_t raised = sim.callsNamed("AXUIElementPerformAction").size();
    rt.advance(0.5);
    EXPECT_EQ(yields().size(), yielded + 1);
    EXPECT_EQ(sim.callsNamed("AXUIElementPerformAction").size(), raised);  // handed back, not raised
    // Another application did: the window is activated again.
    requestMove(d3, d2);
    rt.advance(0.3);
    sim.activateApp(sim.launchApp(std::string("com.example.mail"), "Mail"));
    rt.advance(0.6);
    EXPECT_EQ(sim.frontmostPID(), editor);
    // A switch through a bar while our program is at the front yields to Finder.
    sim.symbolicHotKeys.erase(119);
    sim.switchToSpace(d1);
    sim.finishDesktopSwitches();
    rt.runUntilIdle();
    sim.platform().windowing.activate(true);
    BarManagerProbe::switchToSpace(*bar, d2, std::nullopt);
    rt.advance(0.5);
    EXPECT_EQ(yields().back().args, Value::string("com.apple.finder"));
}

TEST_F(WindowMoveTest, AFullScreenSwitchThatDoesNotLandByItselfIsSettledByItsCleanUp) {
    const uint64_t full = sim.addSpace(main, kSimSpaceTypeFullScreen);
    const uint32_t poster = sim.openWindow(editor, "Poster", full, Rect{0, 0, 1440, 900});
    sim.switchToSpace(full);  // showing already: making its stand-in key changes nothing
    sim.finishDesktopSwitches();
    store->refreshSpaces();
    rt.runUntilIdle();
    BarManagerProbe::switchToFullscreenSpace(*bar, full);
    rt.advance(1.01);
    EXPECT_EQ(*bar->viewModel()->focusedWindowID, poster);  // completed by the clean-up
    // A change that lands elsewhere drops the switch at once,
    BarManagerProbe::switchToFullscreenSpace(*bar, full);
    sim.switchToSpace(d1);
    sim.finishDesktopSwitches();
    rt.runUntilIdle();
    EXPECT_FALSE(BarManagerProbe::pendingFullscreenAXActivation(*bar));
    // and so does the clean-up when the desktop is not showing.
    sim.switchToSpace(full);
    sim.finishDesktopSwitches();
    rt.runUntilIdle();
    BarManagerProbe::switchToFullscreenSpace(*bar, full);
    sim.switchToSpace(d1);
    sim.finishDesktopSwitches();
    BarManagerProbe::cleanupFullscreenProxySwitchIfNeeded(*bar, full);
    EXPECT_FALSE(BarManagerProbe::pendingFullscreenAXActivation(*bar));
}

// Dropped by the store while its application answered, the window is not pressed, even where it
// was read.
TEST_F(WindowMoveTest, AWindowTheStoreNoLongerTracksIsNotPressed) {
    sim.accessibility().faults(editor).responseDelay = 0.3;
    requestMove(d1, d3);
    rt.advance(0.5);
    WindowStoreProbe::windows(*store).erase(doc);
    rt.advance(10);
    EXPECT_EQ(posted(), 0u);
    EXPECT_EQ(desktops(), std::set<uint64_t>{d1});
}

TEST_F(WindowMoveTest, TheKeyboardActionMovesOnlyToAnotherDesktopOfTheWindowsDisplay) {
    BarManagerProbe::moveWindow(*bar, doc, 1);  // its own desktop
    BarManagerProbe::moveWindow(*bar, doc, 4);  // past the main display's last
    rt.advance(1);
    EXPECT_EQ(posted(), 0u);
    BarManagerProbe::moveWindow(*bar, doc, 2);
    rt.advance(1);
    EXPECT_EQ(desktops(), std::set<uint64_t>{d2});
    EXPECT_EQ(frame(), (Rect{100, 100, 800, 600}));
}

TEST_F(WindowMoveTest, AFullScreenStandInWithoutAScreenIsMadeByTheNextSync) {
    const uint64_t full = sim.addSpace(main, kSimSpaceTypeFullScreen);
    sim.setScreensAvailable(false);
    bar->syncPanels();
    bar->repositionPanels();
    EXPECT_FALSE(BarManagerProbe::fullscreenPanels(*bar).contains(full));

    sim.setScreensAvailable(true);
    bar->syncPanels();
    ASSERT_TRUE(BarManagerProbe::fullscreenPanels(*bar).contains(full));
    const auto& proxy = BarManagerProbe::fullscreenPanels(*bar).at(full);
    EXPECT_EQ(proxy->frame(), (Rect{0, 0, 1440, 1}));
    EXPECT_EQ(sim.window(proxy->windowNumber())->spaces, std::set<uint64_t>{full});
    EXPECT_FALSE(proxy->isVisible());
}

}  // namespace
}  // namespace qv
