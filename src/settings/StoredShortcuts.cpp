#include "settings/StoredShortcuts.h"

#include "model/UserSettings.h"
#include "settings/ShortcutRecorderView.h"
#include "settings/WindowSwitcherShortcutView.h"
#include "tiling/SnapKeyRules.h"

namespace qv {

namespace {

std::optional<KeyboardShortcut> pair(const std::optional<uint32_t>& keyCode,
                                     const std::optional<uint32_t>& modifiers) {
    if (!keyCode || !modifiers) return std::nullopt;
    return KeyboardShortcut{*keyCode, *modifiers};
}

}  // namespace

StoredShortcutRefusals storedShortcutRefusals(const UserSettingsData& stored, bool switcherSupported,
                                              bool tilingSupported) {
    StoredShortcutRefusals refusals;
    std::optional<KeyboardShortcut> switcher;
    if (switcherSupported) {
        switcher = UserSettings::kDefaultWindowSwitcherShortcut;
        if (auto own = pair(stored.windowSwitcherKeyCode, stored.windowSwitcherModifiers)) {
            refusals.switcher = switcherShortcutRejection(*own, std::nullopt);
            if (!refusals.switcher) switcher = own;
        }
    }
    std::optional<KeyboardShortcut> launcher = pair(stored.hotkeyKeyCode, stored.hotkeyModifiers);
    if (launcher) {
        refusals.launcher = launcherShortcutRejection(*launcher, switcher, std::nullopt);
        if (refusals.launcher) launcher.reset();
    }
    if (tilingSupported && stored.keyboardSnapModifiers) {
        refusals.snapKeys =
            snapKeysRejectionReason(SnapKeyModifiers{*stored.keyboardSnapModifiers}, launcher,
                                    switcher.value_or(UserSettings::kDefaultWindowSwitcherShortcut));
    }
    return refusals;
}

void setAsideRefusedShortcuts(UserSettings& settings, bool switcherSupported, bool tilingSupported) {
    using Which = UserSettings::StoredShortcut;
    const StoredShortcutRefusals refusals =
        storedShortcutRefusals(*settings.data, switcherSupported, tilingSupported);
    if (refusals.switcher) settings.setAside(Which::switcher, *refusals.switcher);
    if (refusals.launcher) settings.setAside(Which::launcher, *refusals.launcher);
    if (refusals.snapKeys) settings.setAside(Which::snapKeys, *refusals.snapKeys);
}

}  // namespace qv
