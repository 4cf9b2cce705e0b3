#pragma once

#include <memory>

#include "app/MainRuntime.h"

namespace qv {

// Start-up steps 4 and 6 as the program fills them: the shared Dock controller (its creation brings
// the Dock in line with the hide-Dock setting) and the shared wallpaper brightness monitor, started.
void fillDockAndWallpaperSlots(MainRuntimeSlots& slots, Platform& platform,
                               std::shared_ptr<UserSettings> settings);

// The shared services the bar manager reaches when it is made: the tracker of the display under the
// pointer (the bar manager starts and stops it) and the launcher's hot-key manager.
void installBarServices(Platform& platform, UserSettings& settings);

// The shared capture service of window pictures, kept for the program's life.
void startThumbnailService(Platform& platform);

// The shared settings window controller. Each window it builds takes the shared settings, hot-key
// manager, Dock controller and update service as they are then.
void installSettingsWindow(Platform& platform);

// Drops the shared instances made above.
void releaseProgramServices();

}  // namespace qv
