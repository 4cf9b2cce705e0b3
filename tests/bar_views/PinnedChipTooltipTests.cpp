#include <gtest/gtest.h>

#include "bar_views/AppNameTooltipPanel.h"
#include "bar_views/BarRowFixture.h"
#include "bar_views/PinnedChipView.h"
#include "ui/SvgQuery.h"

namespace qv {
namespace {

class PinnedChipTooltipTest : public testing::BarRowFixture {
  protected:
    std::vector<std::string> apps = {"Atlas"};
    double inset = 0;  // room before the chips; infinite puts them at the trailing edge
    int taps = 0;
    bool pinned = true;
    const Point away{700, 400};

    void SetUp() override {
        showBar([this] {
            std::vector<Node> chips = {inset == kInfinity ? Spacer() : Spacer(inset)->frame(inset, 1)};
            for (const auto& name : apps) {
                chips.push_back(
                    PinnedChipView{.windowing = sim.platform().windowing,
                                   .runtime = rt,
                                   .bundleID = "com.example." + name,
                                   .appName = name,
                                   .icon = std::make_shared<const Image>(Image::named(name, 64, 64)),
                                   .metrics = metrics,
                                   .onTap = [this] { ++taps; },
                                   .pinToBar = {[this] { return pinned; }, [this](bool v) { pinned = v; }}}
                        .body());
            }
            return row(std::move(chips));
        });
    }
    // Rests the pointer on the chip until its tooltip shows.
    Point rest(const std::string& name) {
        Point p;
        for (const HitRegion& r : host->displayList().regions) {
            if (r.accessibilityLabel == name) p = onScreen({r.frame.midX(), r.frame.midY()});
        }
        sim.mouseMove(p);
        rt.advance(PinnedChipView::kTooltipDelay);
        return p;
    }
    std::shared_ptr<AppNameTooltipPanel> tooltip() {
        for (auto& p : windowing.panels()) {
            if (auto t = std::dynamic_pointer_cast<AppNameTooltipPanel>(p); t && t->isVisible()) return t;
        }
        return nullptr;
    }
    size_t panelsMade() { return sim.callsNamed("NSWindow.init").size(); }
};

TEST_F(PinnedChipTooltipTest, ThePointerRestingForTheDelayShowsTheNameAboveTheBar) {
    inset = 300;
    relayout();
    Point p = rest("Atlas");
    auto t = tooltip();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->frame().minY(), 40);  // a medium bar is 36 high
    EXPECT_NEAR(t->frame().midX(), p.x, 1e-9);
    EXPECT_EQ(t->level(), 101);
    EXPECT_TRUE(t->ignoresMouseEvents);
    EXPECT_EQ(t->animations().back().animation, Animation::easeOut(0.12));
    // Clicks fall through it, and it never takes the key window.
    EXPECT_NE(windowing.panelAt({t->frame().midX(), t->frame().midY()}), t);
    t->makeKeyWindow();
    EXPECT_NE(windowing.keyWindow(), t);
    const auto shot = parseSvg(sim.renderSvg());
    const auto label = textIndex(shot, "Atlas");  // in the screenshot
    EXPECT_TRUE(label && shot[*label].content == "Atlas");

    sim.mouseMove(away);
    EXPECT_FALSE(tooltip());
    EXPECT_EQ(windowing.monitorCount(), 0u);

    // Without monitors it still shows, and leaving hides it (formerly
    // WithoutMonitorsItStillShowsAndLeavingHidesIt).
    windowing.setMonitorsRefused(true);
    inset = 0;
    relayout();
    rest("Atlas");
    ASSERT_TRUE(tooltip());
    sim.mouseMove(away);
    EXPECT_FALSE(tooltip());
}

// A tooltip still pending shows nothing once the pointer leaves or the chip goes (formerly
// LeavingWithinTheDelayShowsNothing and AChipRemovedWhilePendingShowsNothing).
TEST_F(PinnedChipTooltipTest, APendingTooltipShowsNothingWhenThePointerLeavesOrTheChipGoes) {
    Point p = rest("Atlas");
    sim.mouseMove(away);
    sim.mouseMove(p);
    rt.advance(0.3);
    sim.mouseMove(away);
    rt.advance(2);
    EXPECT_FALSE(tooltip());

    rest("Atlas");
    sim.mouseMove(away);
    size_t made = panelsMade();
    sim.mouseMove(p);
    rt.advance(0.2);
    apps.clear();
    relayout();
    rt.advance(1);
    EXPECT_EQ(panelsMade(), made);
    EXPECT_EQ(windowing.monitorCount(), 0u);
}

TEST_F(PinnedChipTooltipTest, AContextMenuClickHidesItAndAPlainPressDoesNot) {
    Point p = rest("Atlas");
    sim.mouseDown(p);  // a plain press: the tooltip stays until the click completes on the chip
    EXPECT_TRUE(tooltip());
    sim.mouseUp(p);
    EXPECT_FALSE(tooltip());
    EXPECT_EQ(taps, 1);

    sim.mouseMove(away);
    rest("Atlas");
    sim.rightClick(p);
    EXPECT_FALSE(tooltip());
    ASSERT_TRUE(windowing.openMenu());
    EXPECT_EQ(windowing.openMenu()->menu.titles(), (std::vector<std::string>{"Open", "-", "Unpin"}));
    EXPECT_TRUE(sim.pickMenuItem({"Unpin"}));
    EXPECT_FALSE(pinned);

    sim.mouseMove(away);
    rest("Atlas");
    sim.mouseDown(p, modifierflags::kControl);
    EXPECT_FALSE(tooltip());
    sim.mouseUp(p);
    EXPECT_EQ(taps, 1);
}

TEST_F(PinnedChipTooltipTest, AtEitherEdgeOfTheScreenItStaysEightPointsInside) {
    apps = {"Cartographer Professional Edition"};
    relayout();
    rest(apps[0]);
    ASSERT_TRUE(tooltip());
    EXPECT_EQ(tooltip()->frame().minX(), 8);
    sim.mouseMove(away);
    inset = kInfinity;
    relayout();
    rest(apps[0]);
    ASSERT_TRUE(tooltip());
    EXPECT_EQ(tooltip()->frame().maxX(), 1440 - 8);
}

TEST_F(PinnedChipTooltipTest, ClosingTwiceClosesOnce) {
    rest("Atlas");
    auto t = tooltip();
    ASSERT_TRUE(t);
    size_t closes = sim.callsNamed("NSWindow.close").size();
    t->close();
    t->close();
    sim.mouseMove(away);  // leaving afterwards finds it closed
    EXPECT_EQ(sim.callsNamed("NSWindow.close").size(), closes + 1);
    EXPECT_EQ(sim.callsNamed("NSWindow.orderOut").back().args.asNumberObject()->uint32Value(),
              t->windowNumber());
}

}  // namespace
}  // namespace qv
