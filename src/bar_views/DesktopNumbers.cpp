#include "bar_views/DesktopNumbers.h"

#include <algorithm>

namespace qv {

std::vector<SpaceWindows::SpaceInfo> desktopsOfDisplay(const std::vector<SpaceWindows::SpaceInfo>& spaces,
                                                       const std::string& displayIdentifier) {
    std::vector<SpaceWindows::SpaceInfo> out;
    for (const auto& s : spaces) {
        if (s.displayIdentifier == displayIdentifier) out.push_back(s);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.spaceIndex < b.spaceIndex; });
    return out;
}

std::optional<int> ordinaryDesktopNumber(const std::vector<SpaceWindows::SpaceInfo>& displayDesktops,
                                         uint64_t spaceID) {
    int n = 0;
    for (const auto& s : displayDesktops) {
        if (s.isFullScreen()) {
            if (s.spaceID == spaceID) return std::nullopt;
            continue;
        }
        ++n;
        if (s.spaceID == spaceID) return n;
    }
    return std::nullopt;
}

std::string desktopLabel(int number) {
    return "Desktop " + std::to_string(number);
}

}  // namespace qv
