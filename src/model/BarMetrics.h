#pragma once

#include <string_view>

#include "model/BarSize.h"

namespace qv {

// The lengths, in points, that one bar size stands for. The spacings and the corner radius, and
// the two horizontal paddings, happen to share values but are used in different places.
struct BarMetrics {
    BarSize barSize = BarSize::medium;
    double chipHeight = 0;
    double chipCornerRadius = 0;
    double chipHorizontalPadding = 0;
    double chipSpacing = 0;
    double iconSize = 0;
    double iconTextSpacing = 0;
    double titleMaxWidth = 0;
    double menuButtonWidth = 0;
    double menuButtonHeight = 0;
    double menuIconSize = 0;
    double cornerRadius = 0;
    double scrollHorizontalPadding = 0;
    double barHorizontalPadding = 0;

    static BarMetrics forSize(BarSize size);
    // From the stored size text; an unknown size gives medium.
    static BarMetrics fromSetting(std::string_view barSizeText) {
        return forSize(barSizeFromSetting(barSizeText));
    }

    friend bool operator==(const BarMetrics&, const BarMetrics&) = default;
};

}  // namespace qv
