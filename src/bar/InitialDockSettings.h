#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace qv {

// One preference of the Dock's domain as saved: absent when the domain could not be opened,
// present and null when the domain held no value, else the value as it was read.
using SavedDockPreference = std::optional<std::optional<Value>>;

// From this version on, hiding writes over a preference only once it is saved, so one never saved
// still holds the user's own value. Files of earlier versions carry no version (read as 1): their
// hiding wrote both preferences without saving them.
inline constexpr int kInitialDockSettingsVersion = 2;

// The Dock's state from before the program first hid it, kept in "initialDockSettings.json".
struct InitialDockSettings {
    bool autoHideEnabled = false;
    SavedDockPreference autoHideDelay;  // "autohide-delay"
    SavedDockPreference noBouncing;     // "no-bouncing"
    // The Dock was given back but a saved preference could not be written yet: the file no longer
    // stands for our hiding, only for the values still owed.
    bool dockShown = false;
    int version = kInitialDockSettingsVersion;

    // Whether a preference never saved may hold what hiding wrote.
    bool hidingWroteUnsaved() const { return version < kInitialDockSettingsVersion; }

    friend bool operator==(const InitialDockSettings&, const InitialDockSettings&) = default;
};

// What brings back a Dock whose own state is not known: auto-hide off, both preferences removed.
InitialDockSettings recoveryDockSettings();

// One JSON object, pretty-printed with sorted keys: "autoHideEnabled" and "dockShown" (Booleans),
// "version" (a whole number), and "autoHideDelay" and "noBouncing" when saved (their values, or
// null).
std::string encodeInitialDockSettings(const InitialDockSettings& settings);
// None unless the text is such an object with a Boolean "autoHideEnabled". An optional key that
// holds no property-list scalar counts as not saved, so restoring writes the default for it; no
// "dockShown" reads as hiding, no "version" as a file of an earlier version.
std::optional<InitialDockSettings> decodeInitialDockSettings(std::string_view bytes);

}  // namespace qv
