#include <gtest/gtest.h>

#include "tiling/SnapRecords.h"
#include "tiling/WindowTilingController.h"

namespace qv {
namespace {

using C = WindowTilingController;
using Kind = C::DragClass::Kind;
using W = C::WindowSnapshot;

TEST(SnapRecordsTest, TheSixtyFifthWindowEvictsTheRecordStoredLongestAgoButAWindowWithOneReplacesOnlyItsOwn) {
    SnapRecords records;
    for (uint32_t id = 1; id <= 64; ++id) records.store(id, {{100, 100}, {0, 0, 10, 10}});
    records.store(1, {{200, 200}, {0, 0, 20, 20}});  // stored again: now the newest
    records.store(7, {{300, 300}, {0, 0, 30, 30}});
    EXPECT_EQ(records.size(), 64u);
    EXPECT_EQ(records.find(1)->naturalSize, (Size{200, 200}));

    records.store(65, {{1, 1}, {}});
    EXPECT_EQ(records.size(), 64u);
    EXPECT_FALSE(records.find(2));  // the oldest left
    EXPECT_TRUE(records.find(1));
    EXPECT_TRUE(records.find(65));
    EXPECT_TRUE(records.take(65));
    EXPECT_FALSE(records.find(65));
}

TEST(TilingRulesTest, APressOnTheMarginGrabsTheWindowsAroundItUpToTheOneUnderIt) {
    const std::vector<W> windows = {{1, 10, 0, {0, 0, 300, 300}},
                                    {2, 11, 0, {303, 0, 300, 300}},
                                    {3, 12, 0, {0, 0, 1000, 800}},
                                    {4, 13, 0, {0, 0, 1000, 800}}};
    // 3 pt right of window 1: its margin and window 2 beneath, which stops the walk.
    EXPECT_EQ(C::windowsGrabbed({303, 100}, windows, 2), (std::vector<W>{windows[0], windows[1]}));
    // A panel of ours over the point takes the press, unless the press went to an ordinary window.
    std::vector<W> withPanel = windows;
    withPanel.insert(withPanel.begin(), W{9, -1, 101, {250, 50, 100, 100}});
    EXPECT_TRUE(C::windowsGrabbed({303, 100}, withPanel, 9).empty());
    EXPECT_EQ(C::windowsGrabbed({303, 100}, withPanel, 2).size(), 2u);
    // Our own windows at the normal level are never grabbed.
    EXPECT_TRUE(C::windowsGrabbed({100, 100}, {W{5, -1, 0, {0, 0, 300, 300}}}, std::nullopt).empty());
}

TEST(TilingRulesTest, ADraggedEdgeCountsWithinTwelvePointsOfThePressAndAJumpIsNeverAResize) {
    const Rect old{100, 100, 600, 400};
    const Rect widerToTheLeft{80, 100, 620, 400};
    EXPECT_EQ(C::classifyDrag(old, widerToTheLeft, {88, 300}).kind, Kind::resize);  // 12 pt outside
    EXPECT_EQ(C::classifyDrag(old, widerToTheLeft, {87, 300}).kind, Kind::move);    // 13 pt: move test
    EXPECT_EQ(C::classifyDrag(old, widerToTheLeft, {100, 513}).kind, Kind::move);   // below the edge's reach
    // Only the size changed, the origin stayed: nothing to move either.
    EXPECT_EQ(C::classifyDrag(old, {100, 100, 640, 400}, {400, 300}).kind, Kind::ignored);
    // Both side edges moved: a jump, classified as a move with the new size.
    const auto jump = C::classifyDrag(old, {50, 100, 700, 400}, {100, 300});
    EXPECT_EQ(jump.kind, Kind::move);
    EXPECT_EQ(jump.naturalSize, (Size{700, 400}));
    // A plain move keeps the size it had; no change at all stays pending.
    EXPECT_EQ(C::classifyDrag(old, {150, 120, 600, 400}, {300, 110}).naturalSize, (Size{600, 400}));
    EXPECT_EQ(C::classifyDrag(old, old, {300, 110}).kind, Kind::pending);
}

TEST(TilingRulesTest, ResizeCandidatesAreLargeVisibleNormalWindowsOnTheDisplayOtherThanTheTarget) {
    C::Session session;
    session.target = {1, 10, 0, {0, 0, 720, 900}};
    session.windows = {session.target,
                       {2, 11, 0, {728, 0, 712, 900}},
                       {3, 11, 0, {740, 10, 50, 30}},     // too small
                       {4, 12, 0, {728, 0, 712, 900}},    // hidden behind window 2
                       {5, -1, 0, {0, 0, 200, 200}},      // ours
                       {6, 13, 0, {2000, 0, 500, 500}}};  // on another display
    const auto plan = C::makeResizePlan(session, {0, 0, 1440, 900});
    ASSERT_EQ(plan.candidates().size(), 1u);
    EXPECT_EQ(plan.candidates()[0].id, 2u);
    EXPECT_EQ(plan.target().id, 1u);
}

TEST(TilingRulesTest, TheNaturalSizeComesBackUnderThePointerAtTheSameGrab) {
    // Grabbed 25% across and 7 pt down a snapped half; the natural size centres on that grab.
    EXPECT_EQ(C::naturalSizeFrame({8, 33, 708, 822}, {185, 40}, {400, 300}, {800, 500}),
              (Rect{200, 293, 800, 500}));
    // A grab lower than the natural height allows keeps 8 pt of the window below the pointer.
    EXPECT_EQ(C::naturalSizeFrame({0, 0, 700, 800}, {350, 600}, {350, 600}, {400, 300}),
              (Rect{150, 308, 400, 300}));
}

TEST(TilingRulesTest, TheUsableFrameStopsAboveTheBarOnlyOnADisplayWithOne) {
    const Rect screen{0, 0, 1440, 900}, visible{0, 25, 1440, 875};
    EXPECT_EQ(C::usableFrame(screen, visible, 0), visible);
    EXPECT_EQ(C::usableFrame(screen, visible, 36), (Rect{0, 25, 1440, 838}));
    // A visible frame already above the bar (a Dock at the bottom) is kept.
    EXPECT_EQ(C::usableFrame(screen, {0, 25, 1440, 800}, 36), (Rect{0, 25, 1440, 800}));
}

}  // namespace
}  // namespace qv
