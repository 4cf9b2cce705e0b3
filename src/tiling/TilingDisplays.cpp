#include "tiling/TilingDisplays.h"

#include <algorithm>

#include "tracking/SpaceWindows.h"

namespace qv {

std::vector<IdentifiedScreen> identifiedScreens(Displays& displays) {
    std::vector<IdentifiedScreen> out;
    for (Screen& screen : displays.screens()) {
        auto id = SpaceWindows::displayID(screen);
        if (!id) continue;
        auto uuid = displays.displayUUIDString(*id);
        if (!uuid) continue;
        out.push_back({std::move(screen), *id, std::move(*uuid)});
    }
    return out;
}

bool perDisplayTilingChoiceApplies(bool showOnAllDisplays, bool screensHaveSeparateSpaces,
                                   size_t identifiedDisplayCount) {
    return showOnAllDisplays && screensHaveSeparateSpaces && identifiedDisplayCount >= 2;
}

bool isTilingAllowedOnDisplay(const std::string& displayUUID, const UserSettingsData& settings,
                              Displays& displays) {
    const auto& off = settings.windowTilingDisabledDisplays;
    if (std::find(off.begin(), off.end(), displayUUID) == off.end()) return true;
    // Only now is the screen list worth reading.
    return !perDisplayTilingChoiceApplies(settings.showOnAllDisplays, displays.screensHaveSeparateSpaces(),
                                          identifiedScreens(displays).size());
}

}  // namespace qv
