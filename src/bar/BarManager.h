#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bar/BarDebug.h"
#include "bar/BarPanel.h"
#include "bar/BarPanelSync.h"
#include "bar/DesktopNavigation.h"
#include "bar/MouseDisplayTracker.h"
#include "bar/WindowAvoidanceManager.h"
#include "bar_views/BarContentView.h"
#include "launcher/AppLauncher.h"
#include "launcher/AppLauncherPanel.h"
#include "model/BadgeService.h"
#include "model/BarMetrics.h"
#include "model/BarViewModel.h"
#include "model/PinStore.h"
#include "model/UserSettings.h"
#include "platform/Platform.h"
#include "platform/Windowing.h"
#include "switcher/WindowSwitcherController.h"
#include "tiling/WindowTilingController.h"
#include "tracking/AXWindowID.h"
#include "tracking/SpaceWindows.h"
#include "tracking/WindowStore.h"

namespace qv {

// The controller of every bar window. It keeps one bar panel per desktop, pinned to that desktop
// and laid along the bottom of its screen, so that the window server itself shows the bar of the
// desktop the user changes to; mirror panels on displays without desktops of their own; invisible
// stand-ins of full-screen desktops; the bar's strip registered with the window server per display,
// and the edge reservations. It switches desktops and carries windows between them, and wires the
// models, the launcher and the background services together. Main thread only.
class BarManager : public BarPanelSync, public std::enable_shared_from_this<BarManager> {
    struct Token {};

  public:
    // A mirror bar: a desktop's bar on the screen at an index of the screen list.
    struct MirrorKey {
        uint64_t spaceID = 0;
        size_t screenIndex = 0;
        friend auto operator<=>(const MirrorKey&, const MirrorKey&) = default;
    };

    // Builds the whole bar (its panels included) over the program's window store.
    static std::shared_ptr<BarManager> create(Platform& platform, std::shared_ptr<WindowStore> windowStore,
                                              const BarMetrics& metrics,
                                              std::shared_ptr<UserSettings> settings,
                                              std::shared_ptr<BadgeService> badgeService);
    BarManager(Token, Platform& platform, std::shared_ptr<WindowStore> windowStore, const BarMetrics& metrics,
               std::shared_ptr<UserSettings> settings);
    ~BarManager() override;
    BarManager(const BarManager&) = delete;
    BarManager& operator=(const BarManager&) = delete;

    // --- Panels per desktop, as the start-up asks ---
    void syncPanels() override;
    void repositionPanels() override;
    // The height of the bar on a display that carries a bar or a mirror bar; 0 on any other.
    double barHeight(uint32_t onDisplay) const;

    // --- What the bar holds, for those that look at it ---
    // Per desktop that is not full screen.
    const std::map<uint64_t, std::shared_ptr<BarPanel>>& panels() const { return panels_; }
    const std::map<MirrorKey, std::shared_ptr<BarPanel>>& mirrorPanels() const { return mirrorPanels_; }
    const BarMetrics& metrics() const { return metrics_; }
    const std::shared_ptr<BarViewModel>& viewModel() const { return viewModel_; }
    const std::shared_ptr<AppLauncher>& appLauncher() const { return appLauncher_; }
    // The open launcher; none while it is closed.
    const std::shared_ptr<AppLauncherPanel>& launcherPanel() const { return launcherPanel_; }
    // Each only where the system supports it.
    const std::shared_ptr<WindowSwitcherController>& windowSwitcher() const { return windowSwitcher_; }
    const std::shared_ptr<WindowTilingController>& windowTiling() const { return windowTiling_; }

    // The settings window, shown from the bar's own menu; the composition root sets it (the bar
    // cannot link the settings window). Unset, the menu item does nothing.
    std::function<void()> openSettings;

  private:
    friend struct BarManagerProbe;  // tests reach the pending switches and moves through it

    using SpaceInfo = SpaceWindows::SpaceInfo;

