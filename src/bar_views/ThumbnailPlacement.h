#pragma once

// Where a chip's thumbnail pop-up stands and which pictures a hover warms up: plain rules of the
// bar's hover thumbnails, apart from the timers and panels that follow them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/Runtime.h"
#include "model/BarSize.h"
#include "model/DisplayItem.h"
#include "platform/Displays.h"
#include "platform/Geometry.h"

namespace qv {

inline constexpr Seconds kThumbnailShowDelay = 0.25;
inline constexpr Seconds kThumbnailDismissDelay = 0.2;
inline constexpr Seconds kThumbnailFadeInDuration = 0.15;
// Between the bar's top edge and the pop-up's bottom edge.
inline constexpr double kThumbnailPopupGap = 8;

// The pop-up's frame on `screen`: `width` wide, centred on the chip and kept 8 points inside the
// visible frame (the left margin wins), its bottom edge 8 points above the bar.
Rect thumbnailPopupFrame(BarSize barSize, double width, double centerX, const Screen& screen);
// The width of a group's pop-up of `windowCount` windows: at most the visible width less 16.
double groupedThumbnailPopupWidth(size_t windowCount, const Screen& screen);

// The windows a hover over the item `targetID` warms up: those of the item, then of its neighbours
// before and after it; none when the item is not on the bar.
std::vector<uint32_t> thumbnailPrefetchWindowIDs(const std::vector<DisplayItem>& items,
                                                 const std::string& targetID);

}  // namespace qv
