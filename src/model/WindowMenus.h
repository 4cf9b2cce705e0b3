#pragma once

// The menu items every window's menu offers, in the bar and in the previews alike: the targets of
// "Move to" and the menu built from them, "Minimize" and the close item.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Menu.h"

namespace qv {

// One desktop a window can be moved to.
struct MoveToSpaceEntry {
    uint64_t spaceID = 0;
    std::string label;  // shown verbatim
    friend bool operator==(const MoveToSpaceEntry&, const MoveToSpaceEntry&) = default;
};

// The desktops of one display, in menu order.
struct MoveToDisplayGroup {
    std::string displayIdentifier;  // the display's UUID string
    std::string displayLabel;
    int64_t displayNumber = 0;  // the number drawn in the display's symbol
    std::vector<MoveToSpaceEntry> spaces;
    friend bool operator==(const MoveToDisplayGroup&, const MoveToDisplayGroup&) = default;
};

// The symbol that shows a display's number; the symbol set has numbered squares up to 50 only.
inline std::string displayNumberSymbol(int64_t number) {
    if (number < 0 || number > 50) return "number.square.fill";
    return std::to_string(number) + ".square.fill";
}

// The label of the item that closes a window, in every menu that offers it.
inline constexpr const char* kCloseWindowMenuTitle = "Close Window";

// "Minimize" and the close item of a window's menu, each only with its action.
std::vector<MenuItem> windowControlMenuItems(const std::function<void()>& onMinimize,
                                             const std::function<void()>& onClose);

// "Move to" with one button per target desktop, each calling `onMoveToSpace` with the desktop's id.
// The desktops are listed directly only for a single display group while at most one screen is
// connected; otherwise each group gets a submenu under its display's number symbol and label. None
// without targets or without the callback.
std::optional<MenuItem> moveToMenuItem(const std::vector<MoveToDisplayGroup>& groups, size_t screenCount,
                                       const std::function<void(uint64_t spaceID)>& onMoveToSpace);

}  // namespace qv
