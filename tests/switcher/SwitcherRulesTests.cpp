#include <gtest/gtest.h>

#include "model/ShortcutRecording.h"
#include "support/PreviewScreens.h"
#include "switcher/SwitcherLayout.h"
#include "switcher/SwitcherRules.h"
#include "switcher/WindowSwitcherPanel.h"
#include "switcher/WindowSwitcherWindowSource.h"

namespace qv {
namespace {

using testing::screenOf;

SwitcherEntry entry(uint32_t id, bool minimized = false) {
    SwitcherEntry e;
    e.id = id;
    e.isMinimized = minimized;
    return e;
}

std::vector<uint32_t> ids(const std::vector<SwitcherEntry>& entries) {
    std::vector<uint32_t> out;
    for (const SwitcherEntry& e : entries) out.push_back(e.id);
    return out;
}

TEST(WindowRecencyTrackerTest, KeepsEachIdOnceMostRecentFirstWithinItsBound) {
    WindowRecencyTracker tracker;
    tracker.seedIfEmpty({1, 2, 3});
    tracker.record(3);
    EXPECT_EQ(tracker.order(), (std::vector<uint32_t>{3, 1, 2}));
    tracker.seedIfEmpty({9});  // not empty: left alone
    EXPECT_EQ(tracker.order(), (std::vector<uint32_t>{3, 1, 2}));
    for (uint32_t id = 100; id < 100 + 513; ++id) tracker.record(id);
    EXPECT_EQ(tracker.order().size(), 512u);
    EXPECT_EQ(tracker.order().front(), 612u);
    tracker.prune({});
    EXPECT_TRUE(tracker.order().empty());

    std::vector<uint32_t> many(600);
    for (uint32_t i = 0; i < 600; ++i) many[i] = i;
    tracker.seedIfEmpty(many);
    EXPECT_EQ(tracker.order().size(), 512u);
    EXPECT_EQ(tracker.order().back(), 511u);
}

TEST(SwitcherOrderTest, RecentWindowsLeadAndOthersSlotInByStacking) {
    // A and B in history; C is not, and stands between B (front) and A (back) in the stack.
    WindowRecencyTracker recency;
    recency.seedIfEmpty({1, 2});  // A = 1, B = 2
    const std::map<uint32_t, int> stack = {{3, 3}, {1, 5}, {2, 1}};
    auto ordered = switcherOrder({entry(1), entry(2), entry(3)}, recency.order(), stack, std::nullopt);
    EXPECT_EQ(ids(ordered), (std::vector<uint32_t>{3, 1, 2}));

    // Minimised windows come after all others; the focused one moves to the front.
    ordered = switcherOrder({entry(9, true), entry(1), entry(2), entry(3)}, recency.order(), stack, 2);
    EXPECT_EQ(ids(ordered), (std::vector<uint32_t>{2, 3, 1, 9}));

    // Windows outside the history keep their stacking order among themselves.
    WindowRecencyTracker one;
    one.seedIfEmpty({1});
    ordered =
        switcherOrder({entry(1), entry(4), entry(5)}, one.order(), {{1, 10}, {4, 2}, {5, 1}}, std::nullopt);
    EXPECT_EQ(ids(ordered), (std::vector<uint32_t>{5, 4, 1}));
    // Without a stack index an entry goes last.
    ordered = switcherOrder({entry(6), entry(1)}, one.order(), {{1, 0}}, std::nullopt);
    EXPECT_EQ(ids(ordered), (std::vector<uint32_t>{1, 6}));
}

TEST(SwitcherLayoutTest, TheWorkedExampleBalancesColumnsScrollsBeyondTheRoomAndNeverClamps) {
    const Screen screen = screenOf(Rect{0, 0, 1440, 875});
    SwitcherLayout seven = SwitcherMetrics::layout(7, screen, BarSize::medium);
    EXPECT_EQ(seven.columns, 4);
    EXPECT_FALSE(seven.scrolls);
    EXPECT_EQ(seven.gridHeight, 404);
    EXPECT_EQ(seven.frame, (Rect{264, 218, 912, 439}));  // 720 - 456, 437.5 - 219.5

    SwitcherLayout fifteen = SwitcherMetrics::layout(15, screen, BarSize::medium);
    EXPECT_EQ(fifteen.columns, 5);
    EXPECT_FALSE(fifteen.scrolls);
    EXPECT_EQ(fifteen.frame.size, (Size{1136, 633}));

    SwitcherLayout sixteen = SwitcherMetrics::layout(16, screen, BarSize::medium);
    EXPECT_EQ(sixteen.columns, 4);
    EXPECT_TRUE(sixteen.scrolls);
    EXPECT_EQ(sixteen.gridHeight, 598);
    EXPECT_EQ(sixteen.frame.size, (Size{912, 633}));

    for (int count : {0, 1, -3}) {
        SwitcherLayout single = SwitcherMetrics::layout(count, screen, BarSize::medium);
        EXPECT_EQ(single.columns, 1);
        EXPECT_EQ(single.frame.size, (Size{240, 245}));
    }
    // The header follows the bar size, and a tall header costs a row.
    EXPECT_EQ(SwitcherMetrics::layout(7, screen, BarSize::xxl).frame.height(), 451);
    EXPECT_EQ(SwitcherMetrics::layout(15, screenOf({0, 0, 1440, 750}), BarSize::medium).gridHeight, 598);
    EXPECT_EQ(SwitcherMetrics::layout(15, screenOf({0, 0, 1440, 750}), BarSize::xxl).gridHeight, 404);

    // Never clamped (formerly NeverClampsAndRoundsHalvesAwayFromZero): 200 wide, one card, wider
    // than the display, still centred on it.
    SwitcherLayout narrow = SwitcherMetrics::layout(3, screenOf({0, 0, 200, 900}), BarSize::medium);
    EXPECT_EQ(narrow.columns, 1);
    EXPECT_EQ(narrow.frame.width(), 240);
    EXPECT_EQ(narrow.frame.minX(), -20);
    // Halves round away from zero: midX - 120 = 100.5 and -100.5.
    auto minX = [](Rect visible) {
        return SwitcherMetrics::layout(1, screenOf(visible), BarSize::medium).frame.minX();
    };
    EXPECT_EQ(minX({0.5, 0, 440, 900}), 101);
    EXPECT_EQ(minX({-441.5, 0, 440, 900}), -342);
    EXPECT_EQ(minX({-0.5, 0, 40, 900}), -101);
}

TEST(WindowSwitcherModelTest, TheSelectedEntryExistsOnlyInRange) {
    WindowSwitcherModel model;
    EXPECT_FALSE(model.selectedEntry());
    model.entries = std::vector<SwitcherEntry>{entry(4), entry(5)};
    EXPECT_EQ(model.selectedEntry()->id, 4u);
    model.selectedIndex = -1;
    EXPECT_FALSE(model.selectedEntry());
    model.selectedIndex = 2;
    EXPECT_FALSE(model.selectedEntry());

    model.selectedIndex = 1;
    SwitcherHeader header = SwitcherHeader::of(model);
    EXPECT_EQ(header.subtitle, "2 of 2");
    model.entries = std::vector<SwitcherEntry>{entry(4)};
    model.selectedIndex = 0;
    EXPECT_FALSE(SwitcherHeader::of(model).subtitle);
    EXPECT_EQ(WindowSwitcherView::rowID(6, 4), "row-4");
    EXPECT_EQ(WindowSwitcherView::rowID(3, 0), "row-3");
}

TEST(WindowSwitcherControllerRulesTest, ABadShortcutFallsBackToOptionTab) {
    EXPECT_EQ(switcherTrigger({48, 0x800}), (SwitcherTrigger{48, 0x80000}));
    EXPECT_EQ(switcherTrigger({49, 0x100 | 0x1000 | 0x4000}), (SwitcherTrigger{49, 0x100000 | 0x40000}));
    EXPECT_EQ(switcherTrigger({48, 0x800 | 0x200}), SwitcherTrigger{});  // Shift
    EXPECT_EQ(switcherTrigger({53, 0x100}), SwitcherTrigger{});          // Escape
    EXPECT_EQ(switcherTrigger({12, 0}), SwitcherTrigger{});              // no modifier
}

TEST(WindowSwitcherControllerRulesTest, SelectionStartsPastTheFocusedWindowAndMovesByItsRules) {
    EXPECT_EQ(initialSelection(1, false, 5, 5), 0);
    EXPECT_EQ(initialSelection(3, false, 5, 5), 1);
    EXPECT_EQ(initialSelection(3, false, 6, 5), 0);
    EXPECT_EQ(initialSelection(3, false, std::nullopt, 5), 0);
    EXPECT_EQ(initialSelection(3, true, 5, 5), 2);

    EXPECT_EQ(movedSelection(0, -1, 5, true), 4);
    EXPECT_EQ(movedSelection(4, 1, 5, true), 0);
    EXPECT_EQ(movedSelection(2, -4, 7, false), 0);  // up with no card above
    EXPECT_EQ(movedSelection(5, 4, 7, false), 6);   // down with no card below
    EXPECT_EQ(movedSelection(1, 4, 7, false), 5);

    std::vector<SwitcherEntry> entries = {entry(1), entry(2, true), entry(3), entry(4)};
    EXPECT_EQ(captureOrder(entries, 2), (std::vector<uint32_t>{3, 4, 1}));
    EXPECT_EQ(captureOrder(entries, 9), (std::vector<uint32_t>{4, 1, 3}));
}

TEST(WindowSwitcherControllerRulesTest, RecordingIsANumberAndPointsFlipOnThePrimaryScreen) {
    EXPECT_TRUE(isShortcutRecording(Notification{"n", {}, Value::number(NumberObject::ofBool(true))}));
    EXPECT_FALSE(isShortcutRecording(Notification{"n", {}, Value::number(0)}));
    EXPECT_FALSE(isShortcutRecording(Notification{"n", {}, Value::string("true")}));

    Screen side = screenOf({1920, 0, 1440, 900});
    side.deviceDescription = Value::dictionary({{"NSScreenNumber", Value::number(2u)}});
    Screen main = screenOf({0, 0, 1920, 1080});
    main.deviceDescription = Value::dictionary({{"NSScreenNumber", Value::number(1u)}});
    EXPECT_EQ(windowServerPoint({10, 80}, {side, main}, 1), (Point{10, 1000}));
    EXPECT_EQ(windowServerPoint({10, 80}, {side, main}, 7), (Point{10, 820}));
    EXPECT_EQ(windowServerPoint({10, 80}, {}, 1), (Point{10, -80}));
}

}  // namespace
}  // namespace qv
