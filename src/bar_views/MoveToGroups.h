#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/WindowMenus.h"
#include "platform/Platform.h"
#include "tracking/SpaceWindows.h"

namespace qv {

// What the "Move to" targets need to know of a display beyond the desktops: its number, and the
// name of the screen that shows it.
struct MoveToDisplayLookup {
    std::function<std::optional<int>(const std::string& displayIdentifier)> displayNumber;
    std::function<std::optional<std::string>(const std::string& displayIdentifier)> screenName;
};

// Where a window on the bar's desktop can be sent: every ordinary desktop but the bar's own, one
// group per display in the order the displays first appear, the desktops in their order on the
// display. Each desktop is labelled with the number the switcher and the desktop list give it
// (counted before the bar's own desktop is left out); a display with no target left gives no group.
// Computed afresh for every menu.
std::vector<MoveToDisplayGroup> moveToGroupsExcludingCurrentSpace(
    const std::vector<SpaceWindows::SpaceInfo>& spaces, uint64_t barSpaceID,
    const MoveToDisplayLookup& lookup);

// The lookup of the running system: the window server's display numbers and the current screens.
MoveToDisplayLookup moveToDisplayLookup(Platform& platform);

}  // namespace qv
