// Carrying another application's window to another desktop the way the user does: the title bar is
// grabbed with synthesised mouse events and, while the button is held, the desktop changes; the
// window server takes the held window along. Within one display the desktop's own shortcut changes
// the desktop and the window is dropped where it was taken; to another display, that display's
// desktop is made active and the window dragged across near its top-left corner.
#include <algorithm>

#include "bar/BarManager.h"
#include "platform/Windowing.h"
#include "tracking/AXWindowID.h"

namespace qv {

namespace {

constexpr Seconds kShortcutDelay = 0.05;
constexpr Seconds kSilicaFinishDelay = 0.4;
constexpr Seconds kSameDisplayFinishDelay = 0.05;
constexpr Seconds kSpacesRefreshDelay = 0.2;
constexpr Seconds kHandBackDelay = 0.05;

}  // namespace

bool BarManager::postMouseEvent(CGEventType type, Point at) {
    auto event = platform_.events.createMouseEvent(type, at, CGMouseButton::left);
    if (!event) return false;
    event->flags = 0;
    platform_.events.post(EventTapLocation::hid, *event);
    return true;
}

void BarManager::releaseDrag(Point grab, Point drop) {
    if (grab != drop) {
        postMouseEvent(eventtype::kLeftMouseDragged, Point{(grab.x + drop.x) / 2, (grab.y + drop.y) / 2});
        postMouseEvent(eventtype::kLeftMouseDragged, drop);
    }
    postMouseEvent(eventtype::kLeftMouseUp, drop);
}

void BarManager::refreshSpacesSoon() {
    // The chips follow the window once the window server has it on its new desktop.
    std::weak_ptr<BarManager> weak = weak_from_this();
    platform_.runtime.mainQueue()->asyncAfter(kSpacesRefreshDelay, [weak] {
        if (auto self = weak.lock()) self->windowStore_->refreshSpaces();
    });
}

void BarManager::moveWindowToSpaceByDragging(uint32_t id, uint64_t from, uint64_t to) {
    // A move counts as pending from its request until its title bar is pressed: a second one would
    // bring its own window forward, over the title bar the first is about to press.
    if (windowMoveRequested_ || pendingWindowMoveDrag_ || pendingSilicaWindowMove_ ||
        !windowStore_->windows().contains(id))
        return;
    windowMoveRequested_ = true;
    // The user's next choice of a window replaces this activation, and the move with it.
    CancellationTokenPtr replaced = viewModel_->activateWindow(id, false);
    const bool silica = shouldUseSilicaWindowMove(from, to);
    std::weak_ptr<BarManager> weak = weak_from_this();
    platform_.runtime.mainQueue()->asyncAfter(kWindowMoveBeginDelay, [weak, id, from, to, silica, replaced] {
        auto self = weak.lock();
        if (!self) return;
        if (silica) {
            self->beginSilicaWindowMove(id, from, to, replaced);
        } else {
            self->beginWindowMoveDrag(id, from, to, replaced);
        }
    });
}

void BarManager::moveWindow(uint32_t windowID, int toDesktopNumber) {
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    const auto move =
        keyboardDesktopMove(spaceWindows_.getSpaces(connection), spaceWindows_.spaceIDs(windowID, connection),
                            spaceWindows_.getActiveSpaceIDs(connection), toDesktopNumber);
    if (move) moveWindowToSpaceByDragging(windowID, move->from, move->to);
}

bool BarManager::shouldUseSilicaWindowMove(uint64_t from, uint64_t to) {
    const auto spaces = spaceWindows_.getSpaces(platform_.windowServer.mainConnectionID());
    auto find = [&](uint64_t id) {
        return std::find_if(spaces.begin(), spaces.end(),
                            [&](const SpaceInfo& s) { return s.spaceID == id; });
    };
    auto a = find(from), b = find(to);
    return a != spaces.end() && b != spaces.end() && a->displayIdentifier == b->displayIdentifier;
}

std::optional<int32_t> BarManager::movableWindowPID(uint32_t windowID) const {
    if (pendingWindowMoveDrag_ || pendingSilicaWindowMove_) return std::nullopt;
    auto tracked = windowStore_->windows().find(windowID);
    if (tracked == windowStore_->windows().end()) return std::nullopt;
    return tracked->second.pid;
}

bool BarManager::grabPointHolds(uint32_t windowID, const DragGeometry& geometry) {
    using namespace windowlist;
    const auto onScreen = windowInfoList(
        platform_.windowServer.copyWindowList(kOptionOnScreenOnly | kOptionExcludeDesktopElements, 0));
    return onScreen && qv::grabPointHolds(*onScreen, windowID, geometry);
}

void BarManager::beginSilicaWindowMove(uint32_t windowID, uint64_t sourceSpaceID, uint64_t targetSpaceID,
                                       CancellationTokenPtr replaced) {
    const auto pid = movableWindowPID(windowID);
    const auto number = pid ? missionControlDesktopNumber(targetSpaceID) : std::nullopt;
    const auto shortcut = number ? desktopSwitchShortcut(*number) : std::nullopt;
    if (!shortcut) {
        windowMoveRequested_ = false;
        return;
    }
    // The title bar is pressed once the application has told where it is.
    std::weak_ptr<BarManager> weak = weak_from_this();
    dragGeometryForWindow(windowID, *pid, replaced,
                          [weak, windowID, sourceSpaceID, targetSpaceID, shortcut = *shortcut,
                           replaced](std::optional<DragGeometry> geometry) {
                              auto self = weak.lock();
                              if (!self) return;
                              self->windowMoveRequested_ = false;
                              // Replaced, the move neither switches the desktop nor takes the front.
                              if (geometry && !isCancelled(replaced))
                                  self->pressForSilicaWindowMove(windowID, sourceSpaceID, targetSpaceID,
                                                                 shortcut, *geometry);
                          });
}

void BarManager::pressForSilicaWindowMove(uint32_t windowID, uint64_t sourceSpaceID, uint64_t targetSpaceID,
                                          DesktopSwitchShortcut shortcut, const DragGeometry& geometry) {
    // The window may have gone, or moved, while its application answered.
    const auto pid = movableWindowPID(windowID);
    if (!pid || !grabPointHolds(windowID, geometry)) return;
    const Point grab = geometry.grabPoint;
    if (!postMouseEvent(eventtype::kMouseMoved, grab) || !postMouseEvent(eventtype::kLeftMouseDown, grab))
        return;
    if (!postMouseEvent(eventtype::kLeftMouseDragged, grab)) {
        postMouseEvent(eventtype::kLeftMouseUp, grab);
        return;
    }
    const Point drop = dragDestinationPoint(sourceSpaceID, targetSpaceID, geometry);
    const auto app = platform_.workspace.runningApplication(*pid);
    pendingSilicaWindowMove_ = PendingSilicaWindowMove{windowID, targetSpaceID, grab, drop};
    pendingPreviousApp_ = app;

    std::weak_ptr<BarManager> weak = weak_from_this();
    std::shared_ptr<Queue> main = platform_.runtime.mainQueue();
    main->asyncAfter(kShortcutDelay, [weak, main, windowID, shortcut, grab, app] {
        auto self = weak.lock();
        if (!self || !self->pendingSilicaWindowMove_ || self->pendingSilicaWindowMove_->windowID != windowID)
            return;
        if (!self->postKeyboardShortcut(shortcut)) {
            // Without the shortcut the window is let go where it was taken.
            self->pendingSilicaWindowMove_.reset();
            self->pendingPreviousApp_.reset();
            self->postMouseEvent(eventtype::kLeftMouseUp, grab);
            return;
        }
        main->asyncAfter(kSilicaFinishDelay, [weak, windowID, app] {
            if (auto self = weak.lock()) self->finishSilicaWindowMove(windowID, app);
        });
    });
}

void BarManager::finishSilicaWindowMove(uint32_t windowID, std::optional<RunningApplication> previousApp) {
    if (!pendingSilicaWindowMove_ || pendingSilicaWindowMove_->windowID != windowID) return;
    const PendingSilicaWindowMove pending = *std::exchange(pendingSilicaWindowMove_, std::nullopt);
    pendingPreviousApp_.reset();
    releaseDrag(pending.mouseDownPoint, pending.dropPoint);
    refreshSpacesSoon();
    if (!previousApp || isProgram(*previousApp)) return;
    std::weak_ptr<BarManager> weak = weak_from_this();
    platform_.runtime.mainQueue()->asyncAfter(kHandBackDelay,
                                              [weak, windowID, pid = previousApp->processIdentifier] {
                                                  auto self = weak.lock();
                                                  if (!self) return;
                                                  if (self->platform_.windowing.isActive()) {
                                                      self->yieldActivationTo(pid);
                                                  } else {
                                                      self->viewModel_->activateWindow(windowID, false);
                                                  }
                                              });
}

void BarManager::beginWindowMoveDrag(uint32_t windowID, uint64_t sourceSpaceID, uint64_t targetSpaceID,
                                     CancellationTokenPtr replaced) {
    const auto pid = movableWindowPID(windowID);
    if (!pid) {
        windowMoveRequested_ = false;
        return;
    }
    std::weak_ptr<BarManager> weak = weak_from_this();
    dragGeometryForWindow(
        windowID, *pid, replaced,
        [weak, windowID, sourceSpaceID, targetSpaceID, replaced](std::optional<DragGeometry> geometry) {
            auto self = weak.lock();
            if (!self) return;
            self->windowMoveRequested_ = false;
            if (geometry && !isCancelled(replaced))
                self->pressForWindowMoveDrag(windowID, sourceSpaceID, targetSpaceID, *geometry);
        });
}

void BarManager::pressForWindowMoveDrag(uint32_t windowID, uint64_t sourceSpaceID, uint64_t targetSpaceID,
                                        const DragGeometry& geometry) {
    const auto pid = movableWindowPID(windowID);
    if (!pid || !grabPointHolds(windowID, geometry)) return;
    const Point grab = geometry.grabPoint;
    // The button stays down until the target desktop shows.
    if (!postMouseEvent(eventtype::kMouseMoved, grab) || !postMouseEvent(eventtype::kLeftMouseDown, grab))
        return;
    const Point drop = dragDestinationPoint(sourceSpaceID, targetSpaceID, geometry);
    pendingWindowMoveDrag_ = PendingWindowMoveDrag{windowID, sourceSpaceID, targetSpaceID, grab, drop};

    if (pendingWindowMoveDragTimeoutWork_) pendingWindowMoveDragTimeoutWork_->cancel();
    std::weak_ptr<BarManager> weak = weak_from_this();
    pendingWindowMoveDragTimeoutWork_ =
        platform_.runtime.mainQueue()->asyncAfter(kWindowMoveDragTimeout, [weak] {
            auto self = weak.lock();
            if (!self || !self->pendingWindowMoveDrag_) return;
            const Point taken = self->pendingWindowMoveDrag_->mouseDownPoint;
            self->pendingWindowMoveDrag_.reset();
            if (auto work = std::exchange(self->pendingWindowMoveDragTimeoutWork_, nullptr)) work->cancel();
            self->postMouseEvent(eventtype::kLeftMouseUp, taken);
        });

    const auto app = platform_.workspace.runningApplication(*pid);
    const auto active = spaceWindows_.getActiveSpaceIDs(platform_.windowServer.mainConnectionID());
    if (std::find(active.begin(), active.end(), targetSpaceID) == active.end()) {
        // The change of the active desktop finishes the move once the target shows.
        switchToSpace(targetSpaceID, app);
        return;
    }
    platform_.runtime.mainQueue()->asyncAfter(kSameDisplayFinishDelay, [weak, windowID, app] {
        auto self = weak.lock();
        if (self && self->pendingWindowMoveDrag_ && self->pendingWindowMoveDrag_->windowID == windowID)
            self->finishPendingWindowMoveDrag(*self->pendingWindowMoveDrag_, app);
    });
}

void BarManager::finishPendingWindowMoveDrag(PendingWindowMoveDrag pending,
                                             std::optional<RunningApplication> previousApp) {
    pendingWindowMoveDrag_.reset();
    if (auto work = std::exchange(pendingWindowMoveDragTimeoutWork_, nullptr)) work->cancel();
    releaseDrag(pending.mouseDownPoint, pending.dropPoint);
    refreshSpacesSoon();
    if (!previousApp || isProgram(*previousApp)) return;
    std::weak_ptr<BarManager> weak = weak_from_this();
    platform_.runtime.mainQueue()->asyncAfter(kHandBackDelay, [weak, pid = previousApp->processIdentifier] {
        if (auto self = weak.lock()) self->yieldActivationTo(pid);
    });
}

// --- Where to take hold of a window, and where to let it go ---

namespace {

// An element's frame from its "AXPosition" and "AXSize", both asked; none unless both are values
// of their kind.
std::optional<Rect> axFrame(Accessibility& ax, const AXElement& element) {
    Value position, size;
    const bool placed = ax.copyAttributeValue(element, "AXPosition", position) == kAXErrorSuccess;
    const bool sized = ax.copyAttributeValue(element, "AXSize", size) == kAXErrorSuccess;
    const auto at = placed ? position.asAXValue() : std::nullopt;
    const auto extent = sized ? size.asAXValue() : std::nullopt;
    if (!at || at->type != AXValueData::Type::Point || !extent || extent->type != AXValueData::Type::Size)
        return std::nullopt;
    return Rect{at->point, extent->size};
}

// On the application's worker: where the window is and where to take hold of it. A replaced move
// asks nothing more.
std::optional<DragGeometry> readDragGeometry(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                             int32_t pid, uint32_t windowID,
                                             const CancellationTokenPtr& replaced) {
    if (isCancelled(replaced)) return std::nullopt;
    const auto window = findAXWindow(ax, axGetWindow, ax.createApplication(pid), windowID);
    if (!window || isCancelled(replaced)) return std::nullopt;
    const auto frame = axFrame(ax, *window);
    if (!frame || isCancelled(replaced)) return std::nullopt;
    std::optional<Rect> zoom;
    Value button;
    if (ax.copyAttributeValue(*window, "AXZoomButton", button) == kAXErrorSuccess && !isCancelled(replaced)) {
        if (auto element = button.asElement()) zoom = axFrame(ax, *element);
    }
    return DragGeometry{dragGrabPoint(*frame, zoom), *frame};
}

}  // namespace

void BarManager::dragGeometryForWindow(uint32_t windowID, int32_t pid, CancellationTokenPtr replaced,
                                       std::function<void(std::optional<DragGeometry>)> answer) {
    platform_.appWorkers.ask(
        pid,
        [ax = &platform_.accessibility, getWindow = axGetWindow_, pid, windowID,
         replaced = std::move(replaced)] {
            return readDragGeometry(*ax, getWindow, pid, windowID, replaced);
        },
        std::move(answer));
}

Rect BarManager::cgScreenRect(const Rect& rect, const std::vector<Screen>& among) {
    return flipVertically(rect, spaceWindows_.primaryScreenMaxY(among));
}

Point BarManager::dragDestinationPoint(uint64_t from, uint64_t to, const DragGeometry& geometry) {
    const auto spaces = spaceWindows_.getSpaces(platform_.windowServer.mainConnectionID());
    auto find = [&](uint64_t id) {
        return std::find_if(spaces.begin(), spaces.end(),
                            [&](const SpaceInfo& s) { return s.spaceID == id; });
    };
    auto source = find(from), target = find(to);
    // Within one display the window is dropped where it was taken.
    if (source == spaces.end() || target == spaces.end() ||
        source->displayIdentifier == target->displayIdentifier)
        return geometry.grabPoint;
    const auto screens = platform_.displays.screens();
    const auto screen = spaceWindows_.screen(target->displayIdentifier, screens);
    if (!screen) return geometry.grabPoint;
    return crossDisplayDropPoint(geometry, cgScreenRect(screen->visibleFrame, screens));
}

}  // namespace qv
