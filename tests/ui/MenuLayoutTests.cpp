#include <gtest/gtest.h>

#include "sim/SimWindowing.h"
#include "support/SimDesktops.h"
#include "ui/MenuLayout.h"
#include "ui/SvgQuery.h"
#include "ui/SymbolDrawings.h"

namespace qv {
namespace {

// An item, a separator, and a submenu of a checked, dimmed item and another.
Menu sampleMenu() {
    MenuItem bar = MenuItem::button("Bar", [] {});
    bar.state = MenuItemState::on;
    bar.enabled = false;
    return {"",
            {MenuItem::button("Show Desktop", [] {}), MenuItem::separator(),
             MenuItem::sub("Pin to", Menu{"", {bar, MenuItem::button("App menu", [] {})}})}};
}

// A menu opens down and to the right of the pointer where it fits, up or to the left where it
// does not, and stays on the screen; a submenu stands beside its item, on the menu's left when
// the screen ends on its right.
TEST(MenuLayoutTest, MenusOpenWhereTheyFitAndSubmenusBesideTheirItem) {
    const Menu menu = sampleMenu();
    const Rect screen{0, 25, 1440, 875};
    const MenuLayout free = MenuLayout::contextMenu(menu, {100, 100}, screen);
    EXPECT_EQ(free.frame.origin, (Point{100, 100}));
    EXPECT_EQ(free.frame.height(),
              2 * MenuLayout::kPadding + 2 * MenuLayout::kRowHeight + MenuLayout::kSeparatorHeight);
    ASSERT_EQ(free.rows.size(), 3u);
    EXPECT_EQ(free.rows[2].frame.minY(),
              100 + MenuLayout::kPadding + MenuLayout::kRowHeight + MenuLayout::kSeparatorHeight);
    EXPECT_EQ(free.rowAt({110, free.rows[1].frame.midY()}), nullptr);  // a separator takes no pointer
    EXPECT_EQ(free.rowAt({110, free.rows[2].frame.midY()})->item->title, "Pin to");

    const MenuLayout corner = MenuLayout::contextMenu(menu, {1430, 890}, screen);
    EXPECT_EQ(corner.frame.maxX(), 1430);  // to the left of the pointer
    EXPECT_EQ(corner.frame.maxY(), 890);   // above it
    const MenuLayout tall = MenuLayout::contextMenu(menu, {100, 30}, {0, 25, 1440, 40});
    EXPECT_EQ(tall.frame.minY(), 25);  // taller than the screen: its top stays on it

    const MenuLayout right =
        MenuLayout::submenu(*menu.items[2].submenu, free.frame, free.rows[2].frame, screen);
    EXPECT_EQ(right.frame.minX(), free.frame.maxX() - 2);
    EXPECT_EQ(right.rows[0].frame.minY(), free.rows[2].frame.minY());
    const MenuLayout left =
        MenuLayout::submenu(*menu.items[2].submenu, corner.frame, corner.rows[2].frame, screen);
    EXPECT_EQ(left.frame.maxX(), corner.frame.minX() + 2);
    EXPECT_LE(left.frame.maxY(), screen.maxY());
}

using MenuPictureTest = testing::OneDesktop<>;

// A screenshot draws the open menu where it was opened, the submenu the pointer opens beside it
// with its check mark and dimmed item, and nothing once the menu has closed.
TEST_F(MenuPictureTest, ScreenshotsDrawTheOpenMenuAndTheSubmenuThePointerOpens) {
    sim.windowing().popUpContextMenu(sampleMenu(), {200, 700}, nullptr);  // 200 points below the top
    auto all = parseSvg(sim.renderSvg());
    const auto item = textIndex(all, "Show Desktop");
    ASSERT_TRUE(item);
    EXPECT_TRUE(textIndex(all, "Pin to"));
    EXPECT_FALSE(textIndex(all, "App menu"));
    EXPECT_EQ(all[all[*item].ancestors.back()].attr("transform"), "translate(200,200)");

    const Rect pinTo = sim.windowing().openMenus().at(0).layout.rows.at(2).frame;
    sim.mouseMove({pinTo.midX(), 900 - pinTo.midY()});
    all = parseSvg(sim.renderSvg());
    const auto dimmed = textIndex(all, "Bar"), other = textIndex(all, "App menu");
    ASSERT_TRUE(dimmed && other);
    EXPECT_LT(all[*dimmed].num("fill-opacity"), all[*other].num("fill-opacity"));
    const std::string check(symbols::drawing("checkmark")->stroke);
    EXPECT_TRUE(std::ranges::any_of(all, [&](const SvgElement& e) { return e.attr("d") == check; }));

    sim.windowing().dismissMenu();
    EXPECT_FALSE(textIndex(parseSvg(sim.renderSvg()), "Show Desktop"));
}

}  // namespace
}  // namespace qv
