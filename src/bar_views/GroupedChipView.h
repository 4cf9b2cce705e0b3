#pragma once

#include <functional>
#include <optional>
#include <string>

#include "bar_views/ChipChrome.h"
#include "model/BarMetrics.h"
#include "model/GroupedChipData.h"
#include "platform/Windowing.h"
#include "ui/Node.h"

namespace qv {

// The chip of one app's windows on a desktop when windows are grouped by app: icon with badge,
// optional title and separator, and the number of windows. A value rebuilt on every redraw; a click
// is its creator's to attach.
struct GroupedChipView {
    Windowing& windowing;  // the current event and the pointer, for the hover report
    GroupedChipData group;
    BarMetrics metrics;
    bool showChipTitles = true;
    bool showWindowTitles = true;
    bool usesLightBar = false;
    ChipHoverHandler onHoverChanged = nullptr;
    std::function<void()> onQuitApp = nullptr;
    Binding<bool> pinToBar = {};
    Binding<bool> pinToAppMenu = {};
    bool canPin = false;

    std::optional<std::string> title() const;
    bool pulses() const { return group.wantsAttention && !group.isFocused; }
    double separatorOpacity() const { return usesLightBar ? 0.18 : 0.3; }
    Menu contextMenu() const;
    Node body() const& { return GroupedChipView(*this).body(); }
    // The menu keeps the view: an rvalue moves into it rather than being copied.
    Node body() &&;
};

}  // namespace qv
