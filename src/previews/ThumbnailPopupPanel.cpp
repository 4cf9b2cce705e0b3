#include "previews/ThumbnailPopupPanel.h"

#include <algorithm>

namespace qv {

double clampedPopupX(double centerX, double width, const Rect& visible) {
    double x = std::min(centerX - width / 2, visible.maxX() - width - ThumbnailPopupPanel::kScreenMargin);
    return std::max(visible.minX() + ThumbnailPopupPanel::kScreenMargin, x);
}

ThumbnailPopupPanel::ThumbnailPopupPanel(Windowing& windowing, Runtime& runtime, Rect frame,
                                         double chipCenterX)
    : Panel(windowing, runtime, frame, stylemask::kNonactivatingPanel),
      anchorY(frame.minY()),
      anchorX(frame.minX()),
      chipCenterX(chipCenterX) {}

ThumbnailPopupPanel::~ThumbnailPopupPanel() {
    if (globalMouseMonitor) windowing().removeMonitor(globalMouseMonitor);
}

std::shared_ptr<ThumbnailPopupPanel> ThumbnailPopupPanel::make(Windowing& windowing, Runtime& runtime,
                                                               Rect frame, double chipCenterX,
                                                               std::shared_ptr<View> rootView,
                                                               Handlers handlers) {
    auto panel = Panel::make<ThumbnailPopupPanel>(windowing, runtime, frame, chipCenterX);
    panel->onDismissHandler = std::move(handlers.onDismiss);
    panel->onMouseEnteredHandler = std::move(handlers.onMouseEntered);
    panel->onMouseExitedHandler = std::move(handlers.onMouseExited);
    panel->isFloatingPanel = true;
    panel->setLevel(kLevel);
    panel->collectionBehavior = collectionbehavior::kTransient | collectionbehavior::kIgnoresCycle;
    panel->isOpaque = false;
    panel->backgroundColor = Color::clear();
    panel->hasShadow = true;
    panel->acceptsMouseMovedEvents = true;
    // Hidden without a close, the pop-up would stay its bar's open pop-up, out of sight and deaf
    // to the pointer; it stays until its bar closes it.
    panel->hidesOnDeactivate = false;
    panel->setContentView(std::make_shared<FirstMouseHostingView>(runtime, std::move(rootView)));
    if (const auto& content = panel->contentView()) {
        auto area = std::make_shared<TrackingArea>();
        area->rect = content->bounds();
        area->options = kTrackingOptions;
        area->owner = panel;
        content->addTrackingArea(area);
        panel->trackingArea = std::move(area);
    }
    panel->setupMouseMonitors();
    return panel;
}

void ThumbnailPopupPanel::setupMouseMonitors() {
    std::weak_ptr<Panel> weak = weak_from_this();
    globalMouseMonitor =
        windowing().addGlobalMonitor(eventMask(EventType::rightMouseDown), [weak](const Event&) {
            if (auto panel = weak.lock()) panel->close();
        });
}

void ThumbnailPopupPanel::close() {
    if (trackingArea && contentView()) contentView()->removeTrackingArea(trackingArea);
    if (globalMouseMonitor) windowing().removeMonitor(std::exchange(globalMouseMonitor, 0));
    // Taken out first: whatever the handler does, a later close does not call it again.
    if (auto dismiss = std::exchange(onDismissHandler, nullptr)) dismiss();
    Panel::close();
}

void ThumbnailPopupPanel::sendEvent(const Event& event) {
    const int type = static_cast<int>(event.type);
    const bool mouse = (type >= 1 && type <= 9) || type == 17 || type == 22 || (type >= 25 && type <= 27);
    if (!mouse) {
        Panel::sendEvent(event);
        return;
    }
    windowing().setCursor(Cursor::arrow);
    Panel::sendEvent(event);
    windowing().setCursor(Cursor::arrow);
}

void ThumbnailPopupPanel::mouseEntered(const Event& event) {
    Panel::mouseEntered(event);
    windowing().setCursor(Cursor::arrow);
    if (onMouseEnteredHandler) onMouseEnteredHandler();
}

void ThumbnailPopupPanel::mouseExited(const Event& event) {
    Panel::mouseExited(event);
    windowing().setCursor(Cursor::arrow);
    if (onMouseExitedHandler) onMouseExitedHandler();
}

void ThumbnailPopupPanel::updateWidthAndCenter(double width, double newChipCenterX) {
    chipCenterX = newChipCenterX;
    double w = width;
    double x = chipCenterX - w / 2;
    // Off every screen nothing bounds the panel: the width as asked, centred on the chip.
    if (auto s = screen()) {
        w = std::min(width, s->visibleFrame.width() - 2 * kScreenMargin);
        x = clampedPopupX(chipCenterX, w, s->visibleFrame);
    }
    anchorX = x;
    const Rect current = frame();
    animateFrame(Rect{x, current.minY(), w, current.height()}, Animation::easeInOut(kMoveDuration), true);
}

void ThumbnailPopupPanel::animateToFrame(Rect target, double newChipCenterX) {
    anchorX = target.minX();
    chipCenterX = newChipCenterX;
    animateFrame(target, Animation::easeInOut(kMoveDuration), true);
}

}  // namespace qv
