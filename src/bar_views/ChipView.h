#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bar_views/ChipChrome.h"
#include "model/BarMetrics.h"
#include "model/ChipData.h"
#include "model/WindowMenus.h"
#include "platform/Windowing.h"
#include "ui/Node.h"

namespace qv {

// The chip of one window on the bar: icon with badge, optional title, a body that marks the focused
// window, the attention pulse and the window's context menu. A value rebuilt on every redraw; a
// click is its creator's to attach. Absent callbacks and bindings leave their menu entries out.
struct ChipView {
    Windowing& windowing;  // the current event and the pointer, for the hover report
    ChipData chip;
    BarMetrics metrics;
    bool isFocused = false;
    bool showChipTitles = true;
    bool showWindowTitles = true;
    bool usesLightBar = false;
    ChipHoverHandler onHoverChanged = nullptr;
    std::function<void()> onMinimize = nullptr;
    std::function<void()> onClose = nullptr;
    std::function<void()> onQuitApp = nullptr;
    Binding<bool> pinToBar = {};
    Binding<bool> pinToAppMenu = {};
    bool canPin = false;
    // The targets of "Move to", without the window's own desktop; asked each time the menu opens.
    std::function<std::vector<MoveToDisplayGroup>()> moveToGroups = nullptr;
    std::function<void(uint64_t spaceID)> onMoveToSpace = nullptr;

    // The title shown, none when titles are off.
    std::optional<std::string> title() const;
    // The focused window's chip never pulses.
    bool pulses() const { return chip.wantsAttention && !isFocused; }
    // Built afresh each time it opens; `screenCount` decides how "Move to" lists its targets.
    Menu contextMenu(size_t screenCount) const;
    Node body() const& { return ChipView(*this).body(); }
    // The menu keeps the view: an rvalue moves into it rather than being copied.
    Node body() &&;
};

}  // namespace qv
