#include "tiling/SnapKeyModifiers.h"

#include <array>
#include <utility>

#include "launcher/HotkeyManager.h"
#include "launcher/KeyNames.h"
#include "model/UserSettings.h"
#include "tiling/WindowTilingKeyTap.h"

namespace qv {

std::optional<std::string> SnapKeyModifiers::rejectionReason() const {
    return rejectionReason(HotkeyManager::shared().currentShortcut(),
                           UserSettings::shared().windowSwitcherShortcut());
}

bool SnapKeyModifiers::takes(const KeyboardShortcut& shortcut) const {
    return !(rawValue & carbon::kFunction) && shortcut.modifiers == rawValue &&
           WindowTilingKeyTap::actions().contains(shortcut.keyCode);
}

std::optional<std::string> SnapKeyModifiers::rejectionReason(
    const std::optional<KeyboardShortcut>& launcherShortcut, const KeyboardShortcut& switcherShortcut) const {
    if (!holdsTwoModifiers()) return "Use at least two modifier keys.";
    if (rawValue & carbon::kFunction) return std::nullopt;
    const std::array<std::pair<std::optional<KeyboardShortcut>, const char*>, 2> shortcuts = {{
        {launcherShortcut, "the app launcher"},
        {switcherShortcut, "the window switcher"},
    }};
    for (const auto& [shortcut, name] : shortcuts) {
        if (!shortcut || !takes(*shortcut)) continue;
        // Every snap key has a fixed name, so the keyboard layout is never needed here.
        return modifierSymbols(rawValue) + fixedKeyName(shortcut->keyCode).value_or("?") + " is used by " +
               name + ".";
    }
    return std::nullopt;
}

}  // namespace qv