    // What was registered as the bar's strip for one display.
    struct DockRectRegistration {
        Rect screenFrame;  // the display's full frame, AppKit space
        double barHeight = 0;
        friend bool operator==(const DockRectRegistration&, const DockRectRegistration&) = default;
    };
    // A system shortcut that switches to one desktop.
    struct DesktopSwitchShortcut {
        uint16_t keyCode = 0;
        CGEventFlags flags = 0;  // the modifiers the window server reports, widened
    };
    // A switch to a full-screen desktop waiting for it to become active.
    struct PendingFullscreenAXActivation {
        uint32_t windowID = 0;  // focused once the switch lands
        uint64_t targetSpaceID = 0;
    };
    // A window carried to another display, held until that display's desktop is active.
    struct PendingWindowMoveDrag {
        uint32_t windowID = 0;
        uint64_t sourceSpaceID = 0;
        uint64_t targetSpaceID = 0;
        Point mouseDownPoint;  // the grab point
        Point dropPoint;
    };
    // A window carried to another desktop of its display by the desktop's shortcut while held.
    struct PendingSilicaWindowMove {
        uint32_t windowID = 0;
        uint64_t targetSpaceID = 0;
        Point mouseDownPoint;
        Point dropPoint;
    };

    static constexpr Seconds kScrollSwitchLock = 0.38;
    // A switch not announced by then counts as not made: scrolls count from what shows again.
    static constexpr Seconds kSwitchUnderWayLimit = 2.0;
    static constexpr Seconds kFullscreenProxyCleanupDelay = 1.0;
    static constexpr Seconds kWindowMoveBeginDelay = 0.18;
    static constexpr Seconds kWindowMoveDragTimeout = 1.5;
    static constexpr const char* kFinderBundleIdentifier = "com.apple.finder";

    // --- Panels per desktop ---
    // False when no screen is there to stand on; the next sync tries again.
    bool createPanel(const SpaceInfo& space);
    void handleSettingsChanged();
    void applyBarMetrics(const BarMetrics& newMetrics);
    std::shared_ptr<WindowAvoidanceManager> makeAvoidanceManager();

    // --- Content ---
    std::shared_ptr<BarContentView> makeBarContentView(uint64_t spaceID, size_t screenIndex,
                                                       const std::shared_ptr<BarPanel>& panel);
    // New content, with the current metrics, in every bar and mirror panel.
    void rebuildPanelContentViews();

    // --- The launcher (BarManagerLauncher.cpp) ---
    // Opens the launcher above a bar, or closes the open one (whichever bar's button was pressed).
    void showAppLauncher(const std::shared_ptr<BarPanel>& anchor);
    // A hover thumbnail is about to show: an open launcher goes first.
    void handleThumbnailWillShow();
    // After the bars were placed again: the open launcher stands above its bar where it is now, or
    // closes when that bar is gone.
    void followLauncherAnchor();
    // The bar to open the launcher above when its hot key fires: the active desktop's on the screen
    // under the pointer, else another active desktop's, else any; none without bars.
    std::shared_ptr<BarPanel> resolveLauncherAnchorPanel();
    // The index in the screen list of the screen under the pointer.
    std::optional<size_t> preferredMouseScreenIndex();
    // The mirror of a desktop on that screen, else the desktop's own bar.
    std::shared_ptr<BarPanel> launcherAnchorPanel(uint64_t spaceID, size_t preferredScreenIndex);

    // --- Full-screen desktops and which panels show (BarManagerFullscreen.cpp) ---
    void syncFullscreenProxyPanels(const std::vector<SpaceInfo>& spaces);
    // False when there is no screen to stand on; the next sync tries again.
    bool createFullscreenProxyPanel(const SpaceInfo& space);
    void repositionFullscreenProxyPanels();
    // After every change of the active desktop: the bars of a display showing a full-screen desktop
    // go out, stand-ins stay out of sight, the bars and mirrors of the active desktops come front.
    void updateActiveSpacePanelVisibility();
    void orderOutPanels(const std::string& onDisplayIdentifier);
    void orderOutPanels(const std::string& onDisplayIdentifier,
                        const std::map<uint64_t, SpaceInfo>& spacesByID);
    void switchToFullscreenSpace(uint64_t spaceID);
    void cleanupFullscreenProxySwitchIfNeeded(uint64_t spaceID);
    void completeFullscreenProxySwitch(PendingFullscreenAXActivation pending);

