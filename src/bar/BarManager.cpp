#include "bar/BarManager.h"

#include <algorithm>
#include <set>

#include "bar/BarGeometry.h"
#include "bar_views/WallpaperBrightnessMonitor.h"
#include "platform/Windowing.h"
#include "previews/ThumbnailService.h"

namespace qv {

std::shared_ptr<BarManager> BarManager::create(Platform& platform, std::shared_ptr<WindowStore> windowStore,
                                               const BarMetrics& metrics,
                                               std::shared_ptr<UserSettings> settings,
                                               std::shared_ptr<BadgeService> badgeService) {
    auto manager =
        std::make_shared<BarManager>(Token{}, platform, std::move(windowStore), metrics, std::move(settings));
    // Step 2: the launcher scans the application folders from now on.
    manager->appLauncher_ = AppLauncher::create(platform);
    manager->mouseDisplayTracker_ = MouseDisplayTracker::shared().shared_from_this();
    manager->viewModel_ =
        BarViewModel::create(platform, manager->windowStore_, manager->settings_, std::move(badgeService));
    manager->start();
    return manager;
}

namespace {

// The wallpaper's verdict under a display, read when a bar asks; dark while no monitor runs.
bool wallpaperIsLight(std::optional<uint32_t> displayID) {
    const WallpaperBrightnessMonitor* monitor = WallpaperBrightnessMonitor::shared();
    return monitor && monitor->isLight(displayID);
}

}  // namespace

BarManager::BarManager(Token, Platform& platform, std::shared_ptr<WindowStore> store, const BarMetrics& m,
                       std::shared_ptr<UserSettings> settings)
    : windowStore_(std::move(store)),
      metrics_(m),
      lastAppliedBarSize_(m.barSize),
      pinStore_(std::make_shared<PinStore>(*settings)),
      debug_(BarDebug::fromEnvironment(platform.system)),
      panelEnvironment_(std::make_shared<BarPanelEnvironment>(platform, wallpaperIsLight)),
      platform_(platform),
      spaceWindows_(platform),
      settings_(std::move(settings)) {
    axGetWindow_ = lookUpAXGetWindow(platform.accessibility);
}

BarManager::~BarManager() {
    stopCursorOwnershipDiagnostics();
    if (mouseDisplayTracker_) mouseDisplayTracker_->stop();
}

// The creation steps that need the manager held by its owner; the view model (step 5) is made
// just before.
void BarManager::start() {
    mouseDisplayTracker_->start();
    // No avoidance pass exists yet, so this first sync schedules none.
    syncPanels();
    avoidanceManager_ = makeAvoidanceManager();
    // The window switcher and the tiling controller, each behind its own support gate, are made
    // here once they exist; the store's change chain below then feeds the switcher too.
    createWindowTiling();
    makeWindowSwitcher();
    chainStoreChanges();
    setupSpaceChangeObserver();
    setUpLauncherHotkey();
    observeSettings();
    scheduleAvoidance(0.5);
    startCursorOwnershipDiagnosticsIfNeeded();
}

void BarManager::chainStoreChanges() {
    // The view model's refresh, installed when it was made, runs first.
    std::function<void()> previous = windowStore_->onChange;
    std::weak_ptr<BarManager> weak = weak_from_this();
    windowStore_->onChange = [previous, weak] {
        if (previous) previous();
        if (auto self = weak.lock()) self->scheduleAvoidance(0.1);
    };
    chainWindowSwitcher();
}

// --- The window switcher ---

void BarManager::makeWindowSwitcher() {
    if (!WindowSwitcherController::isSupported(platform_.system)) return;
    windowSwitcher_ = WindowSwitcherController::create(platform_, windowStore_, viewModel_, settings_,
                                                       ThumbnailService::shared());
}

// Runs after the view model's refresh in the store's change chain.
void BarManager::chainWindowSwitcher() {
    if (!windowSwitcher_) return;
    std::function<void()> previous = windowStore_->onChange;
    std::weak_ptr<WindowSwitcherController> weak = windowSwitcher_;
    windowStore_->onChange = [previous, weak] {
        if (previous) previous();
        if (auto switcher = weak.lock()) switcher->storeDidChange();
    };
}

void BarManager::createWindowTiling() {
    if (!WindowTilingController::isSupported(platform_.system)) return;
    std::weak_ptr<BarManager> weak = weak_from_this();
    windowTiling_ = WindowTilingController::create(platform_, settings_, [weak](uint32_t display) {
        auto self = weak.lock();
        return self ? self->barHeight(display) : 0.0;
    });
    windowTiling_->onMoveToDesktop = [weak](uint32_t windowID, int desktopNumber) {
        if (auto self = weak.lock()) self->moveWindow(windowID, desktopNumber);
    };
}

void BarManager::setupSpaceChangeObserver() {
    std::weak_ptr<BarManager> weak = weak_from_this();
    spaceChangeObserver_ = platform_.workspace.notificationCenter().addObserver(
        notifications::kWorkspaceActiveSpaceDidChange, platform_.runtime.mainQueue(),
        [weak](const Notification&) {
            if (auto self = weak.lock()) self->handlePostSwitchYield();
        });
}

void BarManager::observeSettings() {
    std::weak_ptr<BarManager> weak = weak_from_this();
    std::shared_ptr<Queue> main = platform_.runtime.mainQueue();
    // Received on the main queue, then handed on once more, so the handler reads the new record.
    settingsCancellable_ = settings_->data.subscribeToChanges([weak, main](const UserSettingsData&) {
        main->async([weak, main] {
            main->async([weak] {
                if (auto self = weak.lock()) self->handleSettingsChanged();
            });
        });
    });
}

void BarManager::scheduleAvoidance(Seconds debounce) {
    if (avoidanceManager_) avoidanceManager_->scheduleAdjustment(debounce);
}

std::shared_ptr<WindowAvoidanceManager> BarManager::makeAvoidanceManager() {
    std::weak_ptr<BarManager> weak = weak_from_this();
    auto panelSpaceIDs = [weak] {
        std::set<uint64_t> ids;
        if (auto self = weak.lock()) {
            for (const auto& [id, panel] : self->panels_) ids.insert(id);
        }
        return ids;
    };
    auto mirrorScreenIndices = [weak] {
        std::set<int64_t> distinct;
        if (auto self = weak.lock()) {
            for (const auto& [key, panel] : self->mirrorPanels_)
                distinct.insert(static_cast<int64_t>(key.screenIndex));
        }
        return std::vector<int64_t>(distinct.begin(), distinct.end());
    };
    return WindowAvoidanceManager::make(platform_, windowStore_, std::move(panelSpaceIDs),
                                        std::move(mirrorScreenIndices), metrics_.barSize);
}

// --- Panels per desktop ---

std::vector<BarManager::SpaceInfo> BarManager::barSpaces() const {
    auto spaces = spaceWindows_.getSpaces(platform_.windowServer.mainConnectionID());
    std::erase_if(spaces, [](const SpaceInfo& s) { return s.isFullScreen(); });
    return spaces;
}

std::optional<Screen> BarManager::screenForSpace(const SpaceInfo& space,
                                                 const std::vector<Screen>& screens) const {
    if (auto screen = spaceWindows_.screen(space.displayIdentifier, screens)) return screen;
    if (space.displayIndex >= 0 && static_cast<size_t>(space.displayIndex) < screens.size())
        return screens[static_cast<size_t>(space.displayIndex)];
    if (auto main = platform_.windowing.mainScreen()) return main;
    if (!screens.empty()) return screens.front();
    return std::nullopt;
}

void BarManager::layPanel(BarPanel& panel, const Screen& screen) {
    const Rect before = panel.frame();
    panel.isProgrammaticResize = true;
    panel.setFrame(barPanelFrame(screen.frame, qv::barHeight(metrics_.barSize)), true);
    panel.isProgrammaticResize = false;
    if (before == Rect{} || panel.frame() == before) return;
    barLeavesItsPlace(panel);
}

void BarManager::barLeavesItsPlace(BarPanel& panel) {
    // The pointer is no longer known to be over the bar: its hovers end until the pointer moves
    // over it again, and what was opened above it where no bar is now goes.
    if (const auto& host = panel.contentView()) host->mouseExited();
    if (auto content = barContent(panel)) content->barLeftItsPlace();
}

void BarManager::closePanel(BarPanel& panel) {
    // Left open, a menu of the bar would be carried onto another display by the system, its items
    // still acting and every key the user types going to it.
    barLeavesItsPlace(panel);
    panel.close();
}

void BarManager::syncPanels() {
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    const auto spaces = spaceWindows_.getSpaces(connection);
    std::set<uint64_t> wanted;
    for (const SpaceInfo& s : spaces) {
        if (!s.isFullScreen()) wanted.insert(s.spaceID);
    }
    // A desktop that went away or turned full screen gives its strip back whatever the switch says.
    for (auto it = panels_.begin(); it != panels_.end();) {
        if (wanted.contains(it->first)) {
            ++it;
            continue;
        }
        spaceWindows_.setBottomEdgeReservation(it->first, 0);
        closePanel(*it->second);
        it = panels_.erase(it);
    }
    std::vector<uint64_t> created;
    for (const SpaceInfo& s : spaces) {
        if (s.isFullScreen() || panels_.contains(s.spaceID)) continue;
        if (createPanel(s)) created.push_back(s.spaceID);
    }
    if (!created.empty())
        orderInWhenActive(
            std::move(created), &BarManager::panels_, +[](const uint64_t& id) { return id; });
    syncFullscreenProxyPanels(spaces);
    std::vector<SpaceInfo> desktops;
    for (const SpaceInfo& s : spaces) {
        if (!s.isFullScreen()) desktops.push_back(s);
    }
    const auto screens = platform_.displays.screens();
    applyDockRectRegistrations(desktops, screens);
    applyEdgeReservationsIfNeeded();
    scheduleAvoidance(0);
    syncMirrorPanels(desktops, screens);
    // Screens whose mirrors just came or went are registered or cleared.
    applyDockRectRegistrations(desktops, screens);
}

bool BarManager::createPanel(const SpaceInfo& space) {
    const auto screens = platform_.displays.screens();
    const auto screen = screenForSpace(space, screens);
    // Without any screen there is nothing to stand on; the next sync makes the panel.
    if (!screen) return false;
    auto panel = BarPanel::create(panelEnvironment_, Rect{});
    const size_t screenIndex = spaceWindows_.screenIndex(space, screens).value_or(0);
    installContent(*panel, makeBarContentView(space.spaceID, screenIndex, panel));
    layPanel(*panel, *screen);
    panel->setDisplayID(SpaceWindows::displayID(*screen));
    spaceWindows_.moveWindowExclusively(panel->windowNumber(), space.spaceID);
    panel->onVerticalScroll = scrollHandler(space.spaceID);
    panels_[space.spaceID] = std::move(panel);
    return true;
}

std::function<void(const Event&)> BarManager::scrollHandler(uint64_t spaceID) {
    std::weak_ptr<BarManager> weak = weak_from_this();
    return [weak, spaceID](const Event& event) {
        if (auto self = weak.lock()) self->handleScrollEvent(event, spaceID);
    };
}

void BarManager::repositionPanels() {
    const auto screens = platform_.displays.screens();
    const auto desktops = barSpaces();
    for (const SpaceInfo& space : desktops) {
        auto it = panels_.find(space.spaceID);
        if (it == panels_.end()) continue;
        const auto screen = screenForSpace(space, screens);
        if (!screen) continue;  // no screen at all: the panels stay where they were
        layPanel(*it->second, *screen);
        it->second->setDisplayID(SpaceWindows::displayID(*screen));
        // The screen list may have changed under the content: its chips follow the desktop's
        // screen where it stands now.
        followScreenIndex(*it->second, spaceWindows_.screenIndex(space, screens).value_or(0));
    }
    repositionFullscreenProxyPanels();
    applyDockRectRegistrations(desktops, screens);
    applyEdgeReservationsIfNeeded();
    repositionMirrorPanels();
    applyDockRectRegistrations(desktops, screens);
    followLauncherAnchor();
    scheduleAvoidance(0.1);
}

std::shared_ptr<BarContentView> BarManager::barContent(const BarPanel& panel) {
    const auto& host = panel.contentView();
    return host ? std::dynamic_pointer_cast<BarContentView>(host->rootView()) : nullptr;
}

void BarManager::followScreenIndex(BarPanel& panel, size_t screenIndex) {
    auto content = barContent(panel);
    if (!content || content->screenIndex == screenIndex) return;
    content->screenIndex = screenIndex;
    content->setNeedsUpdate();
}

double BarManager::barHeight(uint32_t onDisplay) const {
    for (const Screen& screen : coveredScreensForBar()) {
        if (SpaceWindows::displayID(screen) == onDisplay) return qv::barHeight(metrics_.barSize);
    }
    return 0;
}

void BarManager::handleSettingsChanged() {
    const BarSize size = barSizeFromSetting(settings_->data->barSize);
    if (size != lastAppliedBarSize_) {
        applyBarMetrics(BarMetrics::forSize(size));
        lastAppliedBarSize_ = size;
    }
    syncMirrorPanels();
    applyDockRectRegistrations();
    scheduleAvoidance(0);
}

void BarManager::applyBarMetrics(const BarMetrics& newMetrics) {
    if (newMetrics.barSize == metrics_.barSize) return;
    metrics_ = newMetrics;
    // The avoidance pass keeps the bar height it was made with.
    avoidanceManager_ = makeAvoidanceManager();
    rebuildPanelContentViews();
    repositionPanels();
    scheduleAvoidance(0);
}

}  // namespace qv
