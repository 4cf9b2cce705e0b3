#include <gtest/gtest.h>

#include "bar_views/BarBackground.h"
#include "bar_views/ChipDecorations.h"
#include "bar_views/ChipView.h"
#include "bar_views/GroupedChipView.h"
#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

using Titles = std::vector<std::string>;

TEST(ChipRulesTest, TheBadgeReservesItsOverhangBesideTheIcon) {
    // s = 20: the badge is at least 12 wide and reaches 15 + 12 - 20 = 7 past the icon.
    EXPECT_EQ((IconWithBadge{nullptr, 20, "3"}.reservedBadgeWidth()), 9);
    EXPECT_EQ((IconWithBadge{nullptr, 20, std::nullopt}.reservedBadgeWidth()), 0);
    // A long text stops growing at two and a half sides (16 for s = 32).
    EXPECT_EQ((IconWithBadge{nullptr, 32, "123456789012"}.reservedBadgeWidth()),
              0.75 * 32 + 2.5 * 16 - 32 + 2);
    // A badge always reaches a quarter of the icon past it.
    EXPECT_GE((IconWithBadge{nullptr, 50, "1"}.reservedBadgeWidth()), 0.25 * 50 + 2);
}

TEST(ChipRulesTest, SymbolsTitlesAndFills) {
    EXPECT_EQ(displayNumberSymbol(0), "0.square.fill");
    EXPECT_EQ(displayNumberSymbol(50), "50.square.fill");
    EXPECT_EQ(displayNumberSymbol(51), "number.square.fill");
    EXPECT_EQ(displayNumberSymbol(-1), "number.square.fill");
    EXPECT_EQ(chipTitle(true, "Inbox", "Mail"), "Inbox");
    EXPECT_EQ(chipTitle(true, "", "Mail"), "Mail");
    EXPECT_EQ(chipTitle(false, "Inbox", "Mail"), "Mail");
    EXPECT_EQ(chipFillOpacity(false, true), 0.1);
    EXPECT_EQ(chipFillOpacity(false, false), 0.1);
    EXPECT_EQ(chipFillOpacity(true, true), 0.13);
    EXPECT_EQ(chipFillOpacity(true, false), 0.2);
}

TEST(ChipRulesTest, ThemesDressOnlyTheDarkBarAndReduceTransparencyReplacesThemAll) {
    using S = BarBackgroundStyle;
    for (BarTheme theme : kAllBarThemes) {
        EXPECT_EQ(barBackgroundStyle(true, ColorScheme::dark, theme), S::reduceTransparencyDark);
        EXPECT_EQ(barBackgroundStyle(true, ColorScheme::light, theme), S::reduceTransparencyLight);
        EXPECT_EQ(barBackgroundStyle(false, ColorScheme::light, theme), S::lightAdaptive);
    }
    EXPECT_EQ(barBackgroundStyle(false, ColorScheme::dark, BarTheme::frosted), S::frosted);
    EXPECT_EQ(barBackgroundStyle(false, ColorScheme::dark, BarTheme::longhorn), S::longhorn);
    EXPECT_EQ(barBackgroundStyle(false, ColorScheme::dark, BarTheme::aero), S::aero);
}

class ChipMenuTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    bool onBar = false, inMenu = true;
    Binding<bool> bar{[this] { return onBar; }, [this](bool v) { onBar = v; }};
    Binding<bool> appMenu{[this] { return inMenu; }, [this](bool v) { inMenu = v; }};
    std::function<void()> noop = [] {};
    ChipView chip{.windowing = sim.platform().windowing, .chip = {}, .metrics = {}};
    GroupedChipView group{.windowing = sim.platform().windowing, .group = {}, .metrics = {}};
    ChipMenuTest() { chip.chip.appName = group.group.appName = "Atlas"; }
};

