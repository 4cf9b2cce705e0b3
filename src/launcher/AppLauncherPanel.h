#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "launcher/AppLauncher.h"
#include "model/PinStore.h"
#include "platform/Platform.h"
#include "ui/OutsideClickMonitor.h"
#include "ui/Panel.h"

namespace qv {

// The launcher's floating panel above a bar: it takes the keyboard without activating our
// application, hands Up, Down and Return to its content, and asks to be dismissed, once, on a press
// outside it, on losing key status, or when its content or owner asks. A closed panel is never
// shown again. Main thread.
class AppLauncherPanel : public Panel {
    struct Token {};

  public:
    static constexpr uint64_t kStyleMask = stylemask::kNonactivatingPanel | stylemask::kFullSizeContentView;
    static constexpr uint64_t kCollectionBehavior =
        collectionbehavior::kTransient | collectionbehavior::kIgnoresCycle;  // 72
    static constexpr Size kContentSize{300, 400};
    static constexpr Point kOffsetFromAnchor{5, 8};

    // The only way to make one; `onDismiss` is the creator's handler, run at most once.
    static std::shared_ptr<AppLauncherPanel> create(Platform& platform, Rect contentRect,
                                                    std::shared_ptr<AppLauncher> launcher, PinStore& pinStore,
                                                    std::function<void()> onDismiss);
    AppLauncherPanel(Token, Platform& platform, Rect contentRect);
    ~AppLauncherPanel() override;

    // Where the panel's bottom-left corner goes above a bar panel's frame (both bottom-left based):
    // 5 right of its left edge, 8 above its top edge.
    static Point originAbove(const Rect& anchorFrame);

    // Set by the content; called for Up, Down and Return while the panel is key.
    std::function<void()> onArrowUp;
    std::function<void()> onArrowDown;
    std::function<void()> onReturn;
    std::function<void()> onDismissHandler;
    bool didRequestDismiss = false;

    // Every path to dismissal comes here; only the first request calls the handler.
    void requestDismiss();
    // The display of the bar the panel opens above. When the screens change and it is gone, the
    // panel asks to be dismissed rather than stay where no screen shows it.
    void setAnchorDisplayID(std::optional<uint32_t> displayID) { anchorDisplayID_ = displayID; }
    // A left press for which this answers true (a control that toggles the launcher) does not
    // dismiss it: the control's own action does.
    void setTogglePressTest(OutsideClickMonitor::TogglePressTest test);

    bool canBecomeKey() const override { return true; }
    bool canBecomeMain() const override { return false; }
    void sendEvent(const Event& event) override;
    void resignKey() override;
    // The content leaves with the window, so that it sees itself disappear.
    void close() override;

    MonitorToken localKeyEventMonitor() const { return localKeyEventMonitor_; }
    const OutsideClickMonitor* mouseEventMonitors() const { return mouseMonitors_.get(); }

  private:
    void installMonitors();
    void handleScreensChanged();

    Windowing& windowing_;
    Displays& displays_;
    std::optional<uint32_t> anchorDisplayID_;
    Subscription screensObserver_;
    MonitorToken localKeyEventMonitor_ = 0;
    std::unique_ptr<OutsideClickMonitor> mouseMonitors_;
};

}  // namespace qv
