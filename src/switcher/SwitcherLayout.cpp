#include "switcher/SwitcherLayout.h"

#include <algorithm>
#include <cmath>

namespace qv {

double SwitcherMetrics::headerHeight(BarSize barSize) {
    // Header padding plus header row (padding and icon), plus the 1-point divider.
    switch (barSize) {
        case BarSize::small:
        case BarSize::medium:
            return 8 + 26 + 1;
        case BarSize::large:
            return 9 + 29 + 1;
        case BarSize::xl:
            return 10 + 32 + 1;
        case BarSize::xxl:
            return 11 + 35 + 1;
    }
    return 35;
}

SwitcherLayout SwitcherMetrics::layout(int windowCount, const Screen& screen, BarSize barSize) {
    const Rect visible = screen.visibleFrame;
    const int n = windowCount >= 2 ? windowCount : 1;
    const double header = headerHeight(barSize);
    const double across = 2 * kPadding;
    const int maxColumns = std::max(
        1, static_cast<int>(std::trunc((visible.width() * kWidthShare - across + kSpacing) / kColumnPitch)));
    const int maxRows = std::max(
        1, static_cast<int>(
               std::trunc((visible.height() * kHeightShare - header - across + kSpacing) / kRowPitch)));
    const int rowsNeeded = static_cast<int>(std::ceil(double(n) / double(maxColumns)));
    const int columns = static_cast<int>(std::ceil(double(n) / double(rowsNeeded)));
    const int rows = std::min(maxRows, rowsNeeded);

    SwitcherLayout result;
    result.columns = columns;
    result.scrolls = maxRows < rowsNeeded;
    const double width = columns * kCardWidth + (columns - 1) * kSpacing + across;
    result.gridHeight = rows * kCardHeight + (rows - 1) * kSpacing + across;
    const double height = header + result.gridHeight;
    // std::round takes halves away from zero.
    result.frame =
        Rect{std::round(visible.midX() - width / 2), std::round(visible.midY() - height / 2), width, height};
    return result;
}

std::optional<SwitcherEntry> WindowSwitcherModel::selectedEntry() const {
    const int index = *selectedIndex;
    if (index < 0 || index >= static_cast<int>(entries->size())) return std::nullopt;
    return (*entries)[static_cast<size_t>(index)];
}

}  // namespace qv
