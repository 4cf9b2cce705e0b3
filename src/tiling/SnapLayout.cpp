#include "tiling/SnapLayout.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

constexpr double kHalf = 1.0 / 2;
constexpr double kQuarter = 1.0 / 4;
constexpr double kThreeQuarters = 3.0 / 4;
constexpr double kThird = 1.0 / 3;
constexpr double kTwoThirds = 2.0 / 3;
// The zone that starts at two thirds reaches exactly 1: its width is computed, not the nearest
// double to a third.
const double kRestAfterTwoThirds = 1 - kTwoThirds;

std::vector<Rect> quarters() {
    return {{0, 0, kHalf, kHalf},
            {kHalf, 0, kHalf, kHalf},
            {0, kHalf, kHalf, kHalf},
            {kHalf, kHalf, kHalf, kHalf}};
}

// Rounds to the nearest whole point, halves away from zero.
double roundPoint(double v) {
    return std::round(v);
}

}  // namespace

std::vector<SnapLayout> SnapLayout::presets(double a, double usableWidth) {
    if (a < 0.9) {
        return {
            {{{0, 0, 1, kHalf}, {0, kHalf, 1, kHalf}}},
            {{{0, 0, 1, kTwoThirds}, {0, kTwoThirds, 1, kRestAfterTwoThirds}}},
            {{{0, 0, 1, kThird}, {0, kThird, 1, kThird}, {0, kTwoThirds, 1, kRestAfterTwoThirds}}},
            {{{0, 0, 1, kHalf}, {0, kHalf, kHalf, kHalf}, {kHalf, kHalf, kHalf, kHalf}}},
            {quarters()},
        };
    }
    if (a < 1.2) {
        return {
            {{{0, 0, kHalf, 1}, {kHalf, 0, kHalf, 1}}},
            {{{0, 0, 1, kHalf}, {0, kHalf, 1, kHalf}}},
            {{{0, 0, kTwoThirds, 1}, {kTwoThirds, 0, kRestAfterTwoThirds, 1}}},
            {quarters()},
        };
    }
    std::vector<SnapLayout> out = {
        {{{0, 0, kHalf, 1}, {kHalf, 0, kHalf, 1}}},
        {{{0, 0, kTwoThirds, 1}, {kTwoThirds, 0, kRestAfterTwoThirds, 1}}},
        {{{0, 0, kThird, 1}, {kThird, 0, kThird, 1}, {kTwoThirds, 0, kRestAfterTwoThirds, 1}}},
        {{{0, 0, kHalf, 1}, {kHalf, 0, kHalf, kHalf}, {kHalf, kHalf, kHalf, kHalf}}},
        {quarters()},
    };
    if (a >= 2.0 || usableWidth >= 1900) {
        out.push_back({{{0, 0, kQuarter, 1}, {kQuarter, 0, kHalf, 1}, {kThreeQuarters, 0, kQuarter, 1}}});
    }
    return out;
}

Rect SnapLayout::frame(const Rect& z, const Rect& usableArea, double m) {
    Rect inner = usableArea.insetBy(m, m);
    double left = roundPoint(inner.minX() + inner.width() * z.minX());
    double right = roundPoint(inner.minX() + inner.width() * z.maxX());
    double top = roundPoint(inner.minY() + inner.height() * z.minY());
    double bottom = roundPoint(inner.minY() + inner.height() * z.maxY());
    if (z.minX() > 0.001) left += m / 2;
    if (z.maxX() < 0.999) right -= m / 2;
    if (z.minY() > 0.001) top += m / 2;
    if (z.maxY() < 0.999) bottom -= m / 2;
    return {left, top, right - left, bottom - top};
}

SnapFlyoutMetrics::SnapFlyoutMetrics(std::vector<SnapLayout> layoutList, double displayAspect)
    : layouts(std::move(layoutList)) {
    const int n = static_cast<int>(layouts.size());
    double c = displayAspect <= 0.5 ? 0.5 : displayAspect > 2.4 ? 2.4 : displayAspect;
    double w = c < 1.0 ? 47 : 76;
    double h = roundPoint(w / c);
    columns = std::min(n, 3);
    int rows = (n + columns - 1) / std::max(columns, 1);
    thumbnailSize = {w, h};
    size = {columns * w + (columns - 1) * kGap + 2 * kPadding, rows * h + (rows - 1) * kGap + 2 * kPadding};
}

Rect SnapFlyoutMetrics::tileFrame(size_t i) const {
    const int n = static_cast<int>(layouts.size());
    const int index = static_cast<int>(i);
    const int row = index / columns, column = index % columns;
    const int k = std::min(columns, n - row * columns);
    const double w = thumbnailSize.width, h = thumbnailSize.height;
    const double x0 = (size.width - (k * w + (k - 1) * kGap)) / 2;
    return {x0 + column * (w + kGap), kPadding + row * (h + kGap), w, h};
}

std::optional<SnapFlyoutMetrics::ZoneID> SnapFlyoutMetrics::zone(Point p) const {
    for (size_t i = 0; i < layouts.size(); ++i) {
        Rect tile = tileFrame(i);
        if (!tile.contains(p)) continue;
        Rect inner = tile.insetBy(kZoneInset, kZoneInset);
        const auto& zones = layouts[i].zones;
        for (size_t j = 0; j < zones.size(); ++j) {
            const Rect& z = zones[j];
            Rect r{inner.minX() + inner.width() * z.minX(), inner.minY() + inner.height() * z.minY(),
                   inner.width() * z.width(), inner.height() * z.height()};
            if (r.contains(p)) return ZoneID{static_cast<int>(i), static_cast<int>(j)};
        }
    }
    return std::nullopt;
}

}  // namespace qv
