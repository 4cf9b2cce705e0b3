#include <gtest/gtest.h>

#include "launcher/AppListItem.h"

namespace qv {
namespace {

AppListItem app(const std::string& id, AppListSection section = AppListSection::main) {
    return AppListItem::appRow({id, id, "/Applications/" + id + ".app", nullptr}, section);
}

TEST(AppListTest, ArrowsMoveOverAppRowsOnlyWithoutWrapping) {
    const std::vector<AppListItem> items{AppListItem::topSpacer(),
                                         AppListItem::sectionHeader("Pinned"),
                                         app("a", AppListSection::pinned),
                                         AppListItem::divider(),
                                         app("a"),
                                         app("b")};
    EXPECT_EQ(nextAppRow(items, std::nullopt), 2u);
    EXPECT_EQ(previousAppRow(items, std::nullopt), 5u);
    EXPECT_EQ(nextAppRow(items, 2), 4u);  // over the divider
    EXPECT_EQ(nextAppRow(items, 5), std::nullopt);
    EXPECT_EQ(previousAppRow(items, 2), std::nullopt);
    EXPECT_EQ(nextAppRow(items, 1), 2u);  // from a header a right click selected
    EXPECT_EQ(nextAppRow({}, std::nullopt), std::nullopt);
    EXPECT_EQ(rowTop(items, 4), 4 + 28 + 36 + 14);
    EXPECT_EQ(appAt(items, 3), std::nullopt);

    // Reloading: only kinds, titles, ids and sections count.
    auto renamed = items;
    renamed[4].app.name = "Another";
    renamed[4].app.path = "/elsewhere";
    EXPECT_TRUE(itemsEqual(items, renamed));
    renamed[4].section = AppListSection::pinned;
    EXPECT_FALSE(itemsEqual(items, renamed));
    EXPECT_FALSE(itemsEqual(items, {items.begin(), items.end() - 1}));
}

TEST(AppListTest, APinDragPreviewsTheNewOrderAndStoresBeforeTheRightNeighbour) {
    const std::vector<AppListItem> items{AppListItem::topSpacer(),
                                         AppListItem::sectionHeader("Pinned"),
                                         app("a", AppListSection::pinned),
                                         app("b", AppListSection::pinned),
                                         app("c", AppListSection::pinned),
                                         AppListItem::divider(),
                                         app("a")};
    const std::vector<std::string> ids{"a", "b", "c"};
    EXPECT_EQ(pinnedAppIDs(items), ids);
    EXPECT_EQ(pinnedAppRow("a", items), 2u);
    // Rows of b and c have their middles at 86 and 122.
    EXPECT_EQ(pinnedInsertionIndex(ids, "a", items, 85), 0u);
    EXPECT_EQ(pinnedInsertionIndex(ids, "a", items, 86), 1u);
    EXPECT_EQ(pinnedInsertionIndex(ids, "a", items, 500), 2u);
    EXPECT_EQ(pinnedPreviewOrder("a", 9, ids), (std::vector<std::string>{"b", "c", "a"}));
    auto moved = itemsByReplacingPinnedOrder(items, {"b", "c", "a"});
    EXPECT_EQ(pinnedAppIDs(moved), (std::vector<std::string>{"b", "c", "a"}));
    EXPECT_EQ(moved[6].app.id, "a") << "the main section stays";

    // Stored before the app now shown after it; dropped last, right after the last pin shown, so
    // that pins the list does not show keep their places.
    const std::vector<std::string> stored{"a", "b", "hidden", "c", "later"};
    EXPECT_EQ(pinnedDropTargetAppID("c", {"c", "a", "b"}, stored), "a");
    EXPECT_EQ(pinnedDropTargetAppID("a", {"b", "c", "a"}, stored), "later");
    EXPECT_EQ(pinnedDropTargetAppID("a", {"b", "c", "a"}, {"a", "b", "c"}), std::nullopt);
    EXPECT_EQ(pinnedDropTargetAppID("a", {"a"}, stored), std::nullopt);
    EXPECT_EQ(pinnedDropTargetAppID("x", {"a", "b"}, stored), std::nullopt);
}

}  // namespace
}  // namespace qv
