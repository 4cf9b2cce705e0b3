#include "bar_views/ThumbnailPlacement.h"

#include <algorithm>
#include <cmath>

#include "previews/ThumbnailPopupPanel.h"
#include "previews/ThumbnailPopupShell.h"

namespace qv {

Rect thumbnailPopupFrame(BarSize barSize, double width, double centerX, const Screen& screen) {
    const double y = screen.frame.minY() + barHeight(barSize) + kThumbnailPopupGap;
    return Rect{clampedPopupX(centerX, width, screen.visibleFrame), y, width, thumbnailPopupHeight(barSize)};
}

double groupedThumbnailPopupWidth(size_t windowCount, const Screen& screen) {
    return groupedThumbnailPopupWidth(windowCount,
                                      screen.visibleFrame.width() - 2 * ThumbnailPopupPanel::kScreenMargin);
}

std::vector<uint32_t> thumbnailPrefetchWindowIDs(const std::vector<DisplayItem>& items,
                                                 const std::string& targetID) {
    std::vector<uint32_t> ids;
    auto found =
        std::find_if(items.begin(), items.end(), [&](const DisplayItem& i) { return i.id() == targetID; });
    if (found == items.end()) return ids;
    const size_t index = static_cast<size_t>(found - items.begin());
    // The hovered item first: when the pictures asked for outnumber what the cache keeps, its own
    // are the ones kept.
    for (size_t i : {index, index - 1, index + 1}) {
        if (i >= items.size()) continue;  // also the one before the first
        if (const ChipData* chip = items[i].chip()) {
            ids.push_back(chip->id);
        } else {
            const auto& windows = items[i].groupData()->windowIDs;
            ids.insert(ids.end(), windows.begin(), windows.end());
        }
    }
    return ids;
}

}  // namespace qv
