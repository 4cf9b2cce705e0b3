#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "dispatch/Published.h"
#include "model/BarSize.h"
#include "platform/Geometry.h"
#include "platform/Image.h"
#include "switcher/SwitcherEntry.h"

namespace qv {

// The switcher grid's geometry for one session.
struct SwitcherLayout {
    int columns = 1;
    bool scrolls = false;
    double gridHeight = 0;  // the grid area below the header: visible rows, spacing and padding
    Rect frame;             // the panel's frame, AppKit screen space

    friend bool operator==(const SwitcherLayout&, const SwitcherLayout&) = default;
};

// Fixed card sizes; the panel grows with the window count up to 92 % of the usable width and 85 %
// of the usable height, and the grid scrolls beyond that.
struct SwitcherMetrics {
    static constexpr double kCardWidth = 212;
    static constexpr double kCardHeight = 182;
    static constexpr double kSpacing = 12;
    static constexpr double kPadding = 14;
    static constexpr double kColumnPitch = kCardWidth + kSpacing;
    static constexpr double kRowPitch = kCardHeight + kSpacing;
    static constexpr double kWidthShare = 0.92;
    static constexpr double kHeightShare = 0.85;

    // The header band above the grid (padding, row, divider) by bar size.
    static double headerHeight(BarSize barSize);
    // Columns are balanced: the fewest rows the width allows, then the fewest columns that fill
    // them. Centred on the screen's visible frame and never clamped to it.
    static SwitcherLayout layout(int windowCount, const Screen& screen, BarSize barSize);
};

// What the switcher panel draws. The controller writes it; the views only read it and report
// pointer entry and clicks through the callbacks.
class WindowSwitcherModel {
  public:
    Published<std::vector<SwitcherEntry>> entries;
    Published<int> selectedIndex{0};
    Published<std::map<uint32_t, std::shared_ptr<const Image>>> thumbnails;
    Published<SwitcherLayout> layout;
    Published<BarSize> barSize{BarSize::medium};
    Published<int> presentationID{0};  // grows by one per presentation of the panel
    std::function<void(int)> onHover;
    std::function<void(int)> onClick;

    std::optional<SwitcherEntry> selectedEntry() const;
};

}  // namespace qv
