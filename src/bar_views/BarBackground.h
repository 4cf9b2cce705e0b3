#pragma once

#include "model/BarTheme.h"
#include "ui/Node.h"

namespace qv {

// What stands behind a bar's content.
enum class BarBackgroundStyle {
    reduceTransparencyDark,   // solid grey
    reduceTransparencyLight,  // nearly opaque white
    lightAdaptive,            // the light bar, whatever the theme
    frosted,
    longhorn,
    aero,
};

// The themes dress only the dark bar; Reduce Transparency replaces every blur with a solid fill.
BarBackgroundStyle barBackgroundStyle(bool reduceTransparency, ColorScheme colorScheme, BarTheme theme);

// The background of a bar, drawn to the full size it is offered.
struct BarBackground {
    bool reduceTransparency = false;
    ColorScheme colorScheme = ColorScheme::dark;
    BarTheme theme = BarTheme::frosted;

    BarBackgroundStyle style() const { return barBackgroundStyle(reduceTransparency, colorScheme, theme); }
    Node body() const;
    friend bool operator==(const BarBackground&, const BarBackground&) = default;
};

}  // namespace qv
