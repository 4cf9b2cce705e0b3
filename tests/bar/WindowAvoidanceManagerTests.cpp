#include <gtest/gtest.h>

#include "bar/WindowAvoidanceManager.h"
#include "sim/SimAccessibility.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

using Manager = WindowAvoidanceManager;

TEST(WindowAvoidanceRules, TheLimitIsOnePointAboveTheBarAndWindowsKeepAHundredPoints) {
    // A primary screen 900 high, a second one whose bottom edge is 200 points higher.
    EXPECT_EQ(Manager::barTopLimit(900, Rect{0, 0, 1440, 900}, 36), 863);
    EXPECT_EQ(Manager::barTopLimit(900, Rect{1440, 200, 1280, 800}, 36), 663);
    EXPECT_EQ(Manager::topLeftRect(900, Rect{1440, 200, 1280, 800}), (Rect{1440, -100, 1280, 800}));

    const Rect screen{0, 0, 1440, 900};
    auto window = [](Rect frame, bool minimized = false) {
        TrackedWindow w;
        w.frame = frame;
        w.isMinimized = minimized;
        return w;
    };
    EXPECT_FALSE(Manager::mustShorten(window({100, 263, 800, 600}), screen, 863));  // ends at the limit
    EXPECT_TRUE(Manager::mustShorten(window({100, 264, 800, 600}), screen, 863));
    EXPECT_TRUE(Manager::mustShorten(window({100, 763, 800, 200}), screen, 863));     // keeps exactly 100
    EXPECT_FALSE(Manager::mustShorten(window({100, 763.5, 800, 200}), screen, 863));  // would keep 99.5
    EXPECT_FALSE(Manager::mustShorten(window({100, 300, 800, 700}, true), screen, 863));
    EXPECT_FALSE(
        Manager::mustShorten(window({1300, 300, 400, 700}), screen, 863));  // centre beyond the screen
    EXPECT_TRUE(Manager::mustShorten(Point{0, 300}, Size{800, 600}, 863));
    EXPECT_FALSE(Manager::mustShorten(Point{0, 300}, Size{800, 563}, 863));
}

class WindowAvoidanceTest : public testing::TwoDisplays {
  protected:
    uint64_t desk1 = sim.addSpace(main);
    uint64_t desk2 = sim.addSpace(main);
    uint64_t sideDesk = sim.addSpace(side);
    int32_t app = sim.launchApp(std::string("com.example.editor"), "Editor");
    std::shared_ptr<WindowStore> store = WindowStore::create(sim.platform());
    std::set<uint64_t> panelSpaces = {desk1, desk2, sideDesk};
    std::vector<int64_t> mirrors;

    std::shared_ptr<Manager> make() {
        return Manager::make(
            sim.platform(), store, [this] { return panelSpaces; }, [this] { return mirrors; },
            BarSize::medium);
    }
    uint32_t open(Rect frame, uint64_t space) { return sim.openWindow(app, "w", space, frame); }
    Rect frame(uint32_t id) { return sim.window(id)->frame; }
};

TEST_F(WindowAvoidanceTest, APassShortensWhatReachesUnderTheBarAndLeavesTheRest) {
    const uint32_t under = open({100, 100, 800, 900}, desk1);
    const uint32_t atLimit = open({200, 263, 600, 600}, desk1);
    const uint32_t lowTop = open({300, 800, 500, 300}, desk1);
    const uint32_t minimised = open({400, 300, 500, 700}, desk1);
    sim.setWindowMinimized(minimised, true);
    const uint32_t onSide = open({1500, 200, 600, 700}, sideDesk);
    store->populate();
    rt.runUntilIdle();
    auto manager = make();
    manager->scheduleAdjustment(0.1);
    rt.advance(0.05);
    manager->scheduleAdjustment(0.1);
    rt.advance(0.09);
    EXPECT_EQ(frame(under), (Rect{100, 100, 800, 900}));
    rt.advance(0.02);
    EXPECT_EQ(frame(under), (Rect{100, 100, 800, 763}));
    EXPECT_EQ(frame(atLimit), (Rect{200, 263, 600, 600}));
    EXPECT_EQ(frame(lowTop), (Rect{300, 800, 500, 300}));
    EXPECT_EQ(frame(minimised), (Rect{400, 300, 500, 700}));
    EXPECT_EQ(frame(onSide), (Rect{1500, 200, 600, 563}));  // the side screen's bar is at 763
}

TEST_F(WindowAvoidanceTest, WithoutThePrivateLookupTheWindowIsFoundByItsNumber) {
    sim.missingEntryPoints.insert("_AXUIElementGetWindow");
    const uint32_t under = open({100, 100, 800, 900}, desk1);
    store->populate();
    rt.runUntilIdle();
    auto manager = make();
    manager->adjustNow();
    rt.runUntilIdle();
    EXPECT_EQ(frame(under), (Rect{100, 100, 800, 763}));
}

TEST_F(WindowAvoidanceTest, AHungApplicationHoldsBackOnlyItsOwnWindows) {
    const int32_t viewer = sim.launchApp(std::string("com.example.viewer"), "Viewer");
    const uint32_t stuck = sim.openWindow(viewer, "v", desk1, Rect{300, 100, 800, 900});
    const uint32_t under = open({100, 100, 800, 900}, desk1);
    store->populate();
    rt.runUntilIdle();
    sim.accessibility().faults(viewer).unresponsive = true;
    auto manager = make();
    (void)rt.takeLongestMainHold();
    EXPECT_EQ(manager->adjustNow().size(), 2u);
    rt.runUntilIdle();
    EXPECT_EQ(frame(under), (Rect{100, 100, 800, 763}));
    EXPECT_EQ(frame(stuck), (Rect{300, 100, 800, 900}));
    EXPECT_EQ(rt.takeLongestMainHold().duration, 0);
}

TEST_F(WindowAvoidanceTest, SpacesPanelsAndMirrorsDecideWhichWindowsCount) {
    const uint32_t inactive = open({100, 100, 800, 900}, desk2);
    store->populate();
    rt.runUntilIdle();
    auto manager = make();
    EXPECT_TRUE(manager->adjustNow().empty());
    sim.setDisplaysHaveSeparateSpaces(false);
    EXPECT_EQ(manager->adjustNow(), (std::vector<AvoidanceRequest>{{inactive, app, 863}}));
    // No panel on the active desktop (a full-screen one): nothing for that display.
    panelSpaces = {desk2, sideDesk};
    EXPECT_TRUE(manager->adjustNow().empty());
    // A mirror bar on the main screen counts every window on it.
    sim.setDisplaysHaveSeparateSpaces(true);
    mirrors = {0, 7};
    EXPECT_EQ(manager->adjustNow(), (std::vector<AvoidanceRequest>{{inactive, app, 863}}));
}

TEST_F(WindowAvoidanceTest, AWindowMovedUpBeforeItsResizeAndAManagerGoneAreLeftAlone) {
    const uint32_t under = open({100, 100, 800, 900}, desk1);
    store->populate();
    rt.runUntilIdle();
    auto manager = make();
    ASSERT_EQ(manager->adjustNow().size(), 1u);
    sim.setWindowFrame(under, {100, 0, 800, 850});
    rt.runUntilIdle();
    EXPECT_EQ(frame(under), (Rect{100, 0, 800, 850}));

    sim.setWindowFrame(under, {100, 100, 800, 900});
    manager->scheduleAdjustment(0);
    manager.reset();
    rt.runUntilIdle();
    EXPECT_EQ(frame(under), (Rect{100, 100, 800, 900}));
}

}  // namespace
}  // namespace qv
