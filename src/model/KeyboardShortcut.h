#pragma once

#include <cstdint>

namespace qv {

// Carbon modifier bits, the layout in which every recorded shortcut is stored.
namespace carbon {
inline constexpr uint32_t kCommand = 256;
inline constexpr uint32_t kShift = 512;
inline constexpr uint32_t kOption = 2048;
inline constexpr uint32_t kControl = 4096;
inline constexpr uint32_t kFunction = 131072;  // used by the snap keys only
}  // namespace carbon

// One keyboard shortcut: a virtual key code and Carbon modifier bits.
struct KeyboardShortcut {
    uint32_t keyCode = 0;
    uint32_t modifiers = 0;

    friend bool operator==(const KeyboardShortcut&, const KeyboardShortcut&) = default;
};

// Whether a shortcut holds Command, Option or Control. Without one, a plain or shifted key would be
// taken from whatever the user types.
inline bool holdsCommandOptionOrControl(const KeyboardShortcut& shortcut) {
    return (shortcut.modifiers & (carbon::kCommand | carbon::kOption | carbon::kControl)) != 0;
}

}  // namespace qv
