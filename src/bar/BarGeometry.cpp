#include "bar/BarGeometry.h"

namespace qv {

Rect barPanelFrame(const Rect& screenFrame, double barHeight) {
    return {screenFrame.minX(), screenFrame.minY(), screenFrame.width(), barHeight};
}

Rect dockStripRect(const Rect& screenFrame, double height, double primaryMaxY) {
    return {screenFrame.minX(), primaryMaxY - (screenFrame.minY() + height), screenFrame.width(), height};
}

Rect launcherButtonFrame(const Rect& barFrame, const BarMetrics& metrics) {
    // The button's own width, the padding before its tile and five points of room after it.
    const double width = metrics.menuButtonWidth + metrics.scrollHorizontalPadding + 5;
    return {barFrame.minX(), barFrame.minY(), width, barFrame.height()};
}

std::vector<size_t> coveredScreenIndices(const std::set<size_t>& indices,
                                         const std::vector<std::optional<uint32_t>>& displayNumbers) {
    std::vector<size_t> out;
    std::set<uint32_t> seen;
    for (size_t index : indices) {
        if (index >= displayNumbers.size()) continue;
        const auto& number = displayNumbers[index];
        if (number && !seen.insert(*number).second) continue;
        out.push_back(index);
    }
    return out;
}

}  // namespace qv
