#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "platform/Geometry.h"
#include "tracking/CGWindowInfo.h"
#include "tracking/SpaceWindows.h"

namespace qv {

// The decisions of switching desktops and carrying windows between them, apart from the platform.
// Desktops are the window server's listing, in display then desktop order; points and frames are
// in the window server's space (origin at the primary display's top-left corner, y down).

// The system numbers the desktops that are not full screen over all displays, by display and then
// by position on the display; desktop n (1 to 16) has the shortcut with id 117 + n.
std::optional<int> missionControlDesktopNumber(std::vector<SpaceWindows::SpaceInfo> spaces, uint64_t spaceID);
std::optional<int32_t> desktopSwitchHotKeyID(int desktopNumber);

// Whether a vertical scroll over a bar goes to the desktop on the right. Scrolling up goes to the
// side the setting names ("right"; anything else counts as "left"), scrolling down to the other;
// with natural scrolling a positive delta is the downward gesture.
bool scrollSwitchGoesRight(double scrollingDeltaY, bool directionInvertedFromDevice,
                           std::string_view scrollUpSetting);

// The neighbour, full-screen desktops included, of the active desktop of the display that holds
// `fromSpaceID`, or of the desktop a switch under way goes to when it is one of that display's
// (`switchingTo`); none at either end of the display.
std::optional<uint64_t> adjacentSpace(const std::vector<SpaceWindows::SpaceInfo>& spaces,
                                      const std::vector<uint64_t>& activeIDs, uint64_t fromSpaceID,
                                      bool goRight, std::optional<uint64_t> switchingTo = std::nullopt);

// Whether an announced change of the active desktops shows that another switch took the place of
// one under way to `target`: the target is not shown, and no other display changed its desktop
// since the switch began (`activeAtStart`), so the change was that display's own.
bool switchTakenOver(const std::vector<SpaceWindows::SpaceInfo>& spaces,
                     const std::vector<uint64_t>& activeAtStart, const std::vector<uint64_t>& activeNow,
                     uint64_t target);

// The keyboard action that moves a window to desktop `number` of its own display (numbered there
// alone, full-screen desktops left out): from the window's current desktop (its active one, else
// its first) to the target. None when the window is on no listed desktop or on a full-screen one,
// when the number names no desktop, or the window is already there.
struct DesktopMove {
    uint64_t from = 0;
    uint64_t to = 0;
    friend bool operator==(const DesktopMove&, const DesktopMove&) = default;
};
std::optional<DesktopMove> keyboardDesktopMove(const std::vector<SpaceWindows::SpaceInfo>& spaces,
                                               const std::set<uint64_t>& windowSpaceIDs,
                                               const std::vector<uint64_t>& activeIDs, int number);

// Where a window is grabbed to be carried: just right of its zoom button on the title bar, or,
// without one, 80 points in from its left edge (12 points in from the right on narrow windows).
struct DragGeometry {
    Point grabPoint;
    Rect windowFrame;  // as Accessibility reports it
};
Point dragGrabPoint(const Rect& windowFrame, const std::optional<Rect>& zoomButtonFrame);
// Whether a press at the grab point still takes the window it was read for, seconds after its
// application answered: the window server has the window where it was read, and it is the
// frontmost window under the point. `onScreen`: the on-screen window list, front to back.
bool grabPointHolds(const std::vector<CGWindowInfo>& onScreen, uint32_t windowID,
                    const DragGeometry& geometry);

// Where a window carried onto another display is released: its top-left corner lands 48 points
// inside the top-left corner of that display's visible area with the grab offset kept (at least
// 12 and 5 points), and the release point stays 12 points inside the area.
Point crossDisplayDropPoint(const DragGeometry& geometry, const Rect& targetVisibleFrame);

// What the bar does after the active desktop changed, from what is pending and what shows now.
enum class PostSwitchStep {
    finishWindowMoveDrag,      // the target of a move to another display became active
    awaitWindowMoveDrag,       // it did not: the application to return to waits for the next change
    leaveToSilicaMove,         // a move within one display finishes on its own
    completeFullscreenSwitch,  // the full-screen desktop switched to became active
    dropFullscreenSwitch,      // the switch went elsewhere
    nothing,
    activateFinder,  // the desktop shows no window
    yieldToFinder,   // activation goes back, and the program itself had it
    yieldToPreviousApp,
};
struct PostSwitchState {
    std::optional<bool> windowMoveDragLanded;    // set while a move to another display is pending
    bool silicaMovePending = false;              // a move within one display
    std::optional<bool> fullscreenSwitchLanded;  // set while a full-screen switch is pending
    bool hasPreviousApp = false;
    bool previousAppIsProgram = false;
    bool fullScreenDesktopActive = false;  // on any display
    bool anyVisibleWindow = false;         // a tracked window of the active desktop not minimised
};
PostSwitchStep postSwitchStep(const PostSwitchState& state);

}  // namespace qv
