#include "app/MainRuntime.h"

#include "platform/Application.h"

namespace qv {

namespace {

// The process a workspace notification is about; none when its user info does not name one.
std::optional<int32_t> applicationPID(const Notification& n) {
    auto number = n.userInfo[notifications::kWorkspaceApplicationKey].asNumberObject();
    if (!number) return std::nullopt;
    return number->int32Value();
}

}  // namespace

ActivationBootstrap decideActivationBootstrap(const ActivationFacts& facts) {
    if (facts.policy != ActivationPolicy::regular) return ActivationBootstrap::none;
    if (facts.bundleID && MainRuntime::excludedBootstrapBundleIDs().contains(*facts.bundleID))
        return ActivationBootstrap::none;
    if (!facts.needsObserverBootstrap) return ActivationBootstrap::forgetRecord;
    if (facts.lastBootstrap && facts.now - *facts.lastBootstrap < MainRuntime::kBootstrapThrottle)
        return ActivationBootstrap::throttled;
    return ActivationBootstrap::bootstrap;
}

const std::set<std::string>& MainRuntime::excludedBootstrapBundleIDs() {
    static const std::set<std::string> ids = {
        "com.apple.dock",      "com.apple.WindowManager",        "com.apple.controlcenter",
        "com.apple.Spotlight", "com.apple.notificationcenterui", "com.apple.loginwindow",
    };
    return ids;
}

std::shared_ptr<MainRuntime> MainRuntime::create(Platform& platform, std::shared_ptr<UserSettings> settings,
                                                 std::shared_ptr<BadgeService> badgeService,
                                                 std::shared_ptr<UpdaterService> updater,
                                                 MainRuntimeSlots slots) {
    return std::make_shared<MainRuntime>(Token{}, platform, std::move(settings), std::move(badgeService),
                                         std::move(updater), std::move(slots));
}

MainRuntime::MainRuntime(Token, Platform& platform, std::shared_ptr<UserSettings> settings,
                         std::shared_ptr<BadgeService> badgeService, std::shared_ptr<UpdaterService> updater,
                         MainRuntimeSlots slots)
    : platform_(platform),
      settings_(std::move(settings)),
      badgeService_(std::move(badgeService)),
      updater_(std::move(updater)),
      slots_(std::move(slots)) {}

MainRuntime::~MainRuntime() {
    observers_.clear();
    if (axManager) axManager->stop();
}

void MainRuntime::start() {
    if (std::exchange(started_, true)) return;
    // 1. Accessory once more: no Dock icon, no menu bar of our own.
    platform_.application.setActivationPolicy(ActivationPolicy::accessory);
    // 2.
    if (updater_) updater_->startUpdater();
    // 3.
    pendingBootstrapTimes.clear();
    // 4.
    if (slots_.createDockController) slots_.createDockController();
    // 5. The first full scan of the windows already on screen. The applications answer on their
    // workers; the steps after it run once the store holds their windows.
    windowStore = WindowStore::create(platform_);
    std::weak_ptr<MainRuntime> weak = weak_from_this();
    windowStore->populate([weak] {
        if (auto self = weak.lock()) self->startAfterPopulation();
    });
}

void MainRuntime::startAfterPopulation() {
    // 6.
    if (slots_.startWallpaperMonitor) slots_.startWallpaperMonitor();
    // 7. A size the setting does not name is medium.
    metrics = BarMetrics::fromSetting(settings_->data->barSize);
    // 8.
    if (slots_.createBarManager) {
        barManager = slots_.createBarManager(windowStore, *metrics);
    } else {
        barViewModel = BarViewModel::create(platform_, windowStore, settings_, badgeService_);
    }
    // 9.
    observeScreenParameters();
    // 10. Events and attach reports arrive on the main queue.
    axManager =
        AXObserverManager::create(platform_.runtime, platform_.accessibility, platform_.runtime.mainQueue());
    std::weak_ptr<MainRuntime> weak = weak_from_this();
    axManager->onEvent = [weak](const AXWindowEvent& event) {
        if (auto self = weak.lock()) self->windowStore->handleAXEvent(event);
    };
    axManager->onObserverAdded = [weak](int32_t pid) {
        if (auto self = weak.lock()) self->handleObserverAttached(pid);
    };
    axManager->start();
    // 11.
    for (int32_t pid : windowStore->trackedPIDs()) axManager->observe(pid);
    // 12.
    observeWorkspace();
}

void MainRuntime::observeScreenParameters() {
    std::weak_ptr<MainRuntime> weak = weak_from_this();
    observers_.push_back(
        platform_.notifications.addObserver(notifications::kApplicationDidChangeScreenParameters,
                                            platform_.runtime.mainQueue(), [weak](const Notification&) {
                                                auto self = weak.lock();
                                                if (!self || !self->barManager) return;
                                                // A display that came needs its panels made before every
                                                // panel is placed again.
                                                self->barManager->syncPanels();
                                                self->barManager->repositionPanels();
                                            }));
}

void MainRuntime::observeWorkspace() {
    NotificationCenter& center = platform_.workspace.notificationCenter();
    std::weak_ptr<MainRuntime> weak = weak_from_this();
    auto observe = [&](const char* name, void (MainRuntime::*handler)(int32_t)) {
        observers_.push_back(
            center.addObserver(name, platform_.runtime.mainQueue(), [weak, handler](const Notification& n) {
                auto self = weak.lock();
                auto pid = applicationPID(n);
                if (self && pid) ((*self).*handler)(*pid);
            }));
    };
    observe(notifications::kWorkspaceDidLaunchApplication, &MainRuntime::handleLaunch);
    observe(notifications::kWorkspaceDidTerminateApplication, &MainRuntime::handleTermination);
    observe(notifications::kWorkspaceDidActivateApplication, &MainRuntime::handleActivation);
    auto observeChange = [&](const char* name, bool resyncMinimized) {
        observers_.push_back(center.addObserver(name, platform_.runtime.mainQueue(),
                                                [weak, resyncMinimized](const Notification&) {
                                                    if (auto self = weak.lock())
                                                        self->refreshAfterSystemChange(resyncMinimized);
                                                }));
    };
    observeChange(notifications::kWorkspaceDidWake, true);
    observeChange(notifications::kWorkspaceActiveSpaceDidChange, false);
}

void MainRuntime::handleObserverAttached(int32_t pid) {
    pendingBootstrapTimes.erase(pid);
    windowStore->handleObserverAttached(pid);
    windowStore->addWindowsForPID(pid);
    std::weak_ptr<AXObserverManager> manager = axManager;
    platform_.runtime.mainQueue()->asyncAfter(kObserverRefreshDelay, [manager, pid] {
        if (auto m = manager.lock()) m->refreshWindows({pid});
    });
}

void MainRuntime::bootstrap(int32_t pid) {
    axManager->observe(pid);
    windowStore->startLifecycleMonitoring(pid, kLifecycleInitialDelay);
    windowStore->scheduleDeferredScan(pid);
}

void MainRuntime::handleLaunch(int32_t pid) {
    // The pid may be one that ended before: the new application is asked again.
    platform_.appWorkers.applicationLaunched(pid);
    auto app = platform_.workspace.runningApplication(pid);
    if (!app || app->activationPolicy != ActivationPolicy::regular) return;
    bootstrap(pid);
}

void MainRuntime::handleTermination(int32_t pid) {
    pendingBootstrapTimes.erase(pid);
    axManager->stopObserving(pid);
    windowStore->handleObserverDetached(pid);
    windowStore->removeWindows(pid);
    // Its worker goes once what it was already asked has run; it gets none again until a launch.
    platform_.appWorkers.applicationTerminated(pid);
}

void MainRuntime::handleActivation(int32_t pid) {
    auto app = platform_.workspace.runningApplication(pid);
    if (!app) return;
    if (app->bundleIdentifier && badgeService_) badgeService_->clearAttention(*app->bundleIdentifier);
    windowStore->handleAppActivated(pid);

    ActivationFacts facts;
    facts.policy = app->activationPolicy;
    facts.bundleID = app->bundleIdentifier;
    facts.needsObserverBootstrap = windowStore->needsObserverBootstrap(pid);
    if (auto it = pendingBootstrapTimes.find(pid); it != pendingBootstrapTimes.end())
        facts.lastBootstrap = it->second;
    facts.now = platform_.runtime.now();
    switch (decideActivationBootstrap(facts)) {
        case ActivationBootstrap::none:
        case ActivationBootstrap::throttled:
            return;
        case ActivationBootstrap::forgetRecord:
            pendingBootstrapTimes.erase(pid);
            return;
        case ActivationBootstrap::bootstrap:
            pendingBootstrapTimes[pid] = facts.now;
            bootstrap(pid);
            return;
    }
}

void MainRuntime::refreshAfterSystemChange(bool resyncMinimized) {
    windowStore->refreshSpaces();
    // Each step after an application's answers runs once they are applied, keeping the order.
    std::weak_ptr<MainRuntime> weak = weak_from_this();
    auto discover = [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->barManager) self->barManager->syncPanels();
        self->windowStore->discoverNewWindowsForTrackedPIDs([weak](int) {
            auto self = weak.lock();
            if (!self) return;
            if (auto pids = self->windowStore->trackedPIDs(); !pids.empty())
                self->axManager->refreshWindows(pids);
        });
    };
    if (resyncMinimized) {
        windowStore->resyncMinimizedWindows(discover);
    } else {
        discover();
    }
}

}  // namespace qv
