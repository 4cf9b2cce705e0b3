#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "bar_views/ThumbnailPopups.h"
#include "platform/Dock.h"
#include "platform/Menu.h"
#include "platform/Windowing.h"
#include "platform/Workspace.h"

namespace qv {

inline constexpr const char* kActivityMonitorBundleIdentifier = "com.apple.ActivityMonitor";
inline constexpr const char* kActivityMonitorPath = "/System/Applications/Utilities/Activity Monitor.app";

// Opens Activity Monitor: the application registered under its identifier, else the bundle at the
// system's own path. Failures are not reported.
void openActivityMonitor(Workspace& workspace);

// The bar's own context menu: "Show Desktop", "Activity Monitor", a divider, "Settings". Settings
// opens through the hook its owner sets; without one the item does nothing.
Menu barContextMenu(Dock& dock, Workspace& workspace, std::function<void()> onSettingsRequested);

// Whether a right press in our windows closes and suppresses the bar's hover thumbnails: not when it
// lands in the open pop-up (the click is the pop-up's), nor when it lands in none of our windows
// while no pop-up is open. The window number is 0 for none.
bool rightPressSuppressesThumbnails(const ThumbnailPopups& popups, uint32_t eventWindowNumber);

// The right-mouse-down monitor of one bar: it hears every right press in our windows before the
// press opens a context menu, and always passes it on. Starting again replaces the monitor; a
// monitor the system refuses leaves none. Main thread.
class ContextMenuSuppressionMonitor {
  public:
    ContextMenuSuppressionMonitor(Windowing& windowing, std::function<void(const Event&)> onRightMouseDown);
    ~ContextMenuSuppressionMonitor();
    ContextMenuSuppressionMonitor(const ContextMenuSuppressionMonitor&) = delete;
    ContextMenuSuppressionMonitor& operator=(const ContextMenuSuppressionMonitor&) = delete;

    void start();
    void stop();
    std::optional<MonitorToken> token() const { return token_; }

  private:
    Windowing& windowing_;
    std::shared_ptr<std::function<void(const Event&)>> handler_;
    std::optional<MonitorToken> token_;
};

}  // namespace qv
