#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "model/BarSize.h"
#include "platform/Displays.h"
#include "ui/ArrowCursor.h"
#include "ui/OutsideClickMonitor.h"
#include "ui/Panel.h"

namespace qv {

// The list's first height for n desktops: rows of 26 with 4 between them and 38 of header and
// padding, kept within 100 to 300.
double spaceListFirstHeight(size_t desktopCount);

// The list's first frame on `screen` (AppKit space): 180 wide, its bottom 8 above the bar, centred
// on `anchorX` and kept 8 inside the visible frame, the left margin winning on a narrow screen.
Rect spaceListFrame(double anchorX, size_t desktopCount, const Screen& screen, BarSize barSize);

// The floating panel of the desktop list above a bar. It closes on a press outside it, in our
// windows or another application's, except a left press the owner's toggle test claims (the
// switcher button's own action closes it then). It grows and shrinks at the top, its bottom edge
// fixed where it opened. Main thread.
class SpaceListPanel : public Panel {
    struct Token {};

  public:
    static constexpr uint64_t kStyleMask = stylemask::kNonactivatingPanel;  // 128
    static constexpr uint64_t kCollectionBehavior =
        collectionbehavior::kTransient | collectionbehavior::kIgnoresCycle;  // 72
    static constexpr double kWidth = 180;
    static constexpr Seconds kFadeInDuration = 0.15;
    static constexpr Seconds kResizeDuration = 0.15;

    // A panel at `contentRect` (AppKit space) showing `content`; `onDismiss` runs once when it closes.
    static std::shared_ptr<SpaceListPanel> create(
        Windowing& windowing, Runtime& runtime, Rect contentRect, std::shared_ptr<View> content,
        std::function<void()> onDismiss, OutsideClickMonitor::TogglePressTest isTogglePress = nullptr);
    SpaceListPanel(Token, Windowing& windowing, Runtime& runtime, Rect contentRect);

    std::function<void()> onDismissHandler;
    double anchorY = 0;  // the bottom edge, fixed at creation

    bool canBecomeKey() const override { return true; }
    void sendEvent(const Event& event) override { sendEventKeepingArrowCursor(*this, event); }
    // Stops watching presses, runs the dismiss handler once, then closes the window.
    void close() override;
    // The content's measured height: taken up to 8 below the top of the screen's visible frame
    // (a cap never below 100), animated, the bottom edge kept.
    void updateHeight(double height);

    const OutsideClickMonitor* mouseMonitors() const { return mouseMonitors_.get(); }

  private:
    std::unique_ptr<OutsideClickMonitor> mouseMonitors_;
};

}  // namespace qv
