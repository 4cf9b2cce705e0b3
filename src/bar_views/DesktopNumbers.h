#pragma once

// How the bar numbers a display's desktops: every place that shows "Desktop N" (the switcher, its
// list, the "Move to" menus) counts the same way, so one desktop never shows two numbers.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tracking/SpaceWindows.h"

namespace qv {

// The desktops of one display in their order on it (stable by position), full-screen ones included.
std::vector<SpaceWindows::SpaceInfo> desktopsOfDisplay(const std::vector<SpaceWindows::SpaceInfo>& spaces,
                                                       const std::string& displayIdentifier);

// The number the user knows an ordinary desktop by: its place among the ordinary desktops of
// `displayDesktops` (one display's, in order), from 1. None for a full-screen desktop or one not
// listed.
std::optional<int> ordinaryDesktopNumber(const std::vector<SpaceWindows::SpaceInfo>& displayDesktops,
                                         uint64_t spaceID);

// "Desktop N"
std::string desktopLabel(int number);

}  // namespace qv
