#pragma once

#include <functional>
#include <memory>

#include "platform/Windowing.h"
#include "ui/HostingView.h"
#include "ui/Panel.h"

namespace qv {

// The hosting view of a pop-up's content: a click while the program is inactive acts at once, and
// the cursor over it is always the arrow.
class FirstMouseHostingView : public HostingView {
  public:
    using HostingView::HostingView;
    bool acceptsFirstMouse(const Event&) const override { return true; }
    void resetCursorRects() override { addCursorRect(bounds(), Cursor::arrow); }
};

// The floating, non-activating panel above the bar that shows a chip's window pictures. It never
// becomes key or main, tells its creator when the pointer enters or leaves it, closes itself on a
// right click in another application, and calls its dismiss handler once, on the first close. A
// closed panel is never shown again; the next pop-up is a new panel.
class ThumbnailPopupPanel : public Panel {
  public:
    static constexpr int kLevel = windowlevel::kPopUpMenu;
    static constexpr uint32_t kTrackingOptions = TrackingArea::kMouseEnteredAndExited |
                                                 TrackingArea::kMouseMoved | TrackingArea::kCursorUpdate |
                                                 TrackingArea::kActiveAlways | TrackingArea::kInVisibleRect;
    static constexpr Seconds kMoveDuration = 0.15;
    static constexpr double kScreenMargin = 8;

    struct Handlers {
        std::function<void()> onDismiss = nullptr;
        std::function<void()> onMouseEntered = nullptr;
        std::function<void()> onMouseExited = nullptr;
    };

    // `frame` is the content rectangle on screen (AppKit's global space); the panel is built but
    // not shown: the creator fades it in or moves it into place.
    static std::shared_ptr<ThumbnailPopupPanel> make(Windowing& windowing, Runtime& runtime, Rect frame,
                                                     double chipCenterX, std::shared_ptr<View> rootView,
                                                     Handlers handlers);
    ThumbnailPopupPanel(Windowing& windowing, Runtime& runtime, Rect frame, double chipCenterX);
    ~ThumbnailPopupPanel() override;

    std::function<void()> onDismissHandler;
    std::function<void()> onMouseEnteredHandler;
    std::function<void()> onMouseExitedHandler;
    double anchorY = 0;      // the bottom edge at construction
    double anchorX = 0;      // the left edge as the panel last placed itself
    double chipCenterX = 0;  // the chip the panel belongs to
    std::shared_ptr<TrackingArea> trackingArea;
    MonitorToken globalMouseMonitor = 0;

    bool canBecomeKey() const override { return false; }
    bool canBecomeMain() const override { return false; }
    void close() override;
    void sendEvent(const Event& event) override;
    void mouseEntered(const Event& event) override;
    void mouseExited(const Event& event) override;

    // Resizes to `width` (at most the screen's visible width less 16), centred on the chip and kept
    // 8 points inside the visible frame, keeping the bottom edge and the height; animated.
    void updateWidthAndCenter(double width, double chipCenterX);
    // Slides to `frame` in 0.15 s.
    void animateToFrame(Rect frame, double chipCenterX);

  private:
    void setupMouseMonitors();
};

// The left edge of a pop-up `width` wide centred on `centerX`, kept 8 points inside `visible`; the
// left margin wins where both cannot hold.
double clampedPopupX(double centerX, double width, const Rect& visible);

}  // namespace qv