TEST_F(ChipMenuTest, DividersStandOnlyBetweenPresentEntriesAndPinTogglesNeedCanPin) {
    EXPECT_TRUE(chip.contextMenu(1).items.empty());
    EXPECT_TRUE(group.contextMenu().items.empty());
    chip.onMinimize = chip.onClose = noop;
    EXPECT_EQ(chip.contextMenu(1).titles(), (Titles{"Minimize", "Close Window"}));
    chip.onMinimize = chip.onClose = nullptr;
    chip.pinToBar = group.pinToBar = bar;
    chip.pinToAppMenu = appMenu;
    EXPECT_EQ(chip.contextMenu(1).titles(), (Titles{"Pin to"}));
    chip.onQuitApp = group.onQuitApp = noop;
    EXPECT_EQ(chip.contextMenu(1).titles(), (Titles{"Quit Atlas", "-", "Pin to"}));
    EXPECT_EQ(group.contextMenu().titles(), (Titles{"Quit Atlas"}));  // one binding alone: no toggles
    group.pinToAppMenu = appMenu;
    EXPECT_EQ(group.contextMenu().titles(), (Titles{"Quit Atlas", "-", "Pin to"}));
    // The toggles show their bindings' values, and write them only when the app can be pinned.
    Menu menu = chip.contextMenu(1);
    EXPECT_FALSE(menu.find({"Pin to", "Bar"})->enabled);
    EXPECT_FALSE(menu.find({"Pin to", "App menu"})->enabled);
    EXPECT_EQ(menu.find({"Pin to", "App menu"})->state, MenuItemState::on);
    chip.canPin = true;
    chip.contextMenu(1).find({"Pin to", "Bar"})->action();
    EXPECT_TRUE(onBar);
    EXPECT_TRUE(inMenu);
    chip.pinToAppMenu = {};
    chip.onClose = noop;
    EXPECT_EQ(chip.contextMenu(1).titles(), (Titles{"Quit Atlas", "-", "Close Window"}));
}

TEST_F(ChipMenuTest, TheGroupSeparatorAndTheFocusEdgeFollowTheBarsLook) {
    group.usesLightBar = true;
    EXPECT_EQ(group.separatorOpacity(), 0.18);
    group.usesLightBar = false;
    EXPECT_EQ(group.separatorOpacity(), 0.3);
    EXPECT_EQ((ActiveChipEdge{.usesLightBar = true}.lineOpacity()), 0.5);
    EXPECT_EQ((ActiveChipEdge{.usesLightBar = false}.lineOpacity()), 0.35);
}

TEST_F(ChipMenuTest, MoveToListsOneDisplayDirectlyOnOneScreenOnly) {
    std::vector<uint64_t> moved;
    MoveToDisplayGroup display1{"UUID-1", "Display 1", 1, {{11, "Desktop 1"}, {13, "Desktop 3"}}};
    std::vector<MoveToDisplayGroup> groups = {display1};
    chip.moveToGroups = [&] { return groups; };
    EXPECT_TRUE(chip.contextMenu(1).items.empty());  // no callback, no entry
    chip.onMoveToSpace = [&](uint64_t id) { moved.push_back(id); };
    chip.onMinimize = noop;
    EXPECT_EQ(chip.contextMenu(1).titles(), (Titles{"Move to", "-", "Minimize"}));
    chip.contextMenu(1).find({"Move to", "Desktop 3"})->action();
    // Two screens: even one display gets its own submenu.
    Menu two = chip.contextMenu(2);
    EXPECT_EQ(two.find({"Move to", "  Display 1"})->symbolName, "1.square.fill");
    two.find({"Move to", "  Display 1", "Desktop 1"})->action();
    groups.push_back({"UUID-2", "Display 2", 2, {{21, "Desktop 4"}}});
    chip.contextMenu(1).find({"Move to", "  Display 2", "Desktop 4"})->action();
    EXPECT_EQ(moved, (std::vector<uint64_t>{13, 11, 21}));
    groups.clear();
    EXPECT_EQ(chip.contextMenu(1).titles(), (Titles{"Minimize"}));
}

}  // namespace
}  // namespace qv
