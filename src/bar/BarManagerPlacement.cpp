// What the bar tells the window server about the strips it occupies, and the diagnostics of who
// owns the pointer over a bar.
#include <cmath>

#include "bar/BarGeometry.h"
#include "bar/BarManager.h"
#include "platform/Windowing.h"

namespace qv {

bool BarManager::sendDockStrip(const Rect& screenFrame, double height) {
    WindowServer& ws = platform_.windowServer;
    const double primaryMaxY = spaceWindows_.primaryScreenMaxY(platform_.displays.screens());
    const Rect r = dockStripRect(screenFrame, height, primaryMaxY);
    return ws.setDockRectWithOrientation(ws.mainConnectionID(), 0, 0, r.minX(), r.minY(), r.width(),
                                         r.height()) == 0;
}

void BarManager::applyDockRectRegistrations() {
    applyDockRectRegistrations(barSpaces(), platform_.displays.screens());
}

void BarManager::applyDockRectRegistrations(const std::vector<SpaceInfo>& desktops,
                                            const std::vector<Screen>& screens) {
    const double height = qv::barHeight(metrics_.barSize);
    std::map<uint32_t, DockRectRegistration> wanted;
    std::map<uint32_t, Screen> screenByNumber;
    for (const Screen& screen : coveredScreensForBar(desktops, screens)) {
        const auto number = SpaceWindows::displayID(screen);
        if (!number) continue;
        wanted[*number] = DockRectRegistration{screen.frame, height};
        screenByNumber[*number] = screen;
    }
    // Only what the window server took counts as registered: a refused strip is sent again by the
    // next pass, and a stale one whose clearing was refused is cleared again.
    std::map<uint32_t, DockRectRegistration> applied;
    for (const auto& [number, registration] : wanted) {
        auto previous = appliedDockRectRegistrations_.find(number);
        if ((previous != appliedDockRectRegistrations_.end() && previous->second == registration) ||
            sendDockStrip(screenByNumber[number].frame, registration.barHeight))
            applied[number] = registration;
    }
    std::map<uint32_t, Screen> current;
    for (const Screen& screen : screens) {
        if (auto number = SpaceWindows::displayID(screen)) current.emplace(*number, screen);
    }
    for (const auto& [number, registration] : appliedDockRectRegistrations_) {
        if (wanted.contains(number)) continue;
        auto screen = current.find(number);
        // A display no screen reports now (asleep, or away for a moment) may come back still
        // holding its strip: its entry stays, to be cleared then. Its frame is forgotten, so that a
        // bar it carries again is sent afresh.
        if (screen == current.end()) {
            applied[number] = DockRectRegistration{Rect{}, registration.barHeight};
            continue;
        }
        if (!sendDockStrip(screen->second.frame, 0)) applied[number] = registration;
    }
    appliedDockRectRegistrations_ = std::move(applied);
}

void BarManager::applyEdgeReservationsIfNeeded() {
    if (!debug_.edgeReservationEnabled) return;
    const double height = qv::barHeight(metrics_.barSize);
    // Nothing is remembered: every pass reserves every desktop's strip again.
    for (const auto& [spaceID, panel] : panels_) spaceWindows_.setBottomEdgeReservation(spaceID, height);
}

// --- Cursor-ownership diagnostics ---

void BarManager::startCursorOwnershipDiagnosticsIfNeeded() {
    if (!debug_.cursorOwnershipLoggingEnabled) return;
    Windowing& windowing = platform_.windowing;
    std::weak_ptr<BarManager> weak = weak_from_this();
    auto trigger = [](const char* where, const Event& event) {
        return std::string(where) + std::to_string(static_cast<int>(event.type));
    };
    localCursorOwnershipMonitor_ =
        windowing.addLocalMonitor(kCursorOwnershipEventMask, [weak, trigger](const Event& event) {
            if (auto self = weak.lock()) self->logCursorOwnershipIfNeeded(trigger("local:", event));
            return std::optional<Event>(event);
        });
    globalCursorOwnershipMonitor_ =
        windowing.addGlobalMonitor(kCursorOwnershipEventMask, [weak, trigger](const Event& event) {
            if (auto self = weak.lock()) self->logCursorOwnershipIfNeeded(trigger("global:", event));
        });
}

void BarManager::stopCursorOwnershipDiagnostics() {
    if (localCursorOwnershipMonitor_)
        platform_.windowing.removeMonitor(std::exchange(localCursorOwnershipMonitor_, 0));
    if (globalCursorOwnershipMonitor_)
        platform_.windowing.removeMonitor(std::exchange(globalCursorOwnershipMonitor_, 0));
}

std::vector<std::shared_ptr<BarPanel>> BarManager::visiblePanelsForCursorDiagnostics() const {
    std::vector<std::shared_ptr<BarPanel>> out;
    auto consider = [&](const std::shared_ptr<BarPanel>& panel) {
        if (panel->isVisible() && (panel->occlusionState() & 2u)) out.push_back(panel);
    };
    for (const auto& [id, panel] : panels_) consider(panel);
    for (const auto& [key, panel] : mirrorPanels_) consider(panel);
    return out;
}

void BarManager::logCursorOwnershipIfNeeded(const std::string&) {
    Windowing& windowing = platform_.windowing;
    const Point location = windowing.mouseLocation();
    std::shared_ptr<BarPanel> over;
    for (const auto& panel : visiblePanelsForCursorDiagnostics()) {
        Rect grown = panel->frame();
        grown.size.height += kCursorOwnershipGrowth;
        if (grown.contains(location)) {
            over = panel;
            break;
        }
    }
    if (!over) return;
    const uint32_t topmost = windowing.windowNumberAt(location, 0);
    const uint32_t below = windowing.windowNumberAt(location, over->windowNumber());
    const long height = std::lround(location.y - over->frame().minY());
    const std::string signature = std::to_string(over->windowNumber()) + "|" + std::to_string(topmost) + "|" +
                                  std::to_string(below) + "|" + std::to_string(height);
    const Seconds now = platform_.runtime.now();
    if (lastCursorOwnershipLogSignature_ == signature &&
        now - lastCursorOwnershipLogAt_ < kCursorOwnershipLogRepeat)
        return;
    lastCursorOwnershipLogSignature_ = signature;
    lastCursorOwnershipLogAt_ = now;
}

}  // namespace qv
