#include <gtest/gtest.h>

#include "tiling/AdjacentResizePlan.h"

namespace qv {
namespace {

using Edge = AdjacentResizePlan::Edge;
using W = AdjacentResizePlan::Window;

// The followers' frames once the target's frame changed to `now`.
std::unordered_map<uint32_t, Rect> follow(W target, std::vector<W> others, Rect now,
                                          std::vector<Edge> moved) {
    AdjacentResizePlan plan(target, std::move(others));
    plan.addDividers(moved);
    return plan.frames(now);
}

TEST(AdjacentResizePlanTest, WindowsAcrossADraggedEdgeFollowIt) {
    const W leftHalf{1, 10, {0, 0, 720, 900}};
    const W rightHalf{2, 20, {728, 0, 712, 900}};
    const W tooFar{3, 30, {745, 100, 600, 600}};  // 25 pt away
    auto frames = follow(leftHalf, {rightHalf, tooFar, leftHalf}, {0, 0, 800, 900}, {Edge::right});
    EXPECT_EQ(frames, (std::unordered_map<uint32_t, Rect>{{2, {808, 0, 632, 900}}}));

    // Two windows stacked on the right both face the edge.
    frames = follow(leftHalf, {{4, 40, {728, 0, 712, 450}}, {5, 50, {728, 458, 712, 442}}}, {0, 0, 760, 900},
                    {Edge::right});
    EXPECT_EQ(frames.at(4), (Rect{768, 0, 672, 450}));
    EXPECT_EQ(frames.at(5), (Rect{768, 458, 672, 442}));

    // A quarter under the target follows on the same side because the right half faces it too.
    const W topLeft{6, 60, {0, 0, 720, 450}};
    const W bottomLeft{7, 70, {0, 458, 720, 442}};
    AdjacentResizePlan plan(topLeft, {bottomLeft, rightHalf});
    plan.addDividers({Edge::right});
    EXPECT_EQ(plan.frames({0, 0, 760, 450}),
              (std::unordered_map<uint32_t, Rect>{{2, {768, 0, 672, 900}}, {7, {0, 458, 760, 442}}}));
    EXPECT_EQ(plan.followers(), (std::vector<W>{bottomLeft, rightHalf}));
    // With nothing across the edge, nothing follows, though the quarter lines up.
    EXPECT_TRUE(follow(topLeft, {bottomLeft}, {0, 0, 760, 450}, {Edge::right}).empty());

    // Once recorded, an edge keeps its members; a move under half a point changes nothing.
    plan.addDividers({Edge::right, Edge::bottom});
    EXPECT_EQ(plan.dividers().size(), 2u);
    EXPECT_TRUE(plan.frames({0, 0, 720.4, 450}).empty());
}

TEST(AdjacentResizePlanTest, TheBoundsOfGapAlignmentAndOverlapCount) {
    const W target{1, 10, {0, 0, 720, 900}};
    auto followsRight = [&](Rect other) {
        return !follow(target, {{2, 20, other}}, {0, 0, 740, 900}, {Edge::right}).empty();
    };
    EXPECT_TRUE(followsRight({736, 0, 500, 900}));     // a gap of exactly 16
    EXPECT_FALSE(followsRight({736.5, 0, 500, 900}));  // 16.5
    EXPECT_TRUE(followsRight({717, 0, 500, 900}));     // 3 into the target
    EXPECT_FALSE(followsRight({716.5, 0, 500, 900}));
    EXPECT_TRUE(followsRight({728, 540, 500, 900}));  // overlap 360 = 0.4 of 900
    EXPECT_FALSE(followsRight({728, 541, 500, 900}));
    EXPECT_FALSE(followsRight({728, 100, 500, 0}));  // no height never overlaps

    // Alignment within 3 pt on the same side, when something faces it.
    const W facing{3, 30, {728, 0, 712, 1008}};
    auto sameSide = [&](double belowMaxX) {
        AdjacentResizePlan plan(target, {{4, 40, {0, 908, belowMaxX, 100}}, facing});
        return plan.members(Edge::right).sameSide;
    };
    EXPECT_EQ(sameSide(723).size(), 1u);
    EXPECT_TRUE(sameSide(723.5).empty());
}

TEST(AdjacentResizePlanTest, AWindowIsHiddenWhenOnlyThinStripsShowAroundWhatIsInFront) {
    const Rect window{100, 100, 400, 300};
    EXPECT_FALSE(AdjacentResizePlan::isHidden(window, {}));
    EXPECT_TRUE(AdjacentResizePlan::isHidden(window, {{116, 0, 1000, 1000}}));  // a 16 pt strip shows
    EXPECT_FALSE(AdjacentResizePlan::isHidden(window, {{117, 0, 1000, 1000}}));
    // Two windows that together leave a 17 x 17 corner.
    EXPECT_FALSE(AdjacentResizePlan::isHidden(window, {{100, 100, 400, 283}, {100, 383, 383, 17}}));
    EXPECT_TRUE(AdjacentResizePlan::isHidden(window, {{100, 100, 400, 283}, {100, 383, 384, 17}}));
    EXPECT_FALSE(AdjacentResizePlan::isHidden(window, {{600, 600, 50, 50}}));
}

}  // namespace
}  // namespace qv
