#include "launcher/AppLauncherPanel.h"

#include "launcher/AppLauncherPanelContent.h"
#include "platform/Windowing.h"
#include "tracking/SpaceWindows.h"
#include "ui/ArrowCursor.h"

namespace qv {

std::shared_ptr<AppLauncherPanel> AppLauncherPanel::create(Platform& platform, Rect contentRect,
                                                           std::shared_ptr<AppLauncher> launcher,
                                                           PinStore& pinStore,
                                                           std::function<void()> onDismiss) {
    auto panel = std::make_shared<AppLauncherPanel>(Token{}, platform, contentRect);
    panel->attach();
    panel->onDismissHandler = std::move(onDismiss);
    std::weak_ptr<AppLauncherPanel> weak = panel;
    auto content = std::make_shared<AppLauncherPanelContent>(
        platform, std::move(launcher), pinStore,
        [weak] {
            if (auto p = weak.lock()) p->requestDismiss();
        },
        weak);
    panel->setContentView(std::make_shared<HostingView>(platform.runtime, content));
    panel->installMonitors();
    panel->screensObserver_ = platform.notifications.addObserver(
        notifications::kApplicationDidChangeScreenParameters, platform.runtime.mainQueue(),
        [weak](const Notification&) {
            if (auto p = weak.lock()) p->handleScreensChanged();
        });
    return panel;
}

AppLauncherPanel::AppLauncherPanel(Token, Platform& platform, Rect contentRect)
    : Panel(platform.windowing, platform.runtime, contentRect, kStyleMask),
      windowing_(platform.windowing),
      displays_(platform.displays) {
    isFloatingPanel = true;
    setLevel(windowlevel::kFloating);
    collectionBehavior = kCollectionBehavior;
    isOpaque = false;
    backgroundColor = Color::clear();
    acceptsMouseMovedEvents = true;
    becomesKeyOnlyIfNeeded = false;
}

AppLauncherPanel::~AppLauncherPanel() {
    if (localKeyEventMonitor_) windowing_.removeMonitor(localKeyEventMonitor_);
}

Point AppLauncherPanel::originAbove(const Rect& anchorFrame) {
    return {anchorFrame.minX() + kOffsetFromAnchor.x, anchorFrame.maxY() + kOffsetFromAnchor.y};
}

void AppLauncherPanel::installMonitors() {
    std::weak_ptr<AppLauncherPanel> weak = std::static_pointer_cast<AppLauncherPanel>(shared_from_this());
    localKeyEventMonitor_ = windowing_.addLocalMonitor(
        eventMask(EventType::keyDown), [weak](const Event& e) -> std::optional<Event> {
            auto p = weak.lock();
            if (!p || !p->isKeyWindow()) return e;
            std::function<void()> action;
            switch (e.keyCode) {
                case keycodes::kUpArrow:
                    action = p->onArrowUp;
                    break;
                case keycodes::kDownArrow:
                    action = p->onArrowDown;
                    break;
                case keycodes::kReturn:
                    action = p->onReturn;
                    break;
                default:
                    return e;  // typing reaches the search field; Escape is the content's
            }
            if (action) action();
            return std::nullopt;  // swallowed, with or without a callback
        });
    mouseMonitors_ = std::make_unique<OutsideClickMonitor>(windowing_, weak, [weak] {
        if (auto p = weak.lock()) p->requestDismiss();
    });
}

void AppLauncherPanel::setTogglePressTest(OutsideClickMonitor::TogglePressTest test) {
    if (mouseMonitors_) mouseMonitors_->setTogglePressTest(std::move(test));
}

void AppLauncherPanel::handleScreensChanged() {
    if (!anchorDisplayID_ || didRequestDismiss) return;
    for (const Screen& screen : displays_.screens()) {
        if (SpaceWindows::displayID(screen) == anchorDisplayID_) return;
    }
    requestDismiss();
}

void AppLauncherPanel::requestDismiss() {
    if (didRequestDismiss) return;
    didRequestDismiss = true;
    if (auto handler = onDismissHandler) handler();
}

void AppLauncherPanel::sendEvent(const Event& event) {
    // The pointer over the launcher is the arrow, whatever lies beneath.
    sendEventKeepingArrowCursor(*this, event);
}

void AppLauncherPanel::resignKey() {
    Panel::resignKey();
    requestDismiss();
}

void AppLauncherPanel::close() {
    if (isClosed()) return;
    Panel::close();
    if (auto content = contentView()) {
        content->setRootView(nullptr);
        content->layoutNow();
    }
}

}  // namespace qv
