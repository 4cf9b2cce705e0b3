#include <gtest/gtest.h>

#include "bar_views/BarMenu.h"
#include "bar_views/BarRowFixture.h"
#include "bar_views/MoveToGroups.h"

namespace qv {
namespace {

using SpaceInfo = SpaceWindows::SpaceInfo;
using BarMenuTest = testing::BarRowFixture;

// A pop-up that is open in a window of a given number, or not at all.
struct FakePopups : NoThumbnailPopups {
    uint32_t window = 0;
    bool isThumbnailPopupWindow(uint32_t n) const override { return window != 0 && n == window; }
    bool hasThumbnailPopup() const override { return window != 0; }
};

TEST(BarMenuRulesTest, RightPressesSuppressThumbnailsOutsideTheOpenPopUp) {
    const uint32_t none = 0, bar = 11;
    FakePopups popups;
    EXPECT_FALSE(rightPressSuppressesThumbnails(popups, none));  // nowhere of ours, nothing open
    EXPECT_TRUE(rightPressSuppressesThumbnails(popups, bar));
    popups.window = 42;
    EXPECT_FALSE(rightPressSuppressesThumbnails(popups, 42));  // inside the pop-up: the pop-up's
    EXPECT_TRUE(rightPressSuppressesThumbnails(popups, bar));
    EXPECT_TRUE(rightPressSuppressesThumbnails(popups, none));
}

TEST_F(BarMenuTest, TheMonitorPassesEveryRightPressOnAndIsReplacedWhenStartedAgain) {
    auto panel = Panel::make<Panel>(sim.platform().windowing, rt, Rect{0, 0, 600, 600},
                                    stylemask::kNonactivatingPanel);
    panel->orderFrontRegardless();
    int heard = 0;
    ContextMenuSuppressionMonitor monitor(sim.platform().windowing, [&](const Event& e) {
        EXPECT_EQ(e.type, EventType::rightMouseDown);
        ++heard;
    });
    monitor.start();
    monitor.start();
    EXPECT_EQ(windowing.monitorCount(), 1u);
    sim.rightClick({300, 300});
    sim.click({300, 300});
    EXPECT_EQ(heard, 1);
    monitor.stop();
    EXPECT_EQ(windowing.monitorCount(), 0u);
    // Refused by the system: no token, and nothing to remove later.
    windowing.setMonitorsRefused(true);
    monitor.start();
    EXPECT_FALSE(monitor.token());
}

// --- "Move to" targets ---

SpaceInfo desktop(const std::string& display, int64_t displayIndex, int64_t index, uint64_t id,
                  bool full = false) {
    return {displayIndex, display, index, id, full ? SpaceWindows::kFullScreenSpaceType : 0};
}

MoveToDisplayLookup lookup(std::map<std::string, int> numbers, std::map<std::string, std::string> names) {
    return {[numbers](const std::string& id) -> std::optional<int> {
                if (auto it = numbers.find(id); it != numbers.end()) return it->second;
                return std::nullopt;
            },
            [names](const std::string& id) -> std::optional<std::string> {
                if (auto it = names.find(id); it != names.end()) return it->second;
                return std::nullopt;
            }};
}

TEST(MoveToGroupsTest, DesktopsKeepTheNumbersTheSwitcherShows) {
    // Desktop 1, a full-screen app, desktop 2, desktop 3; the bar on desktop 2. Numbers count only
    // ordinary desktops, and count the bar's own before it is left out.
    std::vector<SpaceInfo> spaces = {desktop("A", 0, 0, 10), desktop("A", 0, 1, 11, true),
                                     desktop("A", 0, 2, 12), desktop("A", 0, 3, 13)};
    auto groups = moveToGroupsExcludingCurrentSpace(spaces, 12, lookup({{"A", 1}}, {{"A", "Built-in"}}));
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].spaces, (std::vector<MoveToSpaceEntry>{{10, "Desktop 1"}, {13, "Desktop 3"}}));
    EXPECT_EQ(groups[0].displayLabel, "Built-in");
    // Positions out of order on the display are put in order first.
    std::swap(spaces[0], spaces[3]);
    groups = moveToGroupsExcludingCurrentSpace(spaces, 10, {});
    EXPECT_EQ(groups[0].spaces, (std::vector<MoveToSpaceEntry>{{12, "Desktop 2"}, {13, "Desktop 3"}}));
}

}  // namespace
}  // namespace qv
