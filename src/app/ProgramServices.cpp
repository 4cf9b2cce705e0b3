#include "app/ProgramServices.h"

#include "bar/DockController.h"
#include "bar/MouseDisplayTracker.h"
#include "bar_views/WallpaperBrightnessMonitor.h"
#include "previews/ThumbnailService.h"
#include "launcher/HotkeyManager.h"

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
    HotkeyManager::setShared(HotkeyManager::create(platform, settings));
}

void startThumbnailService(Platform& platform) {
    ThumbnailService::setShared(ThumbnailService::create(platform.runtime, platform.screenCapture));
}

void releaseProgramServices() {
    ThumbnailService::setShared(nullptr);
    WallpaperBrightnessMonitor::setShared(nullptr);
    DockController::setShared(nullptr);
    HotkeyManager::setShared(nullptr);
    MouseDisplayTracker::setShared(nullptr);
}

}  // namespace qv
