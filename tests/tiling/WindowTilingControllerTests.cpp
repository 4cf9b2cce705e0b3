#include <gtest/gtest.h>

#include "sim/SimAccessibility.h"
#include "sim/SimEventTaps.h"
#include "sim/SimPreferences.h"
#include "support/SimDesktops.h"
#include "tiling/WindowTilingController.h"

namespace qv {
namespace {

using C = WindowTilingController;
constexpr uint32_t kCtrlOpt = carbon::kControl | carbon::kOption;

// Two displays side by side, a 36 pt bar on each, one editor window; every tiling setting on
// unless a test says otherwise. Points are in window-server space.
class WindowTilingControllerTest : public testing::TwoDisplays {
  protected:
    WindowTilingControllerTest() : TwoDisplays({1440, 0, 1440, 900}) {}

    uint64_t space = sim.addSpace(main);
    uint64_t sideSpace = sim.addSpace(side);
    int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    uint32_t notes = sim.openWindow(editor, "Notes", space, Rect{200, 200, 800, 500});
    std::shared_ptr<UserSettings> settings = UserSettings::create(sim.platform());
    std::shared_ptr<C> tiling;
    std::vector<std::pair<uint32_t, int>> moves;

    void SetUp() override { sim.activateApp(editor); }
    void enableAll() {
        settings->setSnapLayoutsEnabled(true);
        settings->setResizeAdjacentWindowsEnabled(true);
        settings->setKeyboardSnapEnabled(true);
        settings->setKeyboardSnapModifiers(SnapKeyModifiers{kCtrlOpt});
    }
    void make() {
        tiling = C::create(sim.platform(), settings, [](uint32_t) { return 36.0; });
        tiling->onMoveToDesktop = [this](uint32_t id, int n) { moves.emplace_back(id, n); };
        rt.runUntilIdle();
    }
    Point appKit(Point ws) const { return flipVertically(ws, 900); }
    void press(Point p) {
        sim.mouseDown(appKit(p));
        rt.runUntilIdle();
    }
    void drag(Point p) {
        sim.mouseDrag(appKit(p));
        rt.runUntilIdle();
    }
    void release(Point p) {
        sim.mouseUp(appKit(p));
        rt.runUntilIdle();
    }
    void chord(uint16_t key) {
        sim.flagsChanged(eventflags::kControl | eventflags::kAlternate);
        sim.keyDown(key);
        sim.keyUp(key);
        sim.flagsChanged(0);
        rt.runUntilIdle();
    }
    Rect frame(uint32_t id) const { return sim.window(id)->frame; }
    size_t tapsCreated() const { return sim.callsNamed("CGEventTapCreate").size(); }
};

TEST_F(WindowTilingControllerTest, TheTapsFollowTheFourWatchedSettingsOnly) {
    settings->setKeyboardSnapEnabled(true);
    make();
    // Keyboard snapping without a recorded combination leaves the key tap stopped.
    EXPECT_FALSE(tiling->isMouseTapRunning());
    EXPECT_FALSE(tiling->isKeyTapRunning());
    settings->setKeyboardSnapModifiers(SnapKeyModifiers{kCtrlOpt});
    rt.runUntilIdle();
    EXPECT_FALSE(tiling->isMouseTapRunning());
    EXPECT_TRUE(tiling->isKeyTapRunning());
    settings->setResizeAdjacentWindowsEnabled(true);
    rt.runUntilIdle();
    EXPECT_TRUE(tiling->isMouseTapRunning());
    const size_t created = tapsCreated();
    const size_t lookups = sim.callsNamed("CGEventSourceFlagsState").size();
    settings->setShowChipTitles(false);  // not watched: nothing is decided again
    rt.runUntilIdle();
    EXPECT_EQ(tapsCreated(), created);
    EXPECT_EQ(sim.callsNamed("CGEventSourceFlagsState").size(), lookups);
}

TEST_F(WindowTilingControllerTest, ARefusedTapIsRetriedEveryFiveSecondsUntilTheSettingsChange) {
    sim.eventTaps().setCreationRefused(true);
    settings->setSnapLayoutsEnabled(true);
    make();
    EXPECT_EQ(tapsCreated(), 1u);
    rt.advance(4.9);
    settings->setShowChipTitles(false);  // unwatched: the retry keeps its time
    rt.advance(0.1);
    EXPECT_EQ(tapsCreated(), 2u);
    rt.advance(5);
    EXPECT_EQ(tapsCreated(), 3u);
    settings->setSnapLayoutsEnabled(false);
    rt.runUntilIdle();
    EXPECT_FALSE(tiling->hasTapRetry());
    rt.advance(20);
    EXPECT_EQ(tapsCreated(), 3u);
}

TEST_F(WindowTilingControllerTest, ShortcutRecordingSuspendsTheKeyTapAtOnceWhileDragsStillTile) {
    enableAll();
    make();
    sim.notifications().post(
        Notification{C::kShortcutRecordingNotification, {}, Value::number(NumberObject::ofBool(true))});
    chord(123);  // ctrl+opt+left reaches the application
    EXPECT_EQ(frame(notes), (Rect{200, 200, 800, 500}));
    size_t received = 0;
    for (const auto& e : sim.eventTaps().receivedEvents(editor))
        received += e.type == eventtype::kKeyDown && e.keyCode == 123;
    EXPECT_EQ(received, 1u);
    // A drag to the left edge still snaps.
    press({600, 212});
    drag({590, 212});
    drag({1, 400});
    release({1, 400});
    EXPECT_EQ(frame(notes), (Rect{8, 33, 708, 822}));
    // Anything but a true number lifts the suspension.
    sim.notifications().post(Notification{C::kShortcutRecordingNotification, {}, Value::string("yes")});
    chord(124);
    EXPECT_EQ(frame(notes), (Rect{724, 33, 708, 822}));
}

TEST_F(WindowTilingControllerTest, TheFlyoutShowsOnlyForAWindowTheWorkerFindsTileable) {
    enableAll();
    const uint32_t dialog = sim.openWindow(editor, "Find", space, Rect{300, 300, 400, 200},
                                           [](SimWindowSpec& s) { s.subrole = "AXDialog"; });
    make();
    press({500, 312});
    drag({720, 10});
    ASSERT_TRUE(tiling->session());
    EXPECT_EQ(std::get<C::MoveState>(tiling->session()->phase).canTile, false);
    EXPECT_FALSE(tiling->flyoutPanel()->isVisible());
    release({720, 10});
    EXPECT_NE(frame(dialog).minY(), 33);

    press({250, 212});
    drag({260, 212});
    drag({720, 10});
    EXPECT_TRUE(tiling->flyoutPanel()->isVisible());
    EXPECT_EQ(flipVertically(tiling->flyoutPanel()->frame(), 900), (Rect{588, 31, 264, 116}));
    ASSERT_FALSE(tiling->flyoutPanel()->animations().empty());
    EXPECT_EQ(tiling->flyoutPanel()->animations().back().animation, Animation::easeOut(0.12));
    // Sideways beyond the reach: the flyout goes and fill is armed.
    drag({100, 10});
    EXPECT_FALSE(tiling->flyoutPanel()->isVisible());
    EXPECT_EQ(flipVertically(tiling->previewPanel()->frame(), 900), (Rect{8, 33, 1424, 822}));
    // Escape ends both for the rest of the drag.
    sim.keyDown(53);
    rt.advance(0.03);
    EXPECT_FALSE(tiling->previewPanel()->isVisible());
    drag({720, 10});
    EXPECT_FALSE(tiling->flyoutPanel()->isVisible());
    sim.keyUp(53);
    release({720, 10});
    rt.advance(1);
    EXPECT_EQ(frame(notes), (Rect{670, 25, 800, 500}));
}

TEST_F(WindowTilingControllerTest, EdgesSharedWithAnotherDisplayArmNothing) {
    enableAll();
    make();
    press({600, 212});
    drag({610, 212});
    drag({1439, 400});
    EXPECT_FALSE(tiling->previewPanel()->isVisible());
    drag({1, 400});
    EXPECT_TRUE(tiling->previewPanel()->isVisible());
    // The preview stands at the normal level directly below the dragged window.
    EXPECT_EQ(tiling->previewPanel()->level(), 0);
    const auto order = sim.windowsInListOrder();
    auto at = std::find_if(order.begin(), order.end(), [&](const SimWindow* w) { return w->id == notes; });
    ASSERT_NE(at + 1, order.end());
    EXPECT_EQ((*(at + 1))->id, tiling->previewPanel()->windowNumber());
    // Along the menu bar to the other display's centre: the flyout of the display the pointer left
    // goes, and that display's own appears.
    drag({720, 10});
    EXPECT_TRUE(tiling->flyoutPanel()->isVisible());
    drag({2160, 10});
    EXPECT_EQ(flipVertically(tiling->flyoutPanel()->frame(), 900), (Rect{2028, 31, 264, 116}));
}

TEST_F(WindowTilingControllerTest, KeyboardSnapsRecordTheSizeFromBeforeTheFirstSnapAndCentreGivesItBack) {
    enableAll();
    make();
    chord(123);
    chord(123);
    EXPECT_EQ(frame(notes), (Rect{8, 33, 708, 822}));
    EXPECT_EQ(tiling->snapRecords().find(notes)->naturalSize, (Size{800, 500}));
    chord(8);  // C
    EXPECT_EQ(frame(notes), (Rect{320, 194, 800, 500}));
    EXPECT_FALSE(tiling->snapRecords().find(notes));
    // Larger than the usable area: each side shrinks to it.
    sim.setWindowFrame(notes, {0, 0, 2000, 300});
    chord(8);
    EXPECT_EQ(frame(notes), (Rect{0, 294, 1440, 300}));
    chord(20);  // 3: handed to the owner whatever the window
    EXPECT_EQ(moves, (std::vector<std::pair<uint32_t, int>>{{notes, 3}}));
    // Half on each display: it belongs to the one listed first.
    sim.setWindowFrame(notes, {1040, 200, 800, 500});
    chord(123);
    EXPECT_EQ(frame(notes), (Rect{8, 33, 708, 822}));
    // A drag that began while the focused window was looked up wins over the keys.
    sim.flagsChanged(eventflags::kControl | eventflags::kAlternate);
    sim.keyDown(3);
    sim.keyUp(3);
    sim.flagsChanged(0);
    sim.mouseDown(appKit({300, 45}));
    sim.mouseDrag(appKit({320, 45}));
    rt.runUntilIdle();
    EXPECT_EQ(frame(notes), (Rect{-10, 33, 800, 500}));
}

TEST_F(WindowTilingControllerTest, TheTileMarginFollowsTheWindowManagerPreferenceAtEachUse) {
    enableAll();
    make();
    sim.preferences().setValue(C::kWindowManagerDomain, C::kTiledMarginsKey,
                               Value::number(NumberObject::ofBool(false)));
    chord(3);  // F
    EXPECT_EQ(frame(notes), (Rect{0, 25, 1440, 838}));
    sim.preferences().setValue(C::kWindowManagerDomain, C::kTiledMarginsKey, Value::string("off"));
    chord(3);
    EXPECT_EQ(frame(notes), (Rect{8, 33, 1424, 822}));
}

TEST_F(WindowTilingControllerTest, AListedDisplayGetsNoTilingOnlyWithBarsOnAllDisplaysAndSeparateSpaces) {
    enableAll();
    settings->setWindowTilingDisabled(true, *sim.platform().displays.displayUUIDString(main));
    make();
    UserSettingsData d = *settings->data;
    EXPECT_TRUE(C::isTilingAllowed(main, d, sim.platform().displays));
    settings->setShowOnAllDisplays(true);
    d = *settings->data;
    EXPECT_FALSE(C::isTilingAllowed(main, d, sim.platform().displays));
    EXPECT_TRUE(C::isTilingAllowed(side, d, sim.platform().displays));
    chord(123);
    EXPECT_EQ(frame(notes), (Rect{200, 200, 800, 500}));
    sim.setDisplaysHaveSeparateSpaces(false);
    EXPECT_TRUE(C::isTilingAllowed(main, d, sim.platform().displays));
    // With one display left the list cannot be changed in the settings window, so it is not
    // honoured; it is kept for when the second display returns.
    sim.setDisplaysHaveSeparateSpaces(true);
    sim.removeDisplay(side);
    EXPECT_TRUE(C::isTilingAllowed(main, d, sim.platform().displays));
}

}  // namespace
}  // namespace qv
