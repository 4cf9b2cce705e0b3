#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "platform/Geometry.h"

namespace qv {

// One window the bar shows. The first four fields never change once the window is tracked.
struct TrackedWindow {
    uint32_t windowID = 0;  // the window server's window number, and the key in the store
    int32_t pid = 0;        // the owning application
    std::string appName;
    std::optional<std::string> bundleIdentifier;
    std::string windowTitle;  // may be empty
    Rect frame;               // window-server space: origin at the primary display's top-left corner
    bool isMinimized = false;
    std::set<uint64_t> spaceIDs;  // may be empty
};

}  // namespace qv