    // --- Switching desktops (BarManagerNavigation.cpp) ---
    void switchToSpace(uint64_t spaceID, std::optional<RunningApplication> yieldingBackTo);
    std::optional<int> missionControlDesktopNumber(uint64_t spaceID);
    // The shortcut of desktop n, switched on in the system (for good) when it was off.
    std::optional<DesktopSwitchShortcut> desktopSwitchShortcut(int forDesktopNumber);
    void switchToAdjacentSpace(bool goRight, uint64_t fromSpaceID);
    void handleScrollEvent(const Event& event, uint64_t fromSpaceID);
    // After every change of the active desktop, whoever made it.
    void handlePostSwitchYield();

    // --- Moving windows between desktops (BarManagerWindowMoves.cpp) ---
    void moveWindowToSpaceByDragging(uint32_t id, uint64_t from, uint64_t to);
    // Desktop numbers count the desktops of the window's own display.
    void moveWindow(uint32_t windowID, int toDesktopNumber);
    bool shouldUseSilicaWindowMove(uint64_t from, uint64_t to);
    // Each asks where the window is, and presses its title bar once the application has answered,
    // unless the move's activation was replaced meanwhile (`replaced` raised).
    void beginSilicaWindowMove(uint32_t windowID, uint64_t sourceSpaceID, uint64_t targetSpaceID,
                               CancellationTokenPtr replaced);
    void finishSilicaWindowMove(uint32_t windowID, std::optional<RunningApplication> previousApp);
    void beginWindowMoveDrag(uint32_t windowID, uint64_t sourceSpaceID, uint64_t targetSpaceID,
                             CancellationTokenPtr replaced);
    void finishPendingWindowMoveDrag(PendingWindowMoveDrag pending,
                                     std::optional<RunningApplication> previousApp);
    // Asks the window's application; `answer` runs on the main queue with none when the window or
    // its position and size cannot be read, or the move was replaced first.
    void dragGeometryForWindow(uint32_t windowID, int32_t pid, CancellationTokenPtr replaced,
                               std::function<void(std::optional<DragGeometry>)> answer);
    // A rectangle of the screens' space (bottom-left origin) in the window server's space.
    Rect cgScreenRect(const Rect& rect, const std::vector<Screen>& among);
    Point dragDestinationPoint(uint64_t from, uint64_t to, const DragGeometry& geometry);

    // --- Mirrors ---
    // Each operation reads the desktops and screens afresh; within one pass they are read once and
    // handed on.
    std::vector<Screen> coveredScreensForBar() const;
    std::vector<Screen> coveredScreensForBar(const std::vector<SpaceInfo>& desktops,
                                             const std::vector<Screen>& screens) const;
    void syncMirrorPanels();
    void syncMirrorPanels(const std::vector<SpaceInfo>& desktops, const std::vector<Screen>& screens);
    void createMirrorPanel(const SpaceInfo& space, size_t screenIndex, const Screen& screen);
    void repositionMirrorPanels();
    void removeAllMirrorPanels();

    // --- The window server's strips ---
    void applyDockRectRegistrations();
    void applyDockRectRegistrations(const std::vector<SpaceInfo>& desktops,
                                    const std::vector<Screen>& screens);
    void applyEdgeReservationsIfNeeded();

    // --- Cursor-ownership diagnostics (on only with their switch) ---
    static constexpr EventMask kCursorOwnershipEventMask = 0x400062;
    static constexpr Seconds kCursorOwnershipLogRepeat = 0.35;
    static constexpr double kCursorOwnershipGrowth = 6;
    void startCursorOwnershipDiagnosticsIfNeeded();
    void stopCursorOwnershipDiagnostics();
    std::vector<std::shared_ptr<BarPanel>> visiblePanelsForCursorDiagnostics() const;
    void logCursorOwnershipIfNeeded(const std::string& trigger);

