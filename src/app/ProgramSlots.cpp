#include "app/ProgramSlots.h"

#include "bar/BarManager.h"
#include "launcher/HotkeyManager.h"

namespace qv {

MainRuntimeSlots programSlots(Platform& platform, const SharedServices& services) {
    MainRuntimeSlots slots;
    slots.createBarManager = [&platform, services](std::shared_ptr<WindowStore> store,
                                                   const BarMetrics& metrics) {
        // The launcher's hot key is loaded, and registered, as the bar comes up.
        HotkeyManager::setShared(HotkeyManager::create(platform, *services.settings));
        return std::static_pointer_cast<BarPanelSync>(
            BarManager::create(platform, std::move(store), metrics, services.settings, services.badges));
    };
    return slots;
}

}  // namespace qv
