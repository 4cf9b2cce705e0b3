#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dispatch/Runtime.h"
#include "model/BarMetrics.h"
#include "platform/Displays.h"
#include "platform/Image.h"
#include "platform/Windowing.h"
#include "ui/Node.h"

namespace qv {

// The square chip of a pinned app: icon with badge and the attention pulse, no title. Resting on it
// for 0.4 s shows the app's name in a tooltip above the bar. A value rebuilt on every redraw; the
// tooltip lives as long as the chip is on screen.
struct PinnedChipView {
    Windowing& windowing;  // the tooltip's panel, screens, pointer and mouse-down monitor
    Runtime& runtime;      // the tooltip's delay
    std::string bundleID;
    std::string appName;
    std::shared_ptr<const Image> icon;
    BarMetrics metrics;
    std::optional<std::string> badge = std::nullopt;
    bool wantsAttention = false;
    std::function<void()> onTap = nullptr;
    Binding<bool> pinToBar = {};

    static constexpr Seconds kTooltipDelay = 0.4;

    // "Open", a divider, "Unpin".
    Menu contextMenu() const;
    Node body() const;
};

// The screen that shows the tooltip: the first containing (anchor x, pointer y), else the main one.
std::optional<Screen> tooltipScreen(Windowing& windowing, double anchorX, Point pointer);
// The tooltip's frame: its bottom 4 points above the bar, centred on the anchor and kept 8 points
// inside the visible frame (the left margin wins when it is too wide for both).
Rect tooltipFrame(double anchorX, Size size, const Screen& screen, BarSize barSize);

}  // namespace qv