    void start();
    void setupSpaceChangeObserver();
    void createWindowTiling();
    void observeSettings();
    void chainStoreChanges();
    void makeWindowSwitcher();
    void chainWindowSwitcher();
    std::vector<SpaceInfo> barSpaces() const;
    // The screen index of each desktop; desktops of one display are matched once.
    std::vector<std::optional<size_t>> screenIndices(const std::vector<SpaceInfo>& desktops,
                                                     const std::vector<Screen>& screens) const;
    // The screen a desktop's bar stands on; none only when there is no screen at all.
    std::optional<Screen> screenForSpace(const SpaceInfo& space, const std::vector<Screen>& screens) const;
    void layPanel(BarPanel& panel, const Screen& screen);
    // A bar that moved or goes ends its hovers and closes what it opened above itself.
    void barLeavesItsPlace(BarPanel& panel);
    void closePanel(BarPanel& panel);
    // The content view a bar panel shows; none for a stand-in.
    static std::shared_ptr<BarContentView> barContent(const BarPanel& panel);
    // Gives a panel's content the index of its screen in the current screen list.
    void followScreenIndex(BarPanel& panel, size_t screenIndex);
    // A full-screen stand-in: a one-point strip along the bottom of its screen.
    void layProxyPanel(BarPanel& panel, const Screen& screen);
    // Makes a panel key with the program active: the window server brings its desktop forward.
    void activatePanelToSwitch(BarPanel& panel);
    // A bar's or mirror's vertical scrolls switch its desktop's display to a neighbouring desktop.
    std::function<void(const Event&)> scrollHandler(uint64_t spaceID);
    // Locks scrolling for a while and notes where the switch goes.
    void lockScrollSwitching(uint64_t targetSpaceID);
    // Whether a desktop is the active one, or among each display's active desktops.
    bool hasLanded(uint64_t spaceID);
    bool isProgram(const RunningApplication& app);
    // Synthesised events: no source, flags set explicitly, posted at the HID tap. False when the
    // event could not be made (nothing is posted then).
    bool postMouseEvent(CGEventType type, Point at);
    bool postKeyboardShortcut(const DesktopSwitchShortcut& shortcut);
    // The rest of a carried window's drag: to the drop point (through the midpoint) and released.
    void releaseDrag(Point grab, Point drop);
    void refreshSpacesSoon();
    // None while another move is pending or when the store no longer tracks the window.
    std::optional<int32_t> movableWindowPID(uint32_t windowID) const;
    // Whether the grab point read on the worker still takes the window, by the window list.
    bool grabPointHolds(uint32_t windowID, const DragGeometry& geometry);
    // The rest of a move once the window's whereabouts are known: the title bar is pressed.
    void pressForSilicaWindowMove(uint32_t windowID, uint64_t sourceSpaceID, uint64_t targetSpaceID,
                                  DesktopSwitchShortcut shortcut, const DragGeometry& geometry);
    void pressForWindowMoveDrag(uint32_t windowID, uint64_t sourceSpaceID, uint64_t targetSpaceID,
                                const DragGeometry& geometry);
    // Activation goes back to an application (AppKit, on the main thread).
    void yieldActivationTo(int32_t pid);
    void setUpLauncherHotkey();
    // Whether a press lands on the launcher button of a bar or mirror, which toggles the launcher.
    bool isMenuButtonPress(Point screenLocation) const;
    void installContent(BarPanel& panel, std::shared_ptr<BarContentView> content);
    // Sends one strip; true when the window server took it.
    bool sendDockStrip(const Rect& screenFrame, double height);
    void scheduleAvoidance(Seconds debounce);
    // On the next turn of the main queue, orders in those of the new panels (keys of `map`) that
    // are still there and whose desktop is active then; the others show when theirs becomes active.
    template <class Key>
    void orderInWhenActive(std::vector<Key> created,
                           std::map<Key, std::shared_ptr<BarPanel>> BarManager::*map,
                           uint64_t (*spaceOf)(const Key&)) {
        std::weak_ptr<BarManager> weak = weak_from_this();
        platform_.runtime.mainQueue()->async([weak, created, map, spaceOf] {
            auto self = weak.lock();
            if (!self) return;
            const auto active =
                self->spaceWindows_.getActiveSpaceIDs(self->platform_.windowServer.mainConnectionID());
            for (const Key& key : created) {
                auto it = ((*self).*map).find(key);
                if (it != ((*self).*map).end() &&
                    std::find(active.begin(), active.end(), spaceOf(key)) != active.end())
                    it->second->orderFrontRegardless();
            }
        });
    }

