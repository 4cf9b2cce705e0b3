#pragma once

#include <optional>
#include <string>

#include "model/UserSettingsData.h"

namespace qv {

class UserSettings;

// Why each stored shortcut cannot be in force, none for one that can: each is held to its
// recorder's whole rule against the ones before it, in the order switcher, launcher, snap keys. The
// switcher always has a key (Option-Tab at least) and the snap keys claim a whole family of keys,
// so the single shortcuts keep theirs and the chord gives way. A feature this system lacks claims
// nothing.
struct StoredShortcutRefusals {
    std::optional<std::string> switcher;
    std::optional<std::string> launcher;
    std::optional<std::string> snapKeys;
};
StoredShortcutRefusals storedShortcutRefusals(const UserSettingsData& stored, bool switcherSupported,
                                              bool tilingSupported);

// Sets aside in `settings` what the file holds but may not be in force; the file keeps it.
void setAsideRefusedShortcuts(UserSettings& settings, bool switcherSupported, bool tilingSupported);

}  // namespace qv
