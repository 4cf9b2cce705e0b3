#include <gtest/gtest.h>

#include "support/BarDesktop.h"

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
        bar = makeBar();
    }
    // The content view's request to carry a window, as a chip's move menu makes it.
    void requestMove(uint64_t from, uint64_t to) {
        auto& host = bar->panels.at(from)->contentView();
        std::dynamic_pointer_cast<BarContentView>(host->rootView())
            ->onMoveWindowToSpaceRequested(doc, from, to);
    }
    Rect frame() { return sim.window(doc)->frame; }
    std::set<uint64_t> desktops() { return sim.window(doc)->spaces; }
    size_t posted() { return sim.callsNamed("CGEventPost").size(); }
};

TEST_F(WindowMoveTest, OnOneDisplayTheWindowStaysWhereItWasOnTheNewDesktop) {
    requestMove(d1, d3);
    rt.advance(0.18);
    EXPECT_EQ(sim.heldWindow(), doc);  // grabbed just right of its zoom button
    rt.advance(0.05);                  // Control-3 while held
    EXPECT_EQ(desktops(), std::set<uint64_t>{d3});
    EXPECT_TRUE(sim.isActiveSpace(d3));
    rt.advance(0.4);
    EXPECT_EQ(sim.heldWindow(), std::nullopt);
    EXPECT_EQ(frame(), (Rect{100, 100, 800, 600}));
    EXPECT_EQ(store->windows.at(doc).spaceIDs, std::set<uint64_t>{d1});  // the chip follows 0.2 s later
    rt.advance(0.2);
    EXPECT_EQ(store->windows.at(doc).spaceIDs, std::set<uint64_t>{d3});
}

TEST_F(WindowMoveTest, ToAnotherDisplayItLandsNearTheTopLeftOfItsVisibleArea) {
    requestMove(d1, s2);
    rt.advance(0.18);  // pressed, then Control-5 brings the side display's desktop 5 forward
    rt.runUntilIdle();
    EXPECT_TRUE(sim.isActiveSpace(s2));
    EXPECT_EQ(sim.heldWindow(), std::nullopt);
    // The visible area starts at (1440, 25); the grab offset (67, 5) is kept.
    EXPECT_EQ(frame(), (Rect{1488, 73, 800, 600}));
    EXPECT_EQ(desktops(), std::set<uint64_t>{s2});
    rt.advance(0.2);
    EXPECT_EQ(store->windows.at(doc).spaceIDs, std::set<uint64_t>{s2});
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
    EXPECT_FALSE(bar->pendingWindowMoveDrag);
}

TEST_F(WindowMoveTest, TheKeyboardActionMovesOnlyToAnotherDesktopOfTheWindowsDisplay) {
    bar->moveWindow(doc, 1);  // its own desktop
    bar->moveWindow(doc, 4);  // past the main display's last
    rt.advance(1);
    EXPECT_EQ(posted(), 0u);
    bar->moveWindow(doc, 2);
    rt.advance(1);
    EXPECT_EQ(desktops(), std::set<uint64_t>{d2});
    EXPECT_EQ(frame(), (Rect{100, 100, 800, 600}));
}

TEST_F(WindowMoveTest, AFullScreenStandInWithoutAScreenIsMadeByTheNextSync) {
    const uint64_t full = sim.addSpace(main, kSimSpaceTypeFullScreen);
    sim.setScreensAvailable(false);
    bar->syncPanels();
    bar->repositionPanels();
    EXPECT_FALSE(bar->fullscreenPanels.contains(full));

    sim.setScreensAvailable(true);
    bar->syncPanels();
    ASSERT_TRUE(bar->fullscreenPanels.contains(full));
    const auto& proxy = bar->fullscreenPanels.at(full);
    EXPECT_EQ(proxy->frame(), (Rect{0, 0, 1440, 1}));
    EXPECT_EQ(sim.window(proxy->windowNumber())->spaces, std::set<uint64_t>{full});
    EXPECT_FALSE(proxy->isVisible());
}

}  // namespace
}  // namespace qv
