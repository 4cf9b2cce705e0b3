#include "bar_views/MoveToGroups.h"

#include <memory>

#include "bar_views/DesktopNumbers.h"
#include "platform/Windowing.h"

namespace qv {

std::vector<MoveToDisplayGroup> moveToGroupsExcludingCurrentSpace(
    const std::vector<SpaceWindows::SpaceInfo>& spaces, uint64_t barSpaceID,
    const MoveToDisplayLookup& lookup) {
    // Displays in the order they first appear, each with the index of its first desktop.
    std::vector<std::pair<std::string, int64_t>> displays;
    for (const auto& s : spaces) {
        bool seen = false;
        for (const auto& d : displays) seen = seen || d.first == s.displayIdentifier;
        if (!seen) displays.emplace_back(s.displayIdentifier, s.displayIndex);
    }
    std::vector<MoveToDisplayGroup> groups;
    for (const auto& [identifier, displayIndex] : displays) {
        const auto desktops = desktopsOfDisplay(spaces, identifier);
        MoveToDisplayGroup group;
        group.displayIdentifier = identifier;
        for (const auto& s : desktops) {
            if (s.isFullScreen() || s.spaceID == barSpaceID) continue;
            // The numbering counts the bar's own desktop: with the bar on 2, the others stay 1 and 3.
            group.spaces.push_back({s.spaceID, desktopLabel(*ordinaryDesktopNumber(desktops, s.spaceID))});
        }
        if (group.spaces.empty()) continue;
        std::optional<int> number = lookup.displayNumber ? lookup.displayNumber(identifier) : std::nullopt;
        group.displayNumber = number ? *number : displayIndex + 1;
        std::optional<std::string> name = lookup.screenName ? lookup.screenName(identifier) : std::nullopt;
        group.displayLabel = name ? *name : "Display " + std::to_string(group.displayNumber);
        groups.push_back(std::move(group));
    }
    return groups;
}

MoveToDisplayLookup moveToDisplayLookup(Platform& platform) {
    auto spaceWindows = std::make_shared<SpaceWindows>(platform);
    Platform* p = &platform;
    return {
        [spaceWindows](const std::string& id) { return spaceWindows->displayNumber(id); },
        [spaceWindows, p](const std::string& id) -> std::optional<std::string> {
            if (auto screen = spaceWindows->screen(id, p->windowing.screens())) return screen->localizedName;
            return std::nullopt;
        },
    };
}

}  // namespace qv
