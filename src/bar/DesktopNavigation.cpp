#include "bar/DesktopNavigation.h"

#include <algorithm>

namespace qv {

namespace {

using SpaceInfo = SpaceWindows::SpaceInfo;

bool contains(const std::vector<uint64_t>& ids, uint64_t id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The desktops of one display, in the display's order.
std::vector<SpaceInfo> desktopsOfDisplay(const std::vector<SpaceInfo>& spaces, const std::string& display) {
    std::vector<SpaceInfo> out;
    std::copy_if(spaces.begin(), spaces.end(), std::back_inserter(out),
                 [&](const SpaceInfo& s) { return s.displayIdentifier == display; });
    std::stable_sort(out.begin(), out.end(),
                     [](const SpaceInfo& a, const SpaceInfo& b) { return a.spaceIndex < b.spaceIndex; });
    return out;
}

}  // namespace

std::optional<int> missionControlDesktopNumber(std::vector<SpaceInfo> spaces, uint64_t spaceID) {
    std::erase_if(spaces, [](const SpaceInfo& s) { return s.isFullScreen(); });
    std::stable_sort(spaces.begin(), spaces.end(), [](const SpaceInfo& a, const SpaceInfo& b) {
        return a.displayIndex != b.displayIndex ? a.displayIndex < b.displayIndex
                                                : a.spaceIndex < b.spaceIndex;
    });
    for (size_t i = 0; i < spaces.size(); ++i) {
        if (spaces[i].spaceID == spaceID) return static_cast<int>(i) + 1;
    }
    return std::nullopt;
}

std::optional<int32_t> desktopSwitchHotKeyID(int desktopNumber) {
    if (desktopNumber < 1 || desktopNumber > 16) return std::nullopt;
    return 117 + desktopNumber;
}

bool scrollSwitchGoesRight(double scrollingDeltaY, bool directionInvertedFromDevice,
                           std::string_view scrollUpSetting) {
    const bool down = directionInvertedFromDevice ? scrollingDeltaY > 0 : scrollingDeltaY < 0;
    const bool rightIsUp = scrollUpSetting == "right";
    return down != rightIsUp;
}

std::optional<uint64_t> adjacentSpace(const std::vector<SpaceInfo>& spaces,
                                      const std::vector<uint64_t>& activeIDs, uint64_t fromSpaceID,
                                      bool goRight, std::optional<uint64_t> switchingTo) {
    auto from = std::find_if(spaces.begin(), spaces.end(),
                             [&](const SpaceInfo& s) { return s.spaceID == fromSpaceID; });
    if (from == spaces.end()) return std::nullopt;
    const auto display = desktopsOfDisplay(spaces, from->displayIdentifier);
    auto current = std::find_if(display.begin(), display.end(),
                                [&](const SpaceInfo& s) { return s.spaceID == switchingTo; });
    if (current == display.end())
        current = std::find_if(display.begin(), display.end(),
                               [&](const SpaceInfo& s) { return contains(activeIDs, s.spaceID); });
    if (current == display.end()) return std::nullopt;
    const size_t i = static_cast<size_t>(current - display.begin());
    if (goRight ? i + 1 >= display.size() : i == 0) return std::nullopt;  // no wrap-around
    return display[goRight ? i + 1 : i - 1].spaceID;
}

bool switchTakenOver(const std::vector<SpaceInfo>& spaces, const std::vector<uint64_t>& activeAtStart,
                     const std::vector<uint64_t>& activeNow, uint64_t target) {
    if (contains(activeNow, target)) return false;
    auto it =
        std::find_if(spaces.begin(), spaces.end(), [&](const SpaceInfo& s) { return s.spaceID == target; });
    if (it == spaces.end()) return true;  // the target is gone
    const std::string& display = it->displayIdentifier;
    auto elsewhere = [&](const std::vector<uint64_t>& active) {
        std::set<uint64_t> ids;
        for (const SpaceInfo& s : spaces)
            if (s.displayIdentifier != display && contains(active, s.spaceID)) ids.insert(s.spaceID);
        return ids;
    };
    return elsewhere(activeAtStart) == elsewhere(activeNow);
}

std::optional<DesktopMove> keyboardDesktopMove(const std::vector<SpaceInfo>& spaces,
                                               const std::set<uint64_t>& windowSpaceIDs,
                                               const std::vector<uint64_t>& activeIDs, int number) {
    std::vector<SpaceInfo> onSpaces;
    std::copy_if(spaces.begin(), spaces.end(), std::back_inserter(onSpaces),
                 [&](const SpaceInfo& s) { return windowSpaceIDs.contains(s.spaceID); });
    if (onSpaces.empty()) return std::nullopt;
    auto active = std::find_if(onSpaces.begin(), onSpaces.end(),
                               [&](const SpaceInfo& s) { return contains(activeIDs, s.spaceID); });
    const SpaceInfo current = active != onSpaces.end() ? *active : onSpaces.front();
    if (current.isFullScreen()) return std::nullopt;
    auto list = desktopsOfDisplay(spaces, current.displayIdentifier);
    std::erase_if(list, [](const SpaceInfo& s) { return s.isFullScreen(); });
    if (number < 1 || number > static_cast<int>(list.size())) return std::nullopt;
    const uint64_t target = list[static_cast<size_t>(number - 1)].spaceID;
    if (target == current.spaceID) return std::nullopt;
    return DesktopMove{current.spaceID, target};
}

Point dragGrabPoint(const Rect& windowFrame, const std::optional<Rect>& zoomButtonFrame) {
    if (zoomButtonFrame) return {zoomButtonFrame->maxX() + 5, windowFrame.minY() + 5};
    return {std::min(windowFrame.minX() + 80, windowFrame.maxX() - 12), windowFrame.minY() + 5};
}

bool grabPointHolds(const std::vector<CGWindowInfo>& onScreen, uint32_t windowID,
                    const DragGeometry& geometry) {
    for (const CGWindowInfo& window : onScreen) {
        const auto bounds = window.bounds();
        if (!bounds || !bounds->contains(geometry.grabPoint) || window.alpha().value_or(1) <= 0) continue;
        return window.windowID() == windowID && *bounds == geometry.windowFrame;
    }
    return false;
}

Point crossDisplayDropPoint(const DragGeometry& geometry, const Rect& v) {
    const double dx = std::max(geometry.grabPoint.x - geometry.windowFrame.minX(), 12.0);
    const double dy = std::max(geometry.grabPoint.y - geometry.windowFrame.minY(), 5.0);
    return {std::min(v.maxX() - 12, std::max(v.minX() + 12, v.minX() + 48 + dx)),
            std::min(v.maxY() - 12, std::max(v.minY() + 12, v.minY() + 48 + dy))};
}

PostSwitchStep postSwitchStep(const PostSwitchState& s) {
    if (s.windowMoveDragLanded)
        return *s.windowMoveDragLanded ? PostSwitchStep::finishWindowMoveDrag
                                       : PostSwitchStep::awaitWindowMoveDrag;
    if (s.silicaMovePending) return PostSwitchStep::leaveToSilicaMove;
    if (s.fullscreenSwitchLanded)
        return *s.fullscreenSwitchLanded ? PostSwitchStep::completeFullscreenSwitch
                                         : PostSwitchStep::dropFullscreenSwitch;
    if (!s.hasPreviousApp && s.fullScreenDesktopActive) return PostSwitchStep::nothing;
    if (!s.anyVisibleWindow) return PostSwitchStep::activateFinder;
    if (!s.hasPreviousApp) return PostSwitchStep::nothing;
    return s.previousAppIsProgram ? PostSwitchStep::yieldToFinder : PostSwitchStep::yieldToPreviousApp;
}

}  // namespace qv
