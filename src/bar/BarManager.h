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
#include "bar/BarManagerHooks.h"
#include "bar/BarPanel.h"
#include "bar/BarPanelSync.h"
#include "bar_views/BarContentView.h"
#include "launcher/AppLauncher.h"
#include "model/BadgeService.h"
#include "model/BarMetrics.h"
#include "model/BarViewModel.h"
#include "model/PinStore.h"
#include "model/UserSettings.h"
#include "platform/Platform.h"
#include "platform/ui/Windowing.h"
#include "tracking/SpaceWindows.h"
#include "tracking/WindowStore.h"

namespace qv {

// The controller of every bar window. It keeps one bar panel per desktop, pinned to that desktop
// and laid along the bottom of its screen, so that the window server itself shows the bar of the
// desktop the user changes to; mirror panels on displays without desktops of their own; the
// bar's strip registered with the window server per display, and the edge reservations. It wires
// the models and the services plugged into it together. Main thread only.
class BarManager : public BarPanelSync, public std::enable_shared_from_this<BarManager> {
    struct Token {};

  public:
    using SpaceInfo = SpaceWindows::SpaceInfo;

    // A mirror bar: a desktop's bar on the screen at an index of the screen list.
    struct MirrorKey {
        uint64_t spaceID = 0;
        size_t screenIndex = 0;
        friend auto operator<=>(const MirrorKey&, const MirrorKey&) = default;
    };

    // What was registered as the bar's strip for one display.
    struct DockRectRegistration {
        Rect screenFrame;  // the display's full frame, AppKit space
        double barHeight = 0;
        friend bool operator==(const DockRectRegistration&, const DockRectRegistration&) = default;
    };

    // Builds the whole bar (its panels included) over the program's window store.
    static std::shared_ptr<BarManager> create(Platform& platform, std::shared_ptr<WindowStore> windowStore,
                                              const BarMetrics& metrics,
                                              std::shared_ptr<UserSettings> settings,
                                              std::shared_ptr<BadgeService> badgeService,
                                              BarManagerHooks hooks = {});
    BarManager(Token, Platform& platform, std::shared_ptr<WindowStore> windowStore, const BarMetrics& metrics,
               std::shared_ptr<UserSettings> settings, BarManagerHooks hooks);
    ~BarManager() override;
    BarManager(const BarManager&) = delete;
    BarManager& operator=(const BarManager&) = delete;

    // --- State ---
    std::map<uint64_t, std::shared_ptr<BarPanel>> panels;  // per desktop that is not full screen
    std::shared_ptr<WindowStore> windowStore;
    std::shared_ptr<BarViewModel> viewModel;
    BarMetrics metrics;
    BarSize lastAppliedBarSize;
    std::shared_ptr<PinStore> pinStore;
    std::shared_ptr<AppLauncher> appLauncher;
    std::shared_ptr<WindowAvoidance> avoidanceManager;  // replaced whenever the bar size changes
    std::map<MirrorKey, std::shared_ptr<BarPanel>> mirrorPanels;
    Subscription settingsCancellable;
    MonitorToken localCursorOwnershipMonitor = 0;
    MonitorToken globalCursorOwnershipMonitor = 0;
    std::optional<std::string> lastCursorOwnershipLogSignature;
    Seconds lastCursorOwnershipLogAt = 0;
    std::map<uint32_t, DockRectRegistration> appliedDockRectRegistrations;  // by display number
    std::function<AXError(const AXElement&, uint32_t&)> axGetWindow;        // empty when not found
    // The environment switches, read once when the bar first needs them.
    const BarDebug debug;
    const std::shared_ptr<BarPanelEnvironment> panelEnvironment;

    // --- Panels per desktop ---
    void syncPanels() override;
    void repositionPanels() override;
    // False when no screen is there to stand on; the next sync tries again.
    bool createPanel(const SpaceInfo& space);
    // The height of the bar on a display that carries a bar or a mirror bar; 0 on any other.
    double barHeight(uint32_t onDisplay);
    void handleSettingsChanged();
    void applyBarMetrics(const BarMetrics& newMetrics);
    std::shared_ptr<WindowAvoidance> makeAvoidanceManager();
    // After every change of the active desktop: the bars and mirrors of the active desktops come
    // to the front (a new desktop's bar is first shown here).
    void handlePostSwitchYield();

    // --- Content ---
    std::shared_ptr<BarContentView> makeBarContentView(uint64_t spaceID, size_t screenIndex,
                                                       const std::shared_ptr<BarPanel>& panel);
    // New content, with the current metrics, in every bar and mirror panel.
    void rebuildPanelContentViews();

    // --- Mirrors ---
    // Each operation reads the desktops and screens afresh; within one pass they are read once and
    // handed on.
    std::vector<Screen> coveredScreensForBar();
    std::vector<Screen> coveredScreensForBar(const std::vector<SpaceInfo>& desktops,
                                             const std::vector<Screen>& screens);
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

  private:
    void start();
    void setupSpaceChangeObserver();
    void observeSettings();
    void chainStoreChanges();
    std::vector<SpaceInfo> barSpaces() const;
    // The screen index of each desktop; desktops of one display are matched once.
    std::vector<std::optional<size_t>> screenIndices(const std::vector<SpaceInfo>& desktops,
                                                     const std::vector<Screen>& screens) const;
    // The screen a desktop's bar stands on; none only when there is no screen at all.
    std::optional<Screen> screenForSpace(const SpaceInfo& space, const std::vector<Screen>& screens) const;
    void layPanel(BarPanel& panel, const Screen& screen);
    void installContent(BarPanel& panel, std::shared_ptr<BarContentView> content);
    // Sends one strip; true when the window server took it.
    bool sendDockStrip(const Rect& screenFrame, double height);
    void scheduleAvoidance(Seconds debounce);
    // "_AXUIElementGetWindow" when the run-time lookup finds it; empty otherwise.
    static std::function<AXError(const AXElement&, uint32_t&)> lookUpAXGetWindow(Accessibility& ax);
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

    Platform& platform_;
    SpaceWindows spaceWindows_;
    std::shared_ptr<UserSettings> settings_;
    BarManagerHooks hooks_;
    Subscription spaceChangeObserver_;
};

}  // namespace qv
