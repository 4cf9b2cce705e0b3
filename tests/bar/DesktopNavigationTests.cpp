#include <gtest/gtest.h>

#include "bar/DesktopNavigation.h"

namespace qv {
namespace {

using SpaceInfo = SpaceWindows::SpaceInfo;

SpaceInfo desk(int64_t display, int64_t index, uint64_t id, bool fullScreen = false) {
    return SpaceInfo{display, display == 0 ? "A" : "B", index, id, fullScreen ? 4 : 0};
}

TEST(DesktopNavigationTest, DesktopsAreNumberedByDisplayThenPositionWithoutFullScreenOnes) {
    // Two displays of three desktops, listed out of order, and a full-screen desktop on the first.
    const std::vector<SpaceInfo> spaces{desk(1, 2, 23),       desk(0, 0, 11), desk(1, 0, 21), desk(0, 1, 12),
                                        desk(0, 2, 90, true), desk(0, 3, 13), desk(1, 1, 22)};
    EXPECT_EQ(missionControlDesktopNumber(spaces, 11), 1);
    EXPECT_EQ(missionControlDesktopNumber(spaces, 13), 3);
    EXPECT_EQ(missionControlDesktopNumber(spaces, 22), 5);  // the second of the second display
    EXPECT_EQ(desktopSwitchHotKeyID(5), 122);
    EXPECT_EQ(missionControlDesktopNumber(spaces, 90), std::nullopt);
    EXPECT_EQ(missionControlDesktopNumber(spaces, 99), std::nullopt);
    EXPECT_EQ(desktopSwitchHotKeyID(1), 118);
    EXPECT_EQ(desktopSwitchHotKeyID(16), 133);
    EXPECT_EQ(desktopSwitchHotKeyID(17), std::nullopt);
    EXPECT_EQ(desktopSwitchHotKeyID(0), std::nullopt);
}

TEST(DesktopNavigationTest, ScrollingUpGoesToTheSideTheSettingNames) {
    struct Case {
        bool inverted;
        double deltaY;
        const char* setting;
        bool right;
    };
    // Without natural scrolling a positive delta is the upward gesture; with it, a negative one.
    const Case cases[] = {
        {false, 5, "right", true}, {false, -5, "right", false}, {false, 5, "left", false},
        {false, -5, "left", true}, {true, -5, "right", true},   {true, 5, "right", false},
        {true, -5, "left", false}, {true, 5, "left", true},     {false, 5, "up", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scrollSwitchGoesRight(c.deltaY, c.inverted, c.setting), c.right)
            << c.inverted << " " << c.deltaY << " " << c.setting;
}

TEST(DesktopNavigationTest, NeighboursAndKeyboardMovesStayOnTheWindowsDisplay) {
    const std::vector<SpaceInfo> spaces{desk(0, 0, 11), desk(0, 1, 12), desk(0, 2, 90, true), desk(1, 0, 21)};
    const std::vector<uint64_t> active{12, 21};
    EXPECT_EQ(adjacentSpace(spaces, active, 11, true), 90u);  // a full-screen neighbour counts
    EXPECT_EQ(adjacentSpace(spaces, active, 12, false), 11u);
    EXPECT_EQ(adjacentSpace(spaces, active, 21, true), std::nullopt);  // no wrap-around
    EXPECT_EQ(adjacentSpace(spaces, {11, 21}, 12, false), std::nullopt);
    // A switch under way counts from where it goes, on its own display only.
    EXPECT_EQ(adjacentSpace(spaces, {11, 21}, 11, true, 12), 90u);
    EXPECT_EQ(adjacentSpace(spaces, {11, 21}, 21, false, 12), std::nullopt);

    // Numbers count the desktops of the window's own display; the active one is its current.
    EXPECT_EQ(keyboardDesktopMove(spaces, {11, 12}, active, 1), (DesktopMove{12, 11}));
    EXPECT_EQ(keyboardDesktopMove(spaces, {12}, active, 2), std::nullopt);  // already there
    EXPECT_EQ(keyboardDesktopMove(spaces, {12}, active, 3), std::nullopt);  // past the last
    EXPECT_EQ(keyboardDesktopMove(spaces, {90}, active, 1), std::nullopt);  // on a full-screen one
    EXPECT_EQ(keyboardDesktopMove(spaces, {21}, active, 1), std::nullopt);
}

TEST(DesktopNavigationTest, ASwitchUnderWayEndsWhenItsDisplaysOwnChangeIsAnnouncedElsewhere) {
    // Display A shows 11 and switches to 12; display B shows 21.
    const std::vector<SpaceInfo> spaces{desk(0, 0, 11), desk(0, 1, 12), desk(0, 2, 13), desk(1, 0, 21),
                                        desk(1, 1, 22)};
    const std::vector<uint64_t> atStart{11, 21};
    EXPECT_TRUE(switchTakenOver(spaces, atStart, {11, 21}, 12));   // taken back to 11
    EXPECT_TRUE(switchTakenOver(spaces, atStart, {13, 21}, 12));   // taken on to 13
    EXPECT_FALSE(switchTakenOver(spaces, atStart, {11, 22}, 12));  // display B's change
    EXPECT_FALSE(switchTakenOver(spaces, atStart, {12, 21}, 12));  // landed: not taken over
}

TEST(DesktopNavigationTest, WindowsAreGrabbedOnTheTitleBarAndDroppedInsideTheOtherDisplay) {
    const Rect window{100, 200, 800, 600};
    EXPECT_EQ(dragGrabPoint(window, Rect{148, 206, 14, 14}), (Point{167, 205}));
    EXPECT_EQ(dragGrabPoint(window, std::nullopt), (Point{180, 205}));
    EXPECT_EQ(dragGrabPoint(Rect{100, 200, 90, 300}, std::nullopt), (Point{178, 205}));

    // The top-left corner lands 48 points into the visible area, the grab offset kept.
    const Rect visible{1440, 25, 1280, 775};
    EXPECT_EQ(crossDisplayDropPoint({{167, 205}, window}, visible), (Point{1555, 78}));
    // Offsets below 12 and 5 points count as 12 and 5; the release stays 12 points inside.
    EXPECT_EQ(crossDisplayDropPoint({{102, 201}, window}, visible), (Point{1500, 78}));
    EXPECT_EQ(crossDisplayDropPoint({{2000, 205}, Rect{100, 200, 3000, 600}}, visible), (Point{2708, 78}));
}

// The grab point was read from the application seconds before the press: it holds only while the
// window is still where it was read and nothing lies over the point.
TEST(DesktopNavigationTest, AGrabPointHoldsWhileItsWindowIsWhereItWasReadAndOnTop) {
    const DragGeometry read{{167, 205}, Rect{100, 200, 800, 600}};
    auto window = [](uint32_t id, Rect bounds, double alpha = 1) {
        return CGWindowInfo{Value::dictionary({{CGWindowKeys::windowNumber, Value::number(int64_t(id))},
                                               {CGWindowKeys::bounds, dictionaryFromRect(bounds)},
                                               {CGWindowKeys::alpha, Value::number(alpha)}})};
    };
    const auto elsewhere = window(9, Rect{1000, 0, 200, 200});
    EXPECT_TRUE(grabPointHolds({elsewhere, window(7, read.windowFrame)}, 7, read));
    EXPECT_TRUE(grabPointHolds({window(9, read.windowFrame, 0), window(7, read.windowFrame)}, 7, read))
        << "a window nobody sees takes no press";
    EXPECT_FALSE(grabPointHolds({window(9, Rect{150, 150, 300, 300}), window(7, read.windowFrame)}, 7, read));
    EXPECT_FALSE(grabPointHolds({window(7, Rect{110, 200, 800, 600})}, 7, read)) << "moved, still under";
    EXPECT_FALSE(grabPointHolds({elsewhere}, 7, read));
}

TEST(DesktopNavigationTest, AfterAChangeWhatIsPendingComesBeforeActivation) {
    using S = PostSwitchStep;
    auto step = [](auto change) {
        PostSwitchState s;
        s.anyVisibleWindow = true;
        change(s);
        return postSwitchStep(s);
    };
    EXPECT_EQ(step([](auto& s) { s.windowMoveDragLanded = true, s.fullscreenSwitchLanded = true; }),
              S::finishWindowMoveDrag);
    EXPECT_EQ(step([](auto& s) { s.windowMoveDragLanded = false, s.silicaMovePending = true; }),
              S::awaitWindowMoveDrag);
    EXPECT_EQ(step([](auto& s) { s.silicaMovePending = true, s.fullscreenSwitchLanded = true; }),
              S::leaveToSilicaMove);
    EXPECT_EQ(step([](auto& s) { s.fullscreenSwitchLanded = true; }), S::completeFullscreenSwitch);
    EXPECT_EQ(step([](auto& s) { s.fullscreenSwitchLanded = false, s.hasPreviousApp = true; }),
              S::dropFullscreenSwitch);
    EXPECT_EQ(step([](auto& s) { s.fullScreenDesktopActive = true, s.anyVisibleWindow = false; }),
              S::nothing);
    EXPECT_EQ(step([](auto& s) { s.anyVisibleWindow = false, s.hasPreviousApp = true; }), S::activateFinder);
    EXPECT_EQ(step([](auto&) {}), S::nothing);
    EXPECT_EQ(step([](auto& s) { s.hasPreviousApp = true, s.previousAppIsProgram = true; }),
              S::yieldToFinder);
    EXPECT_EQ(step([](auto& s) { s.hasPreviousApp = true, s.fullScreenDesktopActive = true; }),
              S::yieldToPreviousApp);
}

}  // namespace
}  // namespace qv
