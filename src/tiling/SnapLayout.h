#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "platform/Geometry.h"

namespace qv {

// One snap layout: zones that tile the usable area, each in unit fractions of it (x from the left,
// y from the top). All rectangles of tiling use the window server's top-left space.
struct SnapLayout {
    std::vector<Rect> zones;

    friend bool operator==(const SnapLayout&, const SnapLayout&) = default;

    // The layouts offered for a usable area of this aspect (width / max(height, 1)) and width.
    static std::vector<SnapLayout> presets(double aspectRatio, double usableWidth);
    // The window frame of a zone inside the usable area: edges rounded to whole points, halves away
    // from zero; then every inner edge pulled in by half the margin, so that two neighbouring zones
    // end exactly `margin` apart and every window keeps `margin` from the area's border.
    static Rect frame(const Rect& zone, const Rect& usableArea, double margin);
};

// The measurements of the layout flyout: tiles of every layout in rows of at most three, centred.
struct SnapFlyoutMetrics {
    struct ZoneID {
        int layout = 0;
        int zone = 0;
        friend bool operator==(const ZoneID&, const ZoneID&) = default;
    };

    static constexpr double kPadding = 10;
    static constexpr double kGap = 8;
    static constexpr double kZoneInset = 1.5;

    std::vector<SnapLayout> layouts;
    Size thumbnailSize;
    int columns = 0;
    Size size;

    SnapFlyoutMetrics(std::vector<SnapLayout> layouts, double displayAspect);

    // The tile of a layout in the flyout's own space (origin at its top-left corner).
    Rect tileFrame(size_t layoutIndex) const;
    // The zone under a point of the flyout; the minimum edges of a rectangle count as inside, the
    // maximum edges do not, and a tile's rim and the gaps hit nothing.
    std::optional<ZoneID> zone(Point p) const;
};

}  // namespace qv

template <>
struct std::hash<qv::SnapFlyoutMetrics::ZoneID> {
    size_t operator()(const qv::SnapFlyoutMetrics::ZoneID& id) const noexcept {
        size_t h = std::hash<int>()(id.layout);
        return h ^ (std::hash<int>()(id.zone) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
    }
};
