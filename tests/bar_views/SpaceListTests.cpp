#include <gtest/gtest.h>

#include "bar_views/BarRowFixture.h"
#include "bar_views/SpaceListPanel.h"
#include "bar_views/SpaceListPopover.h"
#include "bar_views/SpaceSwitcher.h"
#include "support/PreviewScreens.h"

namespace qv {
namespace {

// Desktops [1, a full-screen app, 2, 3] on one display, the bar model over them, and a medium bar
// whose switcher stands at its trailing end.
class SpaceListTest : public testing::BarRowFixture {
  protected:
    uint64_t full = sim.addSpace(display, kSimSpaceTypeFullScreen);
    uint64_t d2 = sim.addSpace(display);
    uint64_t d3 = sim.addSpace(display);
    int32_t viewer = sim.launchApp(std::string("com.example.viewer"), "Viewer");
    uint64_t barSpace = 0;
    std::optional<DesktopPosition> given;  // the model's position of the bar's desktop unless set
    std::vector<uint64_t> switches;

    void SetUp() override {
        sim.openWindow(viewer, "Slides", full);
        sim.openWindow(editor, "a", desk);
        sim.openWindow(editor, "b", desk);
        startModel();
        barSpace = d2;
        showBar([this] {
            return row(
                {Spacer(), SpaceSwitcher{.platform = sim.platform(),
                                         .viewModel = model,
                                         .metrics = metrics,
                                         .spaceID = barSpace,
                                         .position = position(),
                                         .onSwitchToSpace = [this](uint64_t id) { switches.push_back(id); }}
                               .body()});
        });
    }
    DesktopPosition position() const { return given.value_or(desktopPosition(*model, barSpace)); }
    Point button() const {
        const DrawOp* label = host->displayList().findText(std::to_string(number()));
        if (!label) {
            ADD_FAILURE() << "no switcher button";
            return {};
        }
        return onScreen({label->frame.midX(), label->frame.midY()});
    }
    // A click on the button, and the list's fade-in played out.
    void clickButton() {
        sim.click(button());
        rt.advance(1);
    }
    int number() const { return desktopPosition(*model, barSpace).number; }
    std::shared_ptr<SpaceListPanel> list() {
        for (auto& p : windowing.panels()) {
            if (auto l = std::dynamic_pointer_cast<SpaceListPanel>(p); l && l->isVisible()) return l;
        }
        return nullptr;
    }
    std::vector<std::string> texts(const std::shared_ptr<SpaceListPanel>& panel) {
        std::vector<std::string> out;
        for (const DrawOp* op : panel->contentView()->displayList().texts()) out.push_back(op->joinedText());
        return out;
    }
    Point rowOf(const std::shared_ptr<SpaceListPanel>& panel, const std::string& title) {
        for (const HitRegion& r : panel->contentView()->displayList().regions) {
            if (r.accessibilityLabel == title)
                return panel->convertToScreen({r.frame.midX(), r.frame.midY()});
        }
        ADD_FAILURE() << "no row " << title;
        return {};
    }
};

TEST_F(SpaceListTest, TheButtonCountsOrdinaryDesktopsOnly) {
    EXPECT_EQ(desktopPosition(*model, d2), (DesktopPosition{2, 3}));
    EXPECT_EQ(desktopPosition(*model, 999), (DesktopPosition{1, 1}));  // not in the model yet
    Point p = button();
    EXPECT_EQ(host->helpText(bar->convertFromScreen(p)), "Desktop 2 of 3");
    // The button shows the position it is given, and reads nothing else.
    given = DesktopPosition{4, 7};
    relayout();
    EXPECT_TRUE(host->displayList().findText("4"));
    EXPECT_EQ(host->helpText(bar->convertFromScreen(p)), "Desktop 4 of 7");
}

TEST_F(SpaceListTest, TheButtonTogglesTheListAndOutsidePressesCloseIt) {
    Point b = button();
    sim.click(b);
    auto first = list();
    ASSERT_TRUE(first);
    // A second click on the button closes it; a third opens a fresh one.
    sim.click(b);
    EXPECT_FALSE(list());
    EXPECT_TRUE(first->isClosed());
    clickButton();
    auto second = list();
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    // A click inside keeps it (on the header); a click elsewhere on the bar closes it.
    sim.click(second->convertToScreen({20, 12}));
    EXPECT_TRUE(list());
    sim.click(onScreen({200, 18}));
    EXPECT_FALSE(list());
    // A right click on the button closes it too; the next click opens again.
    sim.click(b);
    ASSERT_TRUE(list());
    sim.rightClick(b);
    EXPECT_FALSE(list());
    sim.click(b);
    EXPECT_TRUE(list());
    EXPECT_EQ(windowing.monitorCount(), 2u);
    // The switcher leaving the bar closes its list (formerly TheSwitcherLeavingTheBarClosesItsList).
    host->setRootView(std::make_shared<ClosureView>([] { return EmptyNode(); }));
    rt.runUntilIdle();
    EXPECT_FALSE(list());
}

TEST_F(SpaceListTest, ARowClosesTheListThenSwitchesOnTheNextTurn) {
    clickButton();
    auto panel = list();
    ASSERT_TRUE(panel);
    Point row = rowOf(panel, "Desktop 3");
    sim.mouseDown(row);
    sim.mouseUp(row);
    EXPECT_TRUE(panel->isClosed());
    EXPECT_TRUE(switches.empty());
    rt.runUntilIdle();
    EXPECT_EQ(switches, (std::vector<uint64_t>{d3}));
    EXPECT_EQ(windowing.monitorCount(), 0u);
}

TEST_F(SpaceListTest, RefusedMonitorsLeaveTheButtonAndRowsWorking) {
    windowing.setMonitorsRefused(true);
    Point b = button();
    sim.click(b);
    ASSERT_TRUE(list());
    EXPECT_EQ(list()->mouseMonitors()->localMonitor(), 0u);
    sim.click(b);
    EXPECT_FALSE(list());
    clickButton();
    auto panel = list();
    Point row = rowOf(panel, "Desktop 1");
    sim.click(row);
    EXPECT_FALSE(list());
    rt.runUntilIdle();
    EXPECT_EQ(switches, (std::vector<uint64_t>{desk}));
}

TEST_F(SpaceListTest, GrowingContentStopsEightBelowTheVisibleTop) {
    clickButton();
    auto panel = list();
    ASSERT_TRUE(panel);
    const double top = panel->screen()->visibleFrame.maxY();
    panel->updateHeight(5000);
    rt.advance(1);
    EXPECT_EQ(panel->frame().maxY(), top - 8);
    EXPECT_EQ(panel->frame().minY(), 44);
    panel->updateHeight(60);  // smaller than the first height is taken as it is
    rt.advance(1);
    EXPECT_EQ(panel->frame().height(), 60);
}

TEST(SpaceListRulesTest, RowTitlesHeaderAndPlacement) {
    using SpaceInfo = SpaceWindows::SpaceInfo;
    std::vector<SpaceInfo> desktops = {
        {0, "A", 0, 1, 0}, {0, "A", 1, 2, 4}, {0, "A", 2, 3, 0}, {0, "A", 3, 4, 4}};
    ChipData a, b;
    a.appName = "Atlas";
    b.appName = "Beacon";
    b.isFocused = true;
    auto rows = SpaceListPopover::buildRows(desktops, {{2, {a, b}}});
    std::vector<std::string> titles;
    for (const auto& r : rows) titles.push_back(r.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"Desktop 1", "Beacon", "Desktop 2", "Fullscreen"}));
    b.isFocused = false;
    EXPECT_EQ(SpaceListPopover::buildRows(desktops, {{2, {a, b}}})[1].title, "Atlas");

    EXPECT_EQ(SpaceListPopover::headerTitle(desktops, "Studio"), "Desktops");
    desktops.push_back({1, "B", 0, 9, 0});
    EXPECT_EQ(SpaceListPopover::headerTitle(desktops, "Studio"), "Studio");
    EXPECT_EQ(SpaceListPopover::headerTitle(desktops, std::nullopt), "Desktops");

    EXPECT_EQ(spaceListFirstHeight(1), 100);
    EXPECT_EQ(spaceListFirstHeight(3), 124);
    EXPECT_EQ(spaceListFirstHeight(10), 300);
    const Screen screen = testing::screenOf({0, 0, 1440, 900}, {0, 0, 1440, 875});
    EXPECT_EQ(spaceListFrame(20, 1, screen, BarSize::large), (Rect{8, 52, 180, 100}));  // not -70
    EXPECT_EQ(spaceListFrame(1440, 1, screen, BarSize::large).minX(), 1252);
}

}  // namespace
}  // namespace qv
