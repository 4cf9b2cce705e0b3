#include "app/ProgramSlots.h"

#include "bar/BarManager.h"
#include "settings/SettingsWindowController.h"

namespace qv {

MainRuntimeSlots programSlots(Platform& platform, const SharedServices& services) {
    MainRuntimeSlots slots;
    slots.createBarManager = [&platform, services](std::shared_ptr<WindowStore> store,
                                                   const BarMetrics& metrics) {
        auto bar =
            BarManager::create(platform, std::move(store), metrics, services.settings, services.badges);
        bar->openSettings = [] {
            if (SettingsWindowController::hasShared()) SettingsWindowController::shared().show();
        };
        return std::static_pointer_cast<BarPanelSync>(bar);
    };
    return slots;
}

}  // namespace qv
