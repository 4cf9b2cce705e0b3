#include <gtest/gtest.h>

#include "bar/BarPanel.h"
#include "bar_views/WallpaperBrightnessMonitor.h"
#include "sim/SimWindowing.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

class BarPanelTest : public testing::OneDesktop<> {
  protected:
    std::map<std::optional<uint32_t>, bool> verdicts;
    int verdictReads = 0;

    std::shared_ptr<BarPanel> makeBar() {
        auto env = std::make_shared<BarPanelEnvironment>(sim.platform(), [this](std::optional<uint32_t> id) {
            ++verdictReads;
            return verdicts[id];
        });
        auto panel = BarPanel::create(env, Rect{});
        panel->setContentView(std::make_shared<BarHostingView>(
            rt, std::make_shared<ClosureView>([] { return Fill(Color::black(0.5)); })));
        panel->isProgrammaticResize = true;
        panel->setFrame(Rect{0, 0, 1440, 36}, true);
        panel->isProgrammaticResize = false;
        panel->orderFront();
        rt.runUntilIdle();
        return panel;
    }
};

TEST_F(BarPanelTest, OnlyTheOwnersFrameChangesTakeEffect) {
    auto bar = makeBar();
    EXPECT_EQ(bar->level(), 24);
    EXPECT_EQ(bar->collectionBehavior, 0x144u);
    EXPECT_EQ(bar->styleMask(), stylemask::kNonactivatingPanel);
    bar->setFrame(Rect{0, 400, 1440, 36}, true);
    bar->setFrame(Rect{0, 400, 1440, 36}, true, false);
    bar->setFrameOrigin({20, 20});
    EXPECT_EQ(bar->frame(), (Rect{0, 0, 1440, 36}));
    bar->isProgrammaticResize = true;
    bar->setFrame(Rect{0, 0, 1440, 44}, true);
    EXPECT_EQ(bar->frame(), (Rect{0, 0, 1440, 44}));
    EXPECT_EQ(bar->contentView()->trackingAreas().front()->rect, (Rect{0, 0, 1440, 44}));
}

TEST_F(BarPanelTest, ItBecomesKeyOnlyWhenAllowedAndNeverMain) {
    auto bar = makeBar();
    sim.click({700, 18});
    EXPECT_FALSE(bar->isKeyWindow());
    EXPECT_FALSE(bar->canBecomeMain());
    bar->allowBecomeKey = true;
    bar->makeKeyAndOrderFront();
    EXPECT_TRUE(bar->isKeyWindow());
    EXPECT_FALSE(bar->canBecomeMain());
}

TEST_F(BarPanelTest, ScrollsAreDroppedHandedToTheOwnerOrPassedOn) {
    auto route = [](double dx, double dy, MomentumPhase momentum, bool overChips) {
        Event e;
        e.type = EventType::scrollWheel;
        e.scrollingDeltaX = dx;
        e.scrollingDeltaY = dy;
        e.momentumPhase = momentum;
        return BarPanel::scrollRoute(e, overChips);
    };
    using R = BarPanel::ScrollRoute;
    EXPECT_EQ(route(0, -8, MomentumPhase::changed, false), R::dropped);
    EXPECT_EQ(route(0, -8, MomentumPhase::none, false), R::verticalScroll);
    EXPECT_EQ(route(0, 1.0, MomentumPhase::none, false), R::panel);  // one point is not a gesture
    EXPECT_EQ(route(-9, 8, MomentumPhase::none, false), R::panel);   // mostly horizontal
    EXPECT_EQ(route(0, -8, MomentumPhase::none, true), R::panel);    // over the chips row

    // Without a handler a vertical scroll is swallowed: the panel class never sees it, and the arrow is
    // set before only; a horizontal one reaches the panel class and sets it after too.
    auto bar = makeBar();
    int sets = sim.windowing().cursorSetCount();
    sim.scroll({700, 18}, 0, -8);
    EXPECT_EQ(sim.windowing().cursorSetCount(), sets + 1);
    sim.scroll({700, 18}, -9, 2);
    EXPECT_EQ(sim.windowing().cursorSetCount(), sets + 3);
    std::vector<double> handed;
    bar->onVerticalScroll = [&](const Event& e) { handed.push_back(e.scrollingDeltaY); };
    sim.scroll({700, 18}, 0, -8);
    sim.scroll({700, 18}, 0, -8, MomentumPhase::changed);
    EXPECT_EQ(handed, (std::vector<double>{-8}));
}

TEST_F(BarPanelTest, TheArrowIsForcedOnPointerEventsAndOnExitsOnlyBefore26) {
    EXPECT_TRUE(BarPanel::forcesArrowCursor(EventType::mouseExited, false));
    EXPECT_FALSE(BarPanel::forcesArrowCursor(EventType::mouseExited, true));
    EXPECT_TRUE(BarPanel::forcesArrowCursor(EventType::otherMouseDragged, true));
    EXPECT_FALSE(BarPanel::forcesArrowCursor(EventType::keyDown, false));

    sim.setOperatingSystemMajorVersion(26);  // the deferred check exists from 26 on
    auto bar = makeBar();
    EXPECT_EQ(sim.connectionProperties.count("SetsCursorInBackground"), 1u);
    sim.mouseMove({700, 18});
    ASSERT_TRUE(bar->deferredArrowCursorWork());
    const int sets = sim.windowing().cursorSetCount();
    rt.advance(BarPanel::kDeferredArrowCursorDelay);
    EXPECT_EQ(sim.windowing().cursorSetCount(), sets + 1);
}

TEST_F(BarPanelTest, TheAppearanceFollowsTheVerdictUnlessTransparencyIsReduced) {
    EXPECT_EQ(BarPanel::barAppearance(false, true), Appearance::aqua);
    EXPECT_EQ(BarPanel::barAppearance(false, false), Appearance::darkAqua);
    EXPECT_EQ(BarPanel::barAppearance(true, true), std::nullopt);

    auto bar = makeBar();
    EXPECT_EQ(bar->contentView()->appearance(), Appearance::darkAqua);  // no display: dark
    verdicts[display] = true;
    bar->setDisplayID(display);
    EXPECT_EQ(bar->contentView()->appearance(), Appearance::aqua);
    const int reads = verdictReads;
    bar->setDisplayID(display);  // the same value does not read the verdict again
    EXPECT_EQ(verdictReads, reads);

    verdicts[display] = false;
    sim.notifications().post(WallpaperBrightnessMonitor::kDidChangeNotification);
    rt.runUntilIdle();
    EXPECT_EQ(bar->contentView()->appearance(), Appearance::darkAqua);
    sim.windowing().setReduceTransparency(true);
    rt.runUntilIdle();
    EXPECT_EQ(bar->contentView()->appearance(), std::nullopt);

    bar->close();  // a closed panel no longer listens
    sim.windowing().setReduceTransparency(false);
    rt.runUntilIdle();
    EXPECT_EQ(bar->contentView()->appearance(), std::nullopt);
}

}  // namespace
}  // namespace qv
