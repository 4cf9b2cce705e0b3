#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/UpdaterService.h"
#include "bar/BarPanelSync.h"
#include "model/BadgeService.h"
#include "model/BarMetrics.h"
#include "model/BarViewModel.h"
#include "model/UserSettings.h"
#include "platform/Platform.h"
#include "tracking/AXObserverManager.h"
#include "tracking/WindowStore.h"

namespace qv {

// The start-up steps whose objects come with later parts of the program. A slot left empty is
// skipped, except step 8, which then makes the bar view model the bar manager would own.
struct MainRuntimeSlots {
    // Step 4: the Dock controller, whose creation brings the Dock in line with the hide-Dock setting.
    std::function<void()> createDockController;
    // Step 6: starts the wallpaper brightness monitor.
    std::function<void()> startWallpaperMonitor;
    // Step 8: the bar manager over the window store with the bar metrics (it builds the panels).
    std::function<std::shared_ptr<BarPanelSync>(std::shared_ptr<WindowStore>, const BarMetrics&)>
        createBarManager;
};

// What an activation of an application asks of the observer bootstrap.
enum class ActivationBootstrap {
    none,          // not a candidate: nothing changes
    forgetRecord,  // the store knows the process: its bootstrap record goes
    throttled,     // bootstrapped less than the throttle ago
    bootstrap,     // observe it, start its lifecycle monitoring and its deferred scans
};

struct ActivationFacts {
    ActivationPolicy policy = ActivationPolicy::regular;
    std::optional<std::string> bundleID;
    bool needsObserverBootstrap = false;
    std::optional<Seconds> lastBootstrap;  // when this process was last bootstrapped
    Seconds now = 0;
};

// Regular applications outside the excluded ones that the store knows nothing about, at most once
// per throttle interval; again at exactly the interval.
ActivationBootstrap decideActivationBootstrap(const ActivationFacts& facts);

// Everything that runs once both permissions are granted, built and started in a fixed order, and
// the observers that keep the window model current for the rest of the program's life. Main
// thread. Nothing it builds is torn down before the runtime itself goes.
class MainRuntime : public std::enable_shared_from_this<MainRuntime> {
    struct Token {};

  public:
    static constexpr Seconds kBootstrapThrottle = 1.5;
    static constexpr Seconds kLifecycleInitialDelay = WindowStore::kBootstrapInitialDelay;  // 2.6 s
    static constexpr Seconds kObserverRefreshDelay = 0.8;
    // Activations of these never bootstrap an observer.
    static const std::set<std::string>& excludedBootstrapBundleIDs();

    static std::shared_ptr<MainRuntime> create(Platform& platform, std::shared_ptr<UserSettings> settings,
                                               std::shared_ptr<BadgeService> badgeService,
                                               std::shared_ptr<UpdaterService> updater,
                                               MainRuntimeSlots slots = {});
    MainRuntime(Token, Platform& platform, std::shared_ptr<UserSettings> settings,
                std::shared_ptr<BadgeService> badgeService, std::shared_ptr<UpdaterService> updater,
                MainRuntimeSlots slots);
    ~MainRuntime();
    MainRuntime(const MainRuntime&) = delete;
    MainRuntime& operator=(const MainRuntime&) = delete;

    // The twelve start-up steps, once; later calls do nothing.
    void start();
    bool isStarted() const { return started_; }

    std::shared_ptr<WindowStore> windowStore;
    std::shared_ptr<AXObserverManager> axManager;
    std::optional<BarMetrics> metrics;
    std::shared_ptr<BarPanelSync> barManager;
    // Made at step 8 while no bar manager is built; the bar manager owns its own.
    std::shared_ptr<BarViewModel> barViewModel;
    // When the activation observer last bootstrapped each process.
    std::map<int32_t, Seconds> pendingBootstrapTimes;

  private:
    // Steps 6 to 12, once the first scan's answers are in.
    void startAfterPopulation();
    void observeScreenParameters();
    void observeWorkspace();
    void handleObserverAttached(int32_t pid);
    void handleLaunch(int32_t pid);
    void handleTermination(int32_t pid);
    void handleActivation(int32_t pid);
    // Wake and desktop change: the desktops of every window again, then the panels, then windows
    // the store may have missed.
    void refreshAfterSystemChange(bool resyncMinimized);
    void bootstrap(int32_t pid);

    Platform& platform_;
    std::shared_ptr<UserSettings> settings_;
    std::shared_ptr<BadgeService> badgeService_;
    std::shared_ptr<UpdaterService> updater_;
    MainRuntimeSlots slots_;
    bool started_ = false;
    Subscriptions observers_;
};

}  // namespace qv
