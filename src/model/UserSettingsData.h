#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/PinnedAppRecord.h"

namespace qv {

// Every setting of the user, as saved in "settings.json" under the field names as keys.
struct UserSettingsData {
    std::string barSize = "medium";  // any text is kept; readers take an unknown size as medium
    std::string theme;               // by default by the system version, see defaults()
    std::string scrollUpSpaceSwitch = "left";
    std::optional<uint32_t> hotkeyKeyCode;
    std::optional<uint32_t> hotkeyModifiers;
    bool groupWindowsByApp = true;
    bool showChipTitles = true;
    bool showWindowNamesInChips = true;
    bool hideDock = false;
    bool showOnAllDisplays = false;
    bool windowSwitcherEnabled = false;
    std::optional<uint32_t> windowSwitcherKeyCode;    // absent: the default shortcut
    std::optional<uint32_t> windowSwitcherModifiers;  // absent: the default shortcut
    bool snapLayoutsEnabled = false;
    bool resizeAdjacentWindowsEnabled = false;
    bool keyboardSnapEnabled = false;
    std::optional<uint32_t> keyboardSnapModifiers;
    std::vector<std::string> windowTilingDisabledDisplays;
    bool runAtLogin = false;
    std::vector<PinnedAppRecord> pinnedApps;
    std::map<std::string, std::vector<std::string>> chipOrderByDesktop;  // desktop key -> app keys
    int64_t settingsVersion = 1;

    // The default record; its theme depends on the running system's major version.
    static UserSettingsData defaults(int operatingSystemMajorVersion);

    friend bool operator==(const UserSettingsData&, const UserSettingsData&) = default;
};

// The file's bytes: one JSON object, pretty-printed with sorted keys, absent numbers left out.
std::string encodeUserSettings(const UserSettingsData& data);

// A missing or null key takes its default; unknown keys are ignored. Bytes that are no JSON
// object, or any value of the wrong type, give no record at all.
std::optional<UserSettingsData> decodeUserSettings(std::string_view bytes, int operatingSystemMajorVersion);

}  // namespace qv
