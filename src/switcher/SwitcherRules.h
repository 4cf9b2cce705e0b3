#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "model/KeyboardShortcut.h"
#include "platform/Displays.h"
#include "platform/Events.h"
#include "platform/Geometry.h"
#include "switcher/SwitcherEntry.h"

namespace qv {

// The event-flag trigger of a stored shortcut.
struct SwitcherTrigger {
    int64_t keyCode = 48;
    CGEventFlags flags = 0x80000;
    friend bool operator==(const SwitcherTrigger&, const SwitcherTrigger&) = default;
};

// The stored shortcut's trigger, or Option-Tab when the shortcut is Escape, holds Shift or has
// none of Command, Option and Control.
SwitcherTrigger switcherTrigger(const KeyboardShortcut& shortcut);

// Forwards: the second entry when the focused window is first (so one press switches away).
int initialSelection(int count, bool backwards, std::optional<uint32_t> focusedWindowID,
                     std::optional<uint32_t> firstEntryID);

// Wrapping moves go round in both directions; the others stop at the first and last entry.
int movedSelection(int current, int delta, int count, bool wrap);

// The windows whose pictures to capture: from the selected card on, round to the start,
// minimised windows left out.
std::vector<uint32_t> captureOrder(const std::vector<SwitcherEntry>& entries, int selectedIndex);

// Recent windows first (`recency`: the order of use, most recent first), then the rest slotted in
// by stacking; minimised windows after all others; the focused window first.
std::vector<SwitcherEntry> switcherOrder(std::vector<SwitcherEntry> entries,
                                         const std::vector<uint32_t>& recency,
                                         const std::map<uint32_t, int>& stackIndexByID,
                                         std::optional<uint32_t> focusedWindowID);

// AppKit's bottom-left space to the window server's top-left space, on the primary screen.
Point windowServerPoint(Point fromAppKit, const std::vector<Screen>& screens, uint32_t mainDisplayID);

}  // namespace qv
