#include <gtest/gtest.h>

#include "platform/ui/MenuLayout.h"

namespace qv {
namespace {

// A menu opens down and to the right of the pointer where it fits, up or to the left where it
// does not, and stays on the screen; a submenu stands beside its item, on the menu's left when
// the screen ends on its right.
TEST(MenuLayoutTest, MenusOpenWhereTheyFitAndSubmenusBesideTheirItem) {
    Menu menu{"",
              {MenuItem::button("Show Desktop", [] {}), MenuItem::separator(),
               MenuItem::sub("Move to", Menu{"", {MenuItem::button("Desktop 2", [] {})}})}};
    const Rect screen{0, 25, 1440, 875};
    const MenuLayout free = MenuLayout::contextMenu(menu, {100, 100}, screen);
    EXPECT_EQ(free.frame.origin, (Point{100, 100}));
    EXPECT_EQ(free.frame.height(),
              2 * MenuLayout::kPadding + 2 * MenuLayout::kRowHeight + MenuLayout::kSeparatorHeight);
    ASSERT_EQ(free.rows.size(), 3u);
    EXPECT_EQ(free.rows[2].frame.minY(),
              100 + MenuLayout::kPadding + MenuLayout::kRowHeight + MenuLayout::kSeparatorHeight);
    EXPECT_EQ(free.rowAt({110, free.rows[1].frame.midY()}), nullptr);  // a separator takes no pointer
    EXPECT_EQ(free.rowAt({110, free.rows[2].frame.midY()})->item->title, "Move to");

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

}  // namespace
}  // namespace qv
