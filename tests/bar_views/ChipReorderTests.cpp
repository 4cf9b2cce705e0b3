#include <gtest/gtest.h>

#include "bar_views/BarContentView.h"
#include "bar_views/ChipReorder.h"

namespace qv {
namespace {

using Ids = std::vector<std::string>;

// Three chips 100 wide, 10 apart: centres at 50, 160, 270.
ChipFrameMap threeChips() {
    return {{"a", Rect{0, 0, 100, 30}}, {"b", Rect{110, 0, 100, 30}}, {"c", Rect{220, 0, 100, 30}}};
}

DragValue dragBy(double dx, Point start = {50, 15}) {
    return {start, {start.x + dx, start.y}, {dx, 0}};
}

TEST(ChipReorderTest, TheInsertionPointIsTheFirstCentreStrictlyRightOfThePointer) {
    const Ids row = {"a", "b", "c"};
    const ChipFrameMap frames = threeChips();
    // a's centre moved to 160: exactly on b's centre, so a does not go before b... nor after c.
    EXPECT_EQ(reorder::insertionIndex("a", dragBy(110), row, frames, {}), 1);
    EXPECT_EQ(reorder::insertionIndex("a", dragBy(109), row, frames, {}), 0);
    EXPECT_EQ(reorder::insertionIndex("a", dragBy(300), row, frames, {}), 2);
    // The start snapshot wins over the live frames, which move under the preview offsets.
    ChipFrameMap moved = frames;
    moved["b"] = Rect{0, 0, 100, 30};
    moved["c"] = Rect{110, 0, 100, 30};
    EXPECT_EQ(reorder::insertionIndex("a", dragBy(111), row, frames, moved), 1);
    EXPECT_EQ(reorder::insertionIndex("a", dragBy(111), row, {}, moved), 2);
    // A chip without a frame is never the insertion point but keeps its index.
    ChipFrameMap noB = frames;
    noB.erase("b");
    EXPECT_EQ(reorder::insertionIndex("a", dragBy(20), row, noB, {}), 1);
    // Without a frame of its own, the pointer's location counts.
    ChipFrameMap noA = frames;
    noA.erase("a");
    EXPECT_EQ(reorder::insertionIndex("a", dragBy(0, {200, 15}), row, noA, {}), 1);
}

TEST(ChipReorderTest, PreviewOrderAndDropTargets) {
    const Ids row = {"a", "b", "c"};
    EXPECT_EQ(reorder::previewOrder("a", 1, row), (Ids{"b", "a", "c"}));
    EXPECT_EQ(reorder::previewOrder("a", 9, row), (Ids{"b", "c", "a"}));
    EXPECT_EQ(reorder::previewOrder("c", -3, row), (Ids{"c", "a", "b"}));
    EXPECT_EQ(reorder::chipDropTargetID("a", 1, row), "c");
    EXPECT_EQ(reorder::chipDropTargetID("a", 2, row), std::nullopt);
    EXPECT_EQ(reorder::chipDropTargetID("c", -1, row), "a");

    // Pins: x and y are pinned after the visible ones but hidden (their apps have windows).
    const Ids pins = {"a", "x", "b", "c", "y"};
    EXPECT_EQ(reorder::pinnedDropTargetAppID("a", 0, row, pins), "b");
    EXPECT_EQ(reorder::pinnedDropTargetAppID("a", 1, row, pins), "c");
    // Past the last visible pin: before the hidden pin that follows it, not at the end.
    EXPECT_EQ(reorder::pinnedDropTargetAppID("a", 2, row, pins), "y");
    EXPECT_EQ(reorder::pinnedDropTargetAppID("a", 2, row, {"a", "b", "c"}), std::nullopt);
    // Alone: itself, and nothing is committed since the order cannot change.
    EXPECT_EQ(reorder::pinnedDropTargetAppID("a", 1, {"a"}, pins), "a");
    EXPECT_EQ(reorder::nextPinnedAppIDAfterVisibleEnd("a", {}, pins), std::nullopt);
}

TEST(ChipReorderTest, OffsetsDuringADrag) {
    const Ids row = {"a", "b", "c"};
    const ChipFrameMap frames = threeChips();
    const Size t{130, 0};
    // a dragged past b (insertion 1): b steps left by a's width plus the spacing, c stays.
    EXPECT_EQ(reorder::chipOffset("a", row, "a", 1, t, frames, {}, 10), 130);
    EXPECT_EQ(reorder::chipOffset("b", row, "a", 1, t, frames, {}, 10), -110);
    EXPECT_EQ(reorder::chipOffset("c", row, "a", 1, t, frames, {}, 10), 0);
    // c dragged before a (insertion 0): a and b step right.
    EXPECT_EQ(reorder::chipOffset("a", row, "c", 0, t, frames, {}, 10), 110);
    EXPECT_EQ(reorder::chipOffset("b", row, "c", 0, t, frames, {}, 10), 110);
    // No frame of the dragged chip, no index, no drag, or a chip gone from the row: no offset.
    EXPECT_EQ(reorder::chipOffset("b", row, "z", 1, t, frames, {}, 10), 0);
    EXPECT_EQ(reorder::chipOffset("b", row, "a", std::nullopt, t, frames, {}, 10), 0);
    EXPECT_EQ(reorder::chipOffset("b", row, std::nullopt, 1, t, frames, {}, 10), 0);
    EXPECT_EQ(reorder::chipOffset("b", {"b", "c"}, "a", 0, t, frames, {}, 10), 0);

    // Pins move by whole slots: a third pin passed by the first moves one slot left.
    EXPECT_EQ(reorder::pinnedChipOffset("a", row, "a", 2, t, 41), 130);
    EXPECT_EQ(reorder::pinnedChipOffset("b", row, "a", 2, t, 41), -41);
    EXPECT_EQ(reorder::pinnedChipOffset("c", row, "a", 2, t, 41), -41);
    EXPECT_EQ(reorder::pinnedChipOffset("c", row, "a", 0, t, 41), 0);
}

TEST(ChipReorderTest, AFrameReportThatMovesNothingChangesNothing) {
    ChipFrameMap frames;
    EXPECT_TRUE(reorder::recordFrame(frames, "a", Rect{0, 0, 10, 10}));
    EXPECT_FALSE(reorder::recordFrame(frames, "a", Rect{0, 0, 10, 10}));
    // The later report of one id wins.
    EXPECT_TRUE(reorder::recordFrame(frames, "a", Rect{5, 0, 10, 10}));
    EXPECT_EQ(frames.at("a").minX(), 5);
}

TEST(BarContentInputsTest, TheScreenFilterAndThePinsShown) {
    EXPECT_EQ(BarContentView::screenFilter(false, 1), std::nullopt);
    EXPECT_EQ(BarContentView::screenFilter(true, 1), 1u);
    EXPECT_EQ(BarContentView::screenFilter(true, std::nullopt), std::nullopt);
    EXPECT_EQ(BarContentView::visiblePinned({"m", "n", "o"}, {"n", "z"}), (Ids{"m", "o"}));
}

}  // namespace
}  // namespace qv
