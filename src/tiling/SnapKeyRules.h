#pragma once

#include <optional>
#include <string>

#include "model/KeyboardShortcut.h"
#include "model/SnapKeyModifiers.h"

namespace qv {

// Whether holding the snap keys snaps instead of letting `shortcut` through: without fn, exactly
// its modifiers, on a key the snap keys act on.
bool snapKeysTake(const SnapKeyModifiers& snapKeys, const KeyboardShortcut& shortcut);

// Why the combination cannot be the snap keys, or none when it can: fewer than two modifiers, or
// without fn the combination of the app launcher's hot key or the window switcher's shortcut on a
// snap key (the launcher named first).
std::optional<std::string> snapKeysRejectionReason(const SnapKeyModifiers& snapKeys,
                                                   const std::optional<KeyboardShortcut>& launcherShortcut,
                                                   const KeyboardShortcut& switcherShortcut);

}  // namespace qv