    // --- State ---
    std::map<uint64_t, std::shared_ptr<BarPanel>> panels_;            // per desktop that is not full screen
    std::map<uint64_t, std::shared_ptr<BarPanel>> fullscreenPanels_;  // the stand-in per full-screen desktop
    std::shared_ptr<WindowStore> windowStore_;
    std::shared_ptr<BarViewModel> viewModel_;
    BarMetrics metrics_;
    BarSize lastAppliedBarSize_;
    std::shared_ptr<PinStore> pinStore_;
    std::shared_ptr<AppLauncher> appLauncher_;
    std::shared_ptr<MouseDisplayTracker> mouseDisplayTracker_;  // the shared one
    std::shared_ptr<AppLauncherPanel> launcherPanel_;           // the open launcher
    std::weak_ptr<BarPanel> launcherAnchor_;                    // the bar it opened above
    std::shared_ptr<WindowAvoidanceManager> avoidanceManager_;  // replaced whenever the bar size changes
    // Only where the system supports the switcher.
    std::shared_ptr<WindowSwitcherController> windowSwitcher_;
    std::map<MirrorKey, std::shared_ptr<BarPanel>> mirrorPanels_;
    Subscription settingsCancellable_;
    MonitorToken localCursorOwnershipMonitor_ = 0;
    MonitorToken globalCursorOwnershipMonitor_ = 0;
    std::optional<std::string> lastCursorOwnershipLogSignature_;
    Seconds lastCursorOwnershipLogAt_ = 0;
    std::map<uint32_t, DockRectRegistration> appliedDockRectRegistrations_;  // by display number
    AXGetWindowFunction axGetWindow_;                                        // empty when not found
    // Desktop switching and window moves; at most one move of either kind is pending.
    bool isScrollSwitchLocked_ = false;
    WorkItemPtr scrollUnlockWork_;
    // The desktop the last switch goes to, until it shows: a scroll meanwhile counts from it.
    struct SwitchUnderWay {
        uint64_t targetSpaceID = 0;
        Seconds startedAt = 0;
        std::vector<uint64_t> activeAtStart;  // every display's active desktop
    };
    std::optional<SwitchUnderWay> switchUnderWay_;
    std::optional<RunningApplication> pendingPreviousApp_;  // gets activation back after the next change
    // A move waits out its delay and its window's whereabouts before pressing the title bar.
    bool windowMoveRequested_ = false;
    std::optional<PendingWindowMoveDrag> pendingWindowMoveDrag_;
    WorkItemPtr pendingWindowMoveDragTimeoutWork_;
    std::optional<PendingSilicaWindowMove> pendingSilicaWindowMove_;
    std::optional<PendingFullscreenAXActivation> pendingFullscreenAXActivation_;
    WorkItemPtr pendingFullscreenProxyCleanupWork_;
    // Window tiling, made once where the system supports it.
    std::shared_ptr<WindowTilingController> windowTiling_;
    // The environment switches, read once when the bar first needs them.
    const BarDebug debug_;
    const std::shared_ptr<BarPanelEnvironment> panelEnvironment_;
    Platform& platform_;
    SpaceWindows spaceWindows_;
    std::shared_ptr<UserSettings> settings_;
    Subscription spaceChangeObserver_;
};

}  // namespace qv
