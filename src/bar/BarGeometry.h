#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "model/BarMetrics.h"
#include "platform/Geometry.h"

namespace qv {

// A bar along the bottom of a screen's full frame (menu bar and Dock area included), AppKit space.
Rect barPanelFrame(const Rect& screenFrame, double barHeight);

// The strip of `height` along the bottom of a screen, in the window server's space (origin at the
// primary display's top-left corner, y down); `primaryMaxY` is the primary screen's top edge.
Rect dockStripRect(const Rect& screenFrame, double height, double primaryMaxY);

// Where the launcher button of a bar lies: its left end, the whole bar high (AppKit space, as the
// bar's frame).
Rect launcherButtonFrame(const Rect& barFrame, const BarMetrics& metrics);

// The screens that carry a bar, from the screen indices of the desktops and mirrors: ascending,
// within the list, at most one per display number (the lowest index wins); a screen without a
// number always counts.
std::vector<size_t> coveredScreenIndices(const std::set<size_t>& indices,
                                         const std::vector<std::optional<uint32_t>>& displayNumbers);

}  // namespace qv
