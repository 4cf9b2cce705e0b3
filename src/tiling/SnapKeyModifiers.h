#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <string>

#include "launcher/KeyboardShortcut.h"

namespace qv {

// The modifier combination held for keyboard snapping, as Carbon modifier bits (fn 131072 too).
struct SnapKeyModifiers {
    uint32_t rawValue = 0;

    friend bool operator==(const SnapKeyModifiers&, const SnapKeyModifiers&) = default;

    // At least two of fn, Control, Option, Shift and Command: with one, the snap keys would take
    // typing (Shift-C, Shift-arrows) from every application.
    bool holdsTwoModifiers() const {
        constexpr uint32_t kModifierBits =
            carbon::kFunction | carbon::kControl | carbon::kOption | carbon::kShift | carbon::kCommand;
        return std::popcount(rawValue & kModifierBits) >= 2;
    }

    // Whether holding these keys snaps instead of letting `shortcut` through: without fn, exactly
    // its modifiers, on a key the snap keys act on.
    bool takes(const KeyboardShortcut& shortcut) const;

    // Why the combination cannot be the snap keys, or none when it can: fewer than two modifiers,
    // or without fn the combination of the app launcher's hot key or the window switcher's shortcut
    // on a snap key (the launcher named first). Reads the shared hot-key manager and settings.
    std::optional<std::string> rejectionReason() const;
    std::optional<std::string> rejectionReason(const std::optional<KeyboardShortcut>& launcherShortcut,
                                               const KeyboardShortcut& switcherShortcut) const;
};

}  // namespace qv
