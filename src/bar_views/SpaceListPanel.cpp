#include "bar_views/SpaceListPanel.h"

#include <algorithm>
#include <utility>

namespace qv {

double spaceListFirstHeight(size_t desktopCount) {
    const double n = static_cast<double>(std::max<size_t>(desktopCount, 1));
    return std::min(300.0, std::max(100.0, 26 * n + 4 * (n - 1) + 26 + 12));
}

Rect spaceListFrame(double anchorX, size_t desktopCount, const Screen& screen, BarSize barSize) {
    const Rect& visible = screen.visibleFrame;
    const double w = SpaceListPanel::kWidth;
    const double x = std::max(visible.minX() + 8, std::min(anchorX - w / 2, visible.maxX() - w - 8));
    return {x, screen.frame.minY() + barHeight(barSize) + 8, w, spaceListFirstHeight(desktopCount)};
}

std::shared_ptr<SpaceListPanel> SpaceListPanel::create(Windowing& windowing, Runtime& runtime,
                                                       Rect contentRect, std::shared_ptr<View> content,
                                                       std::function<void()> onDismiss,
                                                       OutsideClickMonitor::TogglePressTest isTogglePress) {
    auto panel = std::make_shared<SpaceListPanel>(Token{}, windowing, runtime, contentRect);
    panel->attach();
    panel->onDismissHandler = std::move(onDismiss);
    panel->setContentView(std::make_shared<HostingView>(runtime, std::move(content)));
    std::weak_ptr<SpaceListPanel> weak = panel;
    panel->mouseMonitors_ = std::make_unique<OutsideClickMonitor>(
        windowing, weak,
        [weak] {
            if (auto p = weak.lock()) p->close();
        },
        std::move(isTogglePress));
    return panel;
}

SpaceListPanel::SpaceListPanel(Token, Windowing& windowing, Runtime& runtime, Rect contentRect)
    : Panel(windowing, runtime, contentRect, kStyleMask), anchorY(contentRect.minY()) {
    isFloatingPanel = true;
    setLevel(windowlevel::kMainMenu);
    collectionBehavior = kCollectionBehavior;
    isOpaque = false;
    backgroundColor = Color::clear();
    hasShadow = true;
    acceptsMouseMovedEvents = true;
    hidesOnDeactivate = false;
}

void SpaceListPanel::close() {
    mouseMonitors_.reset();
    if (auto handler = std::exchange(onDismissHandler, nullptr)) handler();
    Panel::close();
}

void SpaceListPanel::updateHeight(double height) {
    if (auto s = screen()) height = std::min(height, std::max(s->visibleFrame.maxY() - anchorY - 8, 100.0));
    const Rect f = frame();
    animateFrame({f.minX(), anchorY, f.width(), height}, Animation::easeInOut(kResizeDuration), true);
}

}  // namespace qv
