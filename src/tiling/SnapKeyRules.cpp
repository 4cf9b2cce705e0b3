#include "tiling/SnapKeyRules.h"

#include <array>
#include <utility>

#include "launcher/KeyNames.h"
#include "tiling/WindowTilingKeyTap.h"

namespace qv {

bool snapKeysTake(const SnapKeyModifiers& snapKeys, const KeyboardShortcut& shortcut) {
    return !(snapKeys.rawValue & carbon::kFunction) && shortcut.modifiers == snapKeys.rawValue &&
           WindowTilingKeyTap::actions().contains(shortcut.keyCode);
}

std::optional<std::string> snapKeysRejectionReason(const SnapKeyModifiers& snapKeys,
                                                   const std::optional<KeyboardShortcut>& launcherShortcut,
                                                   const KeyboardShortcut& switcherShortcut) {
    if (!snapKeys.holdsTwoModifiers()) return "Use at least two modifier keys.";
    if (snapKeys.rawValue & carbon::kFunction) return std::nullopt;
    const std::array<std::pair<std::optional<KeyboardShortcut>, const char*>, 2> shortcuts = {{
        {launcherShortcut, "the app launcher"},
        {switcherShortcut, "the window switcher"},
    }};
    for (const auto& [shortcut, name] : shortcuts) {
        if (!shortcut || !snapKeysTake(snapKeys, *shortcut)) continue;
        // Every snap key has a fixed name, so the keyboard layout is never needed here.
        return modifierSymbols(snapKeys.rawValue) + fixedKeyName(shortcut->keyCode).value_or("?") +
               " is used by " + name + ".";
    }
    return std::nullopt;
}

}  // namespace qv
