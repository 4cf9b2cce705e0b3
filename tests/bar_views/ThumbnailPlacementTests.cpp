#include <gtest/gtest.h>

#include "bar_views/PopupPlacement.h"
#include "bar_views/ThumbnailPlacement.h"
#include "previews/ThumbnailPopupShell.h"
#include "support/PreviewScreens.h"

namespace qv {
namespace {

using testing::screenOf;

DisplayItem single(uint32_t id) {
    ChipData chip;
    chip.id = id;
    return DisplayItem::single(chip);
}

TEST(ThumbnailPlacementTest, TheCentreIsTheReadingStrictlyNearerThePointer) {
    const Rect chip{100, 0, 80, 36};  // midX 140
    EXPECT_EQ(anchorXNearerPointer(chip, std::nullopt, {900, 10}), 140);
    // The bar's window starts at 1440 (a second display): the pointer is over the chip there.
    EXPECT_EQ(anchorXNearerPointer(chip, Rect{1440, 0, 1440, 36}, {1580, 10}), 1580);
    EXPECT_EQ(anchorXNearerPointer(chip, Rect{0, 0, 1440, 36}, {140, 10}), 140);
    // Equally near: the frame as reported.
    EXPECT_EQ(anchorXNearerPointer(chip, Rect{200, 0, 1440, 36}, {240, 10}), 140);
    // A mirror bar's switcher button centre is taken from its own window when nearer the click.
    EXPECT_EQ(anchorXNearerPointer({1300, 0, 30, 36}, Rect{1440, 0, 1440, 36}, {2755, 20}), 1440 + 1315);
}

TEST(ThumbnailPlacementTest, PopupsStandEightPointsAboveTheBarAndEightInsideTheScreen) {
    const Screen screen = screenOf({0, 0, 1440, 900}, {0, 0, 1440, 875});
    EXPECT_EQ(thumbnailPopupFrame(BarSize::medium, kSinglePopupWidth, 700, screen),
              (Rect{521, 44, 358, 336}));
    EXPECT_EQ(thumbnailPopupFrame(BarSize::xxl, kSinglePopupWidth, 700, screen).minY(), 74);
    EXPECT_EQ(thumbnailPopupFrame(BarSize::medium, kSinglePopupWidth, 20, screen).minX(), 8);
    EXPECT_EQ(thumbnailPopupFrame(BarSize::medium, kSinglePopupWidth, 1430, screen).maxX(), 1432);
    // Narrower than the pop-up and its margins: the left margin wins.
    const Screen narrow = screenOf({0, 0, 300, 900});
    EXPECT_EQ(thumbnailPopupFrame(BarSize::medium, kSinglePopupWidth, 150, narrow).minX(), 8);
    EXPECT_EQ(groupedThumbnailPopupWidth(3, screen), 1046);
    EXPECT_EQ(groupedThumbnailPopupWidth(10, screen), 1424);
}

TEST(ThumbnailPlacementTest, AHoverWarmsTheItemThenItsNeighbours) {
    GroupedChipData group;
    group.id = "group-a";
    group.windowIDs = {5, 6, 7};
    std::vector<DisplayItem> items{DisplayItem::group(group), single(9), single(11), single(12)};
    EXPECT_EQ(thumbnailPrefetchWindowIDs(items, "group-a"), (std::vector<uint32_t>{5, 6, 7, 9}));
    EXPECT_EQ(thumbnailPrefetchWindowIDs(items, "s-11"), (std::vector<uint32_t>{11, 9, 12}));
    EXPECT_EQ(thumbnailPrefetchWindowIDs(items, "s-12"), (std::vector<uint32_t>{12, 11}));
    EXPECT_TRUE(thumbnailPrefetchWindowIDs(items, "s-99").empty());
}

}  // namespace
}  // namespace qv
