#include <gtest/gtest.h>

#include "tiling/SnapLayout.h"

namespace qv {
namespace {

SnapFlyoutMetrics metricsFor(double width, double height) {
    double aspect = width / std::max(height, 1.0);
    return SnapFlyoutMetrics(SnapLayout::presets(aspect, width), aspect);
}

TEST(SnapLayoutTest, LayoutsAndFlyoutSizesForEveryDisplayShape) {
    struct Case {
        double width, height;
        size_t layouts;
        Size tile, flyout;
    };
    for (const Case& c : {Case{1440, 824, 5, {76, 43}, {264, 114}}, Case{2560, 1370, 6, {76, 41}, {264, 110}},
                          Case{3440, 1380, 6, {76, 32}, {264, 92}}, Case{1000, 1000, 4, {76, 76}, {264, 180}},
                          Case{1080, 1850, 5, {47, 81}, {177, 190}}}) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        auto m = metricsFor(c.width, c.height);
        EXPECT_EQ(m.layouts.size(), c.layouts);
        EXPECT_EQ(m.thumbnailSize, c.tile);
        EXPECT_EQ(m.size, c.flyout);
        EXPECT_EQ(m.columns, 3);
    }
    // A short last row is centred.
    EXPECT_EQ(metricsFor(1440, 824).tileFrame(3).minX(), 52);
    EXPECT_EQ(metricsFor(1000, 1000).tileFrame(3).minX(), 94);

    // The aspect bounds: 0.9 already nearly square, 1.2 already landscape; 2.0 and 1900 wide count.
    EXPECT_EQ(SnapLayout::presets(0.9, 900).size(), 4u);
    EXPECT_EQ(SnapLayout::presets(0.8999, 900).size(), 5u);
    EXPECT_EQ(SnapLayout::presets(1.2, 1200), SnapLayout::presets(1.5, 1200));
    EXPECT_EQ(SnapLayout::presets(2.0, 1000).size(), 6u);
    EXPECT_EQ(SnapLayout::presets(1.5, 1900).size(), 6u);
    EXPECT_EQ(SnapLayout::presets(1.5, 1899).size(), 5u);

    // The zone after two thirds ends exactly at the far edge.
    for (const SnapLayout& layout : SnapLayout::presets(0.5, 1000)) {
        for (const Rect& z : layout.zones) EXPECT_LE(z.maxY(), 1.0);
    }
    EXPECT_EQ(SnapLayout::presets(1.5, 1000)[1].zones[1].maxX(), 1.0);
    EXPECT_GT(SnapLayout::presets(1.5, 1000)[1].zones[1].width(), 1.0 / 3);
}

TEST(SnapLayoutTest, ThePointerHitsTheZoneWhoseMinimumEdgeItIsOn) {
    auto m = metricsFor(1440, 824);
    // Tile 0 is (10, 10, 76, 43); inside its 1.5 pt rim the halves meet at x = 48.
    EXPECT_EQ(m.zone({48, 20}), (SnapFlyoutMetrics::ZoneID{0, 1}));
    EXPECT_EQ(m.zone({47.9, 20}), (SnapFlyoutMetrics::ZoneID{0, 0}));
    EXPECT_EQ(m.zone({11.5, 11.5}), (SnapFlyoutMetrics::ZoneID{0, 0}));
    EXPECT_FALSE(m.zone({10.5, 20}));  // the rim
    EXPECT_FALSE(m.zone({85, 20}));    // the far rim: a maximum edge belongs to no zone
    EXPECT_FALSE(m.zone({90, 20}));    // the gap between tiles
    // The quarters of the fifth layout, in the centred second row.
    Rect quarters = m.tileFrame(4);
    EXPECT_EQ(m.zone({quarters.maxX() - 3, quarters.maxY() - 3}), (SnapFlyoutMetrics::ZoneID{4, 3}));
    EXPECT_FALSE(SnapFlyoutMetrics({}, 1.5).zone({20, 20}));
}

TEST(SnapLayoutTest, ZoneFramesAreRoundedThenPulledInByHalfTheMargin) {
    const Rect usable{0, 38, 1440, 824};
    auto frame = [&](Rect zone, double margin) { return SnapLayout::frame(zone, usable, margin); };
    auto landscape = SnapLayout::presets(1440.0 / 824, 1440);
    EXPECT_EQ(frame(landscape[0].zones[0], 8), (Rect{8, 46, 708, 808}));
    EXPECT_EQ(frame(landscape[0].zones[1], 8), (Rect{724, 46, 708, 808}));
    EXPECT_EQ(frame(landscape[2].zones[0], 8), (Rect{8, 46, 471, 808}));
    EXPECT_EQ(frame(landscape[2].zones[1], 8), (Rect{487, 46, 466, 808}));
    EXPECT_EQ(frame(landscape[2].zones[2], 8), (Rect{961, 46, 471, 808}));
    EXPECT_EQ(frame({0, 0, 1, 1}, 8), (Rect{8, 46, 1424, 808}));
    EXPECT_EQ(frame(landscape[0].zones[0], 0), (Rect{0, 38, 720, 824}));
    EXPECT_EQ(frame(landscape[0].zones[1], 0), (Rect{720, 38, 720, 824}));
    // Halves of a point round away from zero.
    EXPECT_EQ(SnapLayout::frame({0, 0, 0.5, 1}, Rect{0, 0, 1001, 100}, 0).width(), 501);
}

}  // namespace
}  // namespace qv
