#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Displays.h"
#include "platform/Image.h"

namespace qv {

// One window the switcher can switch to.
struct SwitcherEntry {
    uint32_t id = 0;  // window-server window id
    int32_t pid = 0;
    std::string appName;
    std::string title;  // may be empty
    std::shared_ptr<const Image> icon;
    bool isMinimized = false;
    bool isTracked = false;  // false: admitted by the switcher's own checks

    // A card changes only when what it shows of the window changes.
    friend bool operator==(const SwitcherEntry& a, const SwitcherEntry& b) {
        return a.id == b.id && a.title == b.title && a.isMinimized == b.isMinimized;
    }
};

// The switcher's list for one opening: the display under the pointer and its current desktop.
struct SwitcherSnapshot {
    Screen screen;
    uint64_t spaceID = 0;
    std::vector<SwitcherEntry> entries;  // in switcher order
    // The frontmost application's focused window, only when it is among the entries.
    std::optional<uint32_t> focusedWindowID;
};

}  // namespace qv
