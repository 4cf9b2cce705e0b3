#include <gtest/gtest.h>

#include "platform/Geometry.h"

namespace qv {
namespace {

TEST(GeometryTest, RectEdgesReadTheStandardisedRectangle) {
    Rect r{100, 50, -40, -20};
    EXPECT_EQ(r.minX(), 60);
    EXPECT_EQ(r.maxX(), 100);
    EXPECT_EQ(r.minY(), 30);
    EXPECT_EQ(r.maxY(), 50);
    EXPECT_EQ(r.width(), 40);
    EXPECT_EQ(r.area(), 800);
}

TEST(GeometryTest, RectanglesSharingOnlyAnEdgeDoNotIntersect) {
    Rect left{0, 0, 100, 100};
    EXPECT_FALSE(left.intersects(Rect{100, 0, 100, 100}));
    EXPECT_FALSE(left.intersects(Rect{0, 100, 100, 100}));
    EXPECT_TRUE(left.intersects(Rect{99.5, 0, 100, 100}));
    EXPECT_EQ(left.intersection(Rect{50, 50, 100, 100}), (Rect{50, 50, 50, 50}));
    EXPECT_EQ(left.intersection(Rect{200, 0, 10, 10}), Rect{});

    // Containment is half-open as well.
    Rect r{0, 0, 10, 10};
    EXPECT_TRUE(r.contains(Point{0, 0}));
    EXPECT_FALSE(r.contains(Point{10, 5}));
    EXPECT_TRUE(r.contains(Rect{2, 2, 8, 8}));
    EXPECT_FALSE(r.contains(Rect{2, 2, 9, 8}));
}

TEST(GeometryTest, FlipConvertsBetweenTopLeftAndBottomLeftSpaces) {
    // A 1920x1080 primary display and a second display standing above it.
    const double primaryMaxY = 1080;
    Rect primaryTopLeft{0, 0, 1920, 1080};
    Rect aboveTopLeft{0, -900, 1440, 900};
    EXPECT_EQ(flipVertically(primaryTopLeft, primaryMaxY), (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(flipVertically(aboveTopLeft, primaryMaxY), (Rect{0, 1080, 1440, 900}));

    // A window near the top of the primary display sits high in AppKit space.
    Rect window{100, 25, 800, 600};
    Rect appKit = flipVertically(window, primaryMaxY);
    EXPECT_EQ(appKit, (Rect{100, 455, 800, 600}));
    // The conversion is its own inverse.
    EXPECT_EQ(flipVertically(appKit, primaryMaxY), window);
    EXPECT_EQ(flipVertically(Point{5, 30}, primaryMaxY), (Point{5, 1050}));
}

TEST(GeometryTest, UnionIgnoresEmptyRectangles) {
    Rect a{0, 0, 10, 10};
    EXPECT_EQ(a.unionWith(Rect{}), a);
    EXPECT_EQ(a.unionWith(Rect{20, 20, 5, 5}), (Rect{0, 0, 25, 25}));
}

}  // namespace
}  // namespace qv
