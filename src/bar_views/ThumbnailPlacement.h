#pragma once

// Where a chip's thumbnail pop-up stands and which pictures a hover warms up: plain rules of the
// bar's hover thumbnails, apart from the timers and panels that follow them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/BarSize.h"
#include "model/DisplayItem.h"
#include "platform/Displays.h"
#include "platform/Geometry.h"
#include "platform/dispatch/Runtime.h"

namespace qv {

inline constexpr Seconds kThumbnailShowDelay = 0.25;
inline constexpr Seconds kThumbnailDismissDelay = 0.2;
inline constexpr Seconds kThumbnailFadeInDuration = 0.15;
// Between the bar's top edge and the pop-up's bottom edge.
inline constexpr double kThumbnailPopupGap = 8;

// The chip's centre on screen. The chip reports its frame in its window's space; taken as relative
// to the window that hosts it, it may stand elsewhere on screen. Whichever reading lies strictly
// nearer the pointer wins; a tie keeps the frame as reported.
double thumbnailPopupCenterX(const Rect& chipFrame, const std::optional<Rect>& sourceWindowFrame,
                             Point hoverPoint);

// The pop-up's frame on `screen`: `width` wide, centred on the chip and kept 8 points inside the
// visible frame (the left margin wins), its bottom edge 8 points above the bar.
Rect thumbnailPopupFrame(BarSize barSize, double width, double centerX, const Screen& screen);
// The width of a group's pop-up of `windowCount` windows: at most the visible width less 16.
double groupedThumbnailPopupWidth(size_t windowCount, const Screen& screen);

// The screen a pop-up opens on: the first whose frame holds the centre of the window the event was
// for, else the first that holds the pointer, else the main screen; none without screens.
std::optional<Screen> preferredScreen(const std::vector<Screen>& screens,
                                      const std::optional<Screen>& mainScreen,
                                      const std::optional<Rect>& sourceWindowFrame, Point fallbackPoint);

// The windows a hover over the item `targetID` warms up: those of the item and of its neighbours
// on either side, in bar order; none when the item is not on the bar.
std::vector<uint32_t> thumbnailPrefetchWindowIDs(const std::vector<DisplayItem>& items,
                                                 const std::string& targetID);

}  // namespace qv
