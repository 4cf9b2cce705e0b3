#include "bar/BarPanel.h"

#include <cmath>

#include "bar_views/WallpaperBrightnessMonitor.h"
#include "platform/Application.h"
#include "platform/Windowing.h"

namespace qv {

namespace {

constexpr int kTahoeMajorVersion = 26;

}  // namespace

// --- Shared by every panel ---

bool BarPanelEnvironment::isTahoeSystem(SystemInfo& system) {
    return system.operatingSystemMajorVersion() >= kTahoeMajorVersion;
}

BarPanelEnvironment::BarPanelEnvironment(Platform& platform, LightVerdict isLight)
    : platform(platform),
      isTahoe(isTahoeSystem(platform.system)),
      isLight(std::move(isLight)) {}

void BarPanelEnvironment::enableBackgroundCursor() {
    if (std::exchange(backgroundCursorDone_, true) || !isTahoe) return;
    WindowServer& ws = platform.windowServer;
    if (!ws.hasEntryPoint("SLSSetConnectionProperty")) return;
    const uint32_t connection = ws.mainConnectionID();
    ws.setConnectionProperty(connection, connection, "SetsCursorInBackground", Value::boolean(true));
}

// --- The overlay and the hosting view ---

void CursorOverlayView::setArrow() {
    windowing_.setCursor(Cursor::arrow);
}

void CursorOverlayView::updateTrackingAreas(HostingView& host, Rect bounds) {
    if (cursorTrackingArea) host.removeTrackingArea(cursorTrackingArea);
    auto area = std::make_shared<TrackingArea>();
    area->rect = bounds;
    area->options = BarPanel::kCursorTrackingOptions;
    std::weak_ptr<CursorOverlayView> weak = weak_from_this();
    area->viewOwner = [weak](const Event& event) {
        auto self = weak.lock();
        if (!self) return;
        if (event.type == EventType::mouseEntered) self->mouseEntered(event);
    };
    cursorTrackingArea = area;
    host.addTrackingArea(std::move(area));
}

bool BarHostingView::hitTest(Point p) const {
    // Transparent, empty parts of the bar take the event too, rather than the window behind.
    return HostingView::hitTest(p) || bounds().contains(p);
}

void BarHostingView::viewDidMoveToWindow() {
    HostingView::viewDidMoveToWindow();
    refreshCursorRectsIfNeeded(true);
}

void BarHostingView::setFrameSize(Size size) {
    HostingView::setFrameSize(size);
    // The overlay follows the hosting view's size, as its autoresizing mask asks.
    if (overlay) overlay->updateTrackingAreas(*this, bounds());
    refreshCursorRectsIfNeeded(false);
}

void BarHostingView::resetCursorRects() {
    HostingView::resetCursorRects();
    addCursorRect(bounds(), Cursor::arrow);
    lastInstalledCursorBounds = bounds();
}

void BarHostingView::refreshCursorRectsIfNeeded(bool force) {
    auto panel = window();
    if (!panel) return;
    if (!force && lastInstalledCursorBounds == bounds()) return;
    panel->resetCursorRects();
}

void BarHostingView::setOverlay(std::shared_ptr<CursorOverlayView> view) {
    if (overlay && overlay->cursorTrackingArea) removeTrackingArea(overlay->cursorTrackingArea);
    overlay = std::move(view);
    if (overlay) overlay->updateTrackingAreas(*this, bounds());
}

// --- The panel ---

std::shared_ptr<BarPanel> BarPanel::create(std::shared_ptr<BarPanelEnvironment> environment,
                                           Rect contentRect) {
    auto panel = Panel::make<BarPanel>(Token{}, std::move(environment), contentRect);
    panel->observeAppearanceChanges();
    return panel;
}

BarPanel::BarPanel(Token, std::shared_ptr<BarPanelEnvironment> environment, Rect contentRect)
    : Panel(environment->platform.windowing, environment->platform.runtime, contentRect,
            stylemask::kNonactivatingPanel),
      environment_(std::move(environment)) {
    environment_->platform.application.setActivationPolicy(ActivationPolicy::accessory);
    setLevel(kLevel);
    isMovable = false;
    collectionBehavior = kCollectionBehavior;
    backgroundColor = Color::clear();
    isOpaque = false;
    hasShadow = false;
    hidesOnDeactivate = false;
    isMovableByWindowBackground = false;
    animationBehavior = animationbehavior::kNone;
    acceptsMouseMovedEvents = true;
    ignoresMouseEvents = false;
    becomesKeyOnlyIfNeeded = true;
    if (environment_->isTahoe) {
        // Set once more: on 26 the system may restore a window background behind them.
        backgroundColor = Color::clear();
        isOpaque = false;
        hasShadow = false;
    }
    environment_->enableBackgroundCursor();
}

BarPanel::~BarPanel() {
    if (deferredArrowCursorWork_) deferredArrowCursorWork_->cancel();
}

void BarPanel::observeAppearanceChanges() {
    Platform& platform = environment_->platform;
    std::weak_ptr<BarPanel> weak = std::static_pointer_cast<BarPanel>(shared_from_this());
    auto refresh = [weak](const Notification&) {
        if (auto self = weak.lock()) self->updateBarAppearance();
    };
    accessibilityObserver_ = platform.workspace.notificationCenter().addObserver(
        kAccessibilityDisplayOptionsDidChange, platform.runtime.mainQueue(), refresh);
    // Every display's change, not only this panel's: the verdict is read again either way.
    wallpaperBrightnessObserver_ = platform.notifications.addObserver(
        WallpaperBrightnessMonitor::kDidChangeNotification, platform.runtime.mainQueue(), refresh);
}

void BarPanel::setDisplayID(std::optional<uint32_t> displayID) {
    if (displayID == displayID_) return;
    displayID_ = displayID;
    updateBarAppearance();
}

std::optional<Appearance> BarPanel::barAppearance(bool reduceTransparency, bool isLight) {
    if (reduceTransparency) return std::nullopt;
    return isLight ? Appearance::aqua : Appearance::darkAqua;
}

void BarPanel::updateBarAppearance() {
    const bool reduce = windowing().accessibilityDisplayShouldReduceTransparency();
    const auto& content = contentView();
    if (!content) return;
    content->setAppearance(barAppearance(reduce, !reduce && environment_->isLightDisplay(displayID_)));
}

void BarPanel::setFrame(Rect frame, bool display) {
    if (!isProgrammaticResize) return;
    Panel::setFrame(frame, display);
    // The tracking area covers the visible rectangle, whatever the size.
    if (cursorTrackingArea_ && contentView()) cursorTrackingArea_->rect = contentView()->bounds();
}

void BarPanel::setFrame(Rect frame, bool display, bool animate) {
    if (!isProgrammaticResize) return;
    Panel::setFrame(frame, display, animate);
}

void BarPanel::setContentView(std::shared_ptr<HostingView> view) {
    Panel::setContentView(std::move(view));
    updateBarAppearance();
    removeCursorTrackingArea();
    const auto& content = contentView();
    if (!content) return;
    auto area = std::make_shared<TrackingArea>();
    area->rect = content->bounds();
    area->options = kCursorTrackingOptions;
    area->owner = weak_from_this();
    content->addTrackingArea(area);
    cursorTrackingArea_ = std::move(area);
    cursorTrackingView_ = content;
}

void BarPanel::removeCursorTrackingArea() {
    if (auto view = cursorTrackingView_.lock(); view && cursorTrackingArea_)
        view->removeTrackingArea(cursorTrackingArea_);
    cursorTrackingArea_.reset();
    cursorTrackingView_.reset();
}

void BarPanel::setArrowCursor() {
    windowing().setCursor(Cursor::arrow);
}

bool BarPanel::forcesArrowCursor(EventType type, bool isTahoe) {
    switch (type) {
        case EventType::leftMouseDown:
        case EventType::leftMouseUp:
        case EventType::rightMouseDown:
        case EventType::rightMouseUp:
        case EventType::mouseMoved:
        case EventType::leftMouseDragged:
        case EventType::rightMouseDragged:
        case EventType::mouseEntered:
        case EventType::cursorUpdate:
        case EventType::scrollWheel:
        case EventType::otherMouseDown:
        case EventType::otherMouseUp:
        case EventType::otherMouseDragged:
            return true;
        case EventType::mouseExited:
            return !isTahoe;
        default:
            return false;
    }
}

BarPanel::ScrollRoute BarPanel::scrollRoute(const Event& scroll, bool overChipsArea) {
    if (scroll.momentumPhase != MomentumPhase::none) return ScrollRoute::dropped;
    const double dy = std::abs(scroll.scrollingDeltaY);
    if (dy > 1.0 && dy > std::abs(scroll.scrollingDeltaX) && !overChipsArea)
        return ScrollRoute::verticalScroll;
    return ScrollRoute::panel;
}

void BarPanel::sendEvent(const Event& event) {
    const bool arrow = forcesArrowCursor(event.type, environment_->isTahoe);
    if (arrow) setArrowCursor();
    if (event.type == EventType::scrollWheel) {
        switch (scrollRoute(event, mouseIsOverChipsArea)) {
            case ScrollRoute::dropped:
                return;
            case ScrollRoute::verticalScroll:
                if (onVerticalScroll) onVerticalScroll(event);
                return;
            case ScrollRoute::panel:
                break;
        }
    }
    Panel::sendEvent(event);
    if (arrow) setArrowCursor();
}

void BarPanel::mouseEntered(const Event& event) {
    setArrowCursor();
    scheduleDeferredArrowCursor();
    if (contentView()) {
        invalidateCursorRects();
        resetCursorRects();
    }
    Panel::mouseEntered(event);
}

void BarPanel::mouseMoved(const Event& event) {
    setArrowCursor();
    scheduleDeferredArrowCursor();
    Panel::mouseMoved(event);
}

void BarPanel::cursorUpdate(const Event&) {
    setArrowCursor();
}

void BarPanel::scheduleDeferredArrowCursor() {
    if (!environment_->isTahoe) return;
    if (deferredArrowCursorWork_) deferredArrowCursorWork_->cancel();
    std::weak_ptr<BarPanel> weak = std::static_pointer_cast<BarPanel>(shared_from_this());
    deferredArrowCursorWork_ = runtime().mainQueue()->asyncAfter(kDeferredArrowCursorDelay, [weak] {
        auto self = weak.lock();
        if (self && self->isVisible() && self->frame().contains(self->windowing().mouseLocation()))
            self->setArrowCursor();
    });
}

void BarPanel::close() {
    accessibilityObserver_.cancel();
    wallpaperBrightnessObserver_.cancel();
    removeCursorTrackingArea();
    if (deferredArrowCursorWork_) deferredArrowCursorWork_->cancel();
    Panel::close();
}

}  // namespace qv
