#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "bar/BarManager.h"

namespace qv {

// Reaches what the bar manager keeps to itself: the services it started, the switches and moves it
// holds pending, what the cursor diagnostics saw last, and the switches and moves only its own
// views and the tiling controller ask of it.
struct BarManagerProbe {
    static const std::shared_ptr<MouseDisplayTracker>& mouseDisplayTracker(const BarManager& bar) {
        return bar.mouseDisplayTracker_;
    }
    static const std::shared_ptr<WindowAvoidanceManager>& avoidanceManager(const BarManager& bar) {
        return bar.avoidanceManager_;
    }
    static const std::map<uint64_t, std::shared_ptr<BarPanel>>& fullscreenPanels(const BarManager& bar) {
        return bar.fullscreenPanels_;
    }
    static const std::optional<BarManager::PendingWindowMoveDrag>& pendingWindowMoveDrag(
        const BarManager& bar) {
        return bar.pendingWindowMoveDrag_;
    }
    static const std::optional<BarManager::PendingFullscreenAXActivation>& pendingFullscreenAXActivation(
        const BarManager& bar) {
        return bar.pendingFullscreenAXActivation_;
    }
    static const std::optional<std::string>& lastCursorOwnershipLogSignature(const BarManager& bar) {
        return bar.lastCursorOwnershipLogSignature_;
    }
    static Seconds lastCursorOwnershipLogAt(const BarManager& bar) { return bar.lastCursorOwnershipLogAt_; }

    static void switchToSpace(BarManager& bar, uint64_t spaceID,
                              std::optional<RunningApplication> yieldingBackTo) {
        bar.switchToSpace(spaceID, std::move(yieldingBackTo));
    }
    static void switchToFullscreenSpace(BarManager& bar, uint64_t spaceID) {
        bar.switchToFullscreenSpace(spaceID);
    }
    static void cleanupFullscreenProxySwitchIfNeeded(BarManager& bar, uint64_t spaceID) {
        bar.cleanupFullscreenProxySwitchIfNeeded(spaceID);
    }
    static void moveWindow(BarManager& bar, uint32_t windowID, int toDesktopNumber) {
        bar.moveWindow(windowID, toDesktopNumber);
    }
};

}  // namespace qv
