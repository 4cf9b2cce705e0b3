#include "app/ProgramServices.h"

#include "app/UpdaterService.h"
#include "bar/DockController.h"
#include "bar/MouseDisplayTracker.h"
#include "bar_views/WallpaperBrightnessMonitor.h"
#include "launcher/HotkeyManager.h"
#include "settings/SettingsWindowController.h"

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

void startPointerDisplayTracker(Platform& platform) {
    auto tracker = MouseDisplayTracker::create(platform);
    MouseDisplayTracker::setShared(tracker);
    tracker->start();
}

void installSettingsWindow(Platform& platform) {
    SettingsWindowController::setShared(SettingsWindowController::create(platform, [&platform] {
        auto updater = UpdaterService::shared();
        // The switcher and tiling run from system 27 on.
        const bool supported = platform.system.operatingSystemMajorVersion() >= 27;
        return SettingsServices{UserSettings::shared(),
                                HotkeyManager::shared(),
                                DockController::shared(),
                                updater->canCheckForUpdates,
                                [updater] { updater->updaterController.checkForUpdates(); },
                                supported,
                                supported};
    }));
}

void releaseProgramServices() {
    SettingsWindowController::setShared(nullptr);
    HotkeyManager::setShared(nullptr);
    WallpaperBrightnessMonitor::setShared(nullptr);
    DockController::setShared(nullptr);
    MouseDisplayTracker::setShared(nullptr);
}

}  // namespace qv
