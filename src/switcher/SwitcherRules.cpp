#include "switcher/SwitcherRules.h"

#include <algorithm>

#include "switcher/WindowSwitcherKeyTap.h"
#include "tracking/SpaceWindows.h"

namespace qv {

SwitcherTrigger switcherTrigger(const KeyboardShortcut& shortcut) {
    const uint32_t m = shortcut.modifiers;
    const bool accepted = shortcut.keyCode != WindowSwitcherKeyTap::kEscapeKeyCode && !(m & carbon::kShift) &&
                          holdsCommandOptionOrControl(shortcut);
    if (!accepted) return SwitcherTrigger{};
    CGEventFlags flags = 0;
    if (m & carbon::kCommand) flags |= eventflags::kCommand;
    if (m & carbon::kOption) flags |= eventflags::kAlternate;
    if (m & carbon::kControl) flags |= eventflags::kControl;
    return SwitcherTrigger{shortcut.keyCode, flags};
}

int initialSelection(int count, bool backwards, std::optional<uint32_t> focusedWindowID,
                     std::optional<uint32_t> firstEntryID) {
    if (backwards) return count - 1;
    return focusedWindowID && focusedWindowID == firstEntryID && count > 1 ? 1 : 0;
}

int movedSelection(int current, int delta, int count, bool wrap) {
    if (count <= 0) return current;
    const int target = current + delta;
    if (wrap) return ((target % count) + count) % count;
    return target < 1 ? 0 : std::min(count - 1, target);
}

std::vector<uint32_t> captureOrder(const std::vector<SwitcherEntry>& entries, int selectedIndex) {
    std::vector<uint32_t> ids;
    const int n = static_cast<int>(entries.size());
    if (n == 0) return ids;
    const int start = std::clamp(selectedIndex, 0, n - 1);
    for (int k = 0; k < n; ++k) {
        const SwitcherEntry& e = entries[static_cast<size_t>((start + k) % n)];
        if (!e.isMinimized) ids.push_back(e.id);
    }
    return ids;
}

Point windowServerPoint(Point fromAppKit, const std::vector<Screen>& screens, uint32_t mainDisplayID) {
    const Screen* primary = nullptr;
    for (const Screen& s : screens) {
        if (SpaceWindows::displayID(s) == mainDisplayID) {
            primary = &s;
            break;
        }
    }
    if (!primary && !screens.empty()) primary = &screens.front();
    if (!primary) return Point{fromAppKit.x, -fromAppKit.y};
    return Point{fromAppKit.x, primary->frame.height() - fromAppKit.y};
}

}  // namespace qv
