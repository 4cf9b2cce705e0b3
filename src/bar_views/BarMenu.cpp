#include "bar_views/BarMenu.h"

#include <memory>

#include "bar_views/ShowDesktopButton.h"

namespace qv {

void openActivityMonitor(Workspace& workspace) {
    if (auto path = workspace.urlForApplication(kActivityMonitorBundleIdentifier)) {
        workspace.openApplication(*path);
        return;
    }
    workspace.openFile(kActivityMonitorPath);
}

Menu barContextMenu(Dock& dock, Workspace& workspace, std::function<void()> onSettingsRequested) {
    Dock* d = &dock;
    Workspace* w = &workspace;
    Menu menu;
    menu.items.push_back(MenuItem::button("Show Desktop", [d] { triggerShowDesktop(*d); }));
    menu.items.push_back(MenuItem::button("Activity Monitor", [w] { openActivityMonitor(*w); }));
    menu.items.push_back(MenuItem::separator());
    menu.items.push_back(MenuItem::button("Settings", [hook = std::move(onSettingsRequested)] {
        if (hook) hook();
    }));
    return menu;
}

bool rightPressSuppressesThumbnails(const ThumbnailPopups& popups, uint32_t eventWindowNumber) {
    if (eventWindowNumber == 0) return popups.hasThumbnailPopup();
    return !popups.isThumbnailPopupWindow(eventWindowNumber);
}

ContextMenuSuppressionMonitor::ContextMenuSuppressionMonitor(
    Windowing& windowing, std::function<void(const Event&)> onRightMouseDown)
    : windowing_(windowing),
      handler_(std::make_shared<std::function<void(const Event&)>>(std::move(onRightMouseDown))) {}

ContextMenuSuppressionMonitor::~ContextMenuSuppressionMonitor() {
    stop();
}

void ContextMenuSuppressionMonitor::start() {
    stop();
    std::weak_ptr<std::function<void(const Event&)>> weak = handler_;
    MonitorToken token = windowing_.addLocalMonitor(eventMask(EventType::rightMouseDown),
                                                    [weak](const Event& e) -> std::optional<Event> {
                                                        if (auto handler = weak.lock(); handler && *handler)
                                                            (*handler)(e);
                                                        return e;
                                                    });
    if (token != 0) token_ = token;
}

void ContextMenuSuppressionMonitor::stop() {
    if (auto token = std::exchange(token_, std::nullopt)) windowing_.removeMonitor(*token);
}

}  // namespace qv
