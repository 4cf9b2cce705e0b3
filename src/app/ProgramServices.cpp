#include "app/ProgramServices.h"

#include "app/UpdaterService.h"
#include "bar/DockController.h"
#include "bar/MouseDisplayTracker.h"
#include "bar_views/WallpaperBrightnessMonitor.h"
#include "launcher/HotkeyManager.h"
#include "previews/ThumbnailService.h"
#include "settings/SettingsWindowController.h"
#include "settings/StoredShortcuts.h"
#include "switcher/WindowSwitcherController.h"
#include "tiling/WindowTilingController.h"

namespace qv {

void fillDockAndWallpaperSlots(MainRuntimeSlots& slots, Platform& platform,
                               std::shared_ptr<UserSettings> settings) {
    slots.createDockController = [&platform, settings] {
        DockController::setShared(DockController::create(platform, settings));
    };
    slots.startWallpaperMonitor = [&platform] {
        auto monitor = WallpaperBrightnessMonitor::create(platform);
        WallpaperBrightnessMonitor::setShared(monitor);
        monitor->start();
    };
}

void installBarServices(Platform& platform, UserSettings& settings) {
    MouseDisplayTracker::setShared(MouseDisplayTracker::create(platform));
    // Before anything reads them: the hot key registers what is in force.
    setAsideRefusedShortcuts(settings, WindowSwitcherController::isSupported(platform.system),
                             WindowTilingController::isSupported(platform.system));
    HotkeyManager::setShared(HotkeyManager::create(platform, settings));
}

void startThumbnailService(Platform& platform) {
    ThumbnailService::setShared(ThumbnailService::create(platform.runtime, platform.screenCapture));
}

void installSettingsWindow(Platform& platform) {
    SettingsWindowController::setShared(SettingsWindowController::create(platform, [&platform] {
        auto updater = UpdaterService::shared();
        return SettingsServices{UserSettings::shared(),
                                HotkeyManager::shared(),
                                DockController::shared(),
                                updater->canCheckForUpdates,
                                [updater] { updater->updaterController.checkForUpdates(); },
                                WindowSwitcherController::isSupported(platform.system),
                                WindowTilingController::isSupported(platform.system)};
    }));
}

void releaseProgramServices() {
    SettingsWindowController::setShared(nullptr);
    ThumbnailService::setShared(nullptr);
    WallpaperBrightnessMonitor::setShared(nullptr);
    DockController::setShared(nullptr);
    HotkeyManager::setShared(nullptr);
    MouseDisplayTracker::setShared(nullptr);
}

}  // namespace qv
