#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Platform.h"
#include "ui/HostingView.h"
#include "ui/Panel.h"

namespace qv {

// What every bar panel of the program shares: the platform, whether the system is 26 or later,
// and where the light or dark verdict for a display comes from.
class BarPanelEnvironment {
  public:
    using LightVerdict = std::function<bool(std::optional<uint32_t> displayID)>;

    explicit BarPanelEnvironment(Platform& platform, LightVerdict isLight = {});

    Platform& platform;
    // Operating system 26 or later: the cursor overlay over the bar content, the background
    // cursor, and mouse exits that no longer force the arrow.
    const bool isTahoe;
    // Whether the running system is 26 or later.
    static bool isTahoeSystem(SystemInfo& system);
    // The wallpaper's verdict under a display; dark (false) while nothing gives one.
    LightVerdict isLight;

    bool isLightDisplay(std::optional<uint32_t> displayID) const { return isLight && isLight(displayID); }
    // Lets the bars set the cursor while another application is active. Runs its action once,
    // and only on 26 and later when the window server offers the call.
    void enableBackgroundCursor();

  private:
    bool backgroundCursorDone_ = false;
};

// The click-through view over the bar content on 26 and later, whose only job is to keep the arrow
// cursor. Our view layer has no view hierarchy: the hosting view carries it, where AppKit would
// stack it above the hosting view in a plain container.
class CursorOverlayView : public std::enable_shared_from_this<CursorOverlayView> {
  public:
    explicit CursorOverlayView(Windowing& windowing) : windowing_(windowing) {}

    std::shared_ptr<TrackingArea> cursorTrackingArea;

    // The overlay never takes a click.
    bool hitTest(Point) const { return false; }
    // Replaces its tracking area on the view it lies over, covering `bounds`.
    void updateTrackingAreas(HostingView& host, Rect bounds);
    void cursorUpdate(const Event&) { setArrow(); }
    void mouseEntered(const Event&) { setArrow(); }
    void mouseMoved(const Event&) { setArrow(); }

  private:
    void setArrow();
    Windowing& windowing_;
};

// The hosting view of a bar's content: the first click acts at once, empty parts of the bar still
// take clicks and scrolls, and the whole bar keeps an arrow cursor rectangle.
class BarHostingView : public HostingView {
  public:
    BarHostingView(Runtime& runtime, std::shared_ptr<View> root) : HostingView(runtime, std::move(root)) {}

    Rect lastInstalledCursorBounds;
    std::shared_ptr<CursorOverlayView> overlay;  // on 26 and later

    bool acceptsFirstMouse(const Event&) const override { return true; }
    bool hitTest(Point p) const override;
    void viewDidMoveToWindow() override;
    void setFrameSize(Size size) override;
    void resetCursorRects() override;
    void refreshCursorRectsIfNeeded(bool force);
    void setOverlay(std::shared_ptr<CursorOverlayView> view);
};

// The window of one bar: a borderless, non-activating panel above ordinary windows. It refuses
// frame changes its owner did not make, becomes key only when allowed, keeps the arrow cursor over
// the bar, hands vertical scroll gestures to its owner and takes a light or dark appearance from
// the wallpaper under it.
class BarPanel : public Panel {
    struct Token {};

  public:
    static constexpr const char* kAccessibilityDisplayOptionsDidChange =
        notifications::kWorkspaceAccessibilityDisplayOptionsDidChange;
    static constexpr int kLevel = windowlevel::kMainMenu;
    static constexpr uint64_t kCollectionBehavior = collectionbehavior::kManaged |
                                                    collectionbehavior::kIgnoresCycle |
                                                    collectionbehavior::kFullScreenAuxiliary;  // 0x144
    // Entered and exited, moved, cursor update, always active, in the visible rectangle.
    static constexpr uint32_t kCursorTrackingOptions = 0x287;
    static constexpr Seconds kDeferredArrowCursorDelay = 0.05;

    // The only way to make a bar panel.
    static std::shared_ptr<BarPanel> create(std::shared_ptr<BarPanelEnvironment> environment,
                                            Rect contentRect);
    BarPanel(Token, std::shared_ptr<BarPanelEnvironment> environment, Rect contentRect);
    ~BarPanel() override;

    // True only while the owner sets the frame; every other frame change is ignored.
    bool isProgrammaticResize = false;
    // Vertical scroll gestures outside the chips row; without it they are swallowed.
    std::function<void(const Event&)> onVerticalScroll;
    bool mouseIsOverChipsArea = false;  // set by the bar content
    bool allowBecomeKey = false;

    std::optional<uint32_t> displayID() const { return displayID_; }
    // A different value re-applies the appearance; the same value does nothing.
    void setDisplayID(std::optional<uint32_t> displayID);
    void updateBarAppearance();

    void setFrame(Rect frame, bool display) override;
    void setFrame(Rect frame, bool display, bool animate) override;
    void setContentView(std::shared_ptr<HostingView> view) override;
    bool canBecomeKey() const override { return allowBecomeKey; }
    bool canBecomeMain() const override { return false; }
    void mouseEntered(const Event& event) override;
    void mouseMoved(const Event& event) override;
    void cursorUpdate(const Event& event) override;
    void sendEvent(const Event& event) override;
    void close() override;

    const std::shared_ptr<BarPanelEnvironment>& environment() const { return environment_; }
    const WorkItemPtr& deferredArrowCursorWork() const { return deferredArrowCursorWork_; }

    // --- The panel's decisions ---
    // Whether an event of this type sets the arrow cursor as it passes.
    static bool forcesArrowCursor(EventType type, bool isTahoe);
    enum class ScrollRoute { dropped, verticalScroll, panel };
    // Momentum is dropped; a mostly vertical scroll beyond one point outside the chips row goes to
    // the owner; everything else to the panel class.
    static ScrollRoute scrollRoute(const Event& scroll, bool overChipsArea);
    // None: cleared, the system's appearance applies.
    static std::optional<Appearance> barAppearance(bool reduceTransparency, bool isLight);

  private:
    void observeAppearanceChanges();
    void scheduleDeferredArrowCursor();
    void setArrowCursor();
    void removeCursorTrackingArea();

    std::shared_ptr<BarPanelEnvironment> environment_;
    std::optional<uint32_t> displayID_;
    std::shared_ptr<TrackingArea> cursorTrackingArea_;
    std::weak_ptr<HostingView> cursorTrackingView_;
    WorkItemPtr deferredArrowCursorWork_;
    Subscription accessibilityObserver_;
    Subscription wallpaperBrightnessObserver_;
};

}  // namespace qv
