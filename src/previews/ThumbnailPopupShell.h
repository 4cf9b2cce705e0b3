#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/BarSize.h"
#include "platform/Image.h"
#include "ui/Node.h"

namespace qv {

// --- The pop-up's fixed geometry, shared by its contents and by whoever places it ---
inline constexpr double kThumbnailCardWidth = 330;
inline constexpr double kThumbnailCardHeight = 273;
inline constexpr double kThumbnailCardSpacing = 14;
inline constexpr double kThumbnailContentPadding = 14;
inline constexpr double kThumbnailImageWidth = 310;
inline constexpr double kThumbnailImageHeight = 228;
inline constexpr double kSinglePopupWidth = kThumbnailCardWidth + 2 * kThumbnailContentPadding;  // 358
inline constexpr double kGroupedPopupMinWidth = 310;

// The header's icon side and its padding above and below, by bar size.
double thumbnailHeaderIconSize(BarSize size);
double thumbnailHeaderVerticalPadding(BarSize size);
// The whole pop-up's height: header, divider, one row of cards with its padding (336 for medium).
double thumbnailPopupHeight(BarSize size);
// The grouped pop-up's width for n windows: room for every card, at least 310, at most
// `maxAvailableWidth` (one 358, two 702, three 1046).
double groupedThumbnailPopupWidth(size_t windowCount, double maxAvailableWidth);

// The rounded translucent card that frames a pop-up: a header with the app's icon, a title and an
// optional subtitle, a divider, then the content, which sizes itself. The window switcher's panel
// wears it too.
struct ThumbnailPopupShell {
    BarSize barSize = BarSize::medium;
    std::shared_ptr<const Image> icon = {};
    std::string title = {};
    std::optional<std::string> subtitle = std::nullopt;
    Node content = nullptr;

    static constexpr double kCornerRadius = 12;
    Node body() const;
};

// One window's picture in a 310 x 228 box: the picture fitted and centred whenever there is one,
// else a spinner while loading, else a placeholder. Always the same size.
struct ThumbnailImage {
    std::shared_ptr<const Image> thumbnail = {};
    bool isLoading = false;

    enum class Look { picture, spinner, placeholder };
    Look look() const;
    Node body() const;
};

}  // namespace qv
