#include "app/ProgramSlots.h"

#include "bar/BarManager.h"

namespace qv {

MainRuntimeSlots programSlots(Platform& platform, const SharedServices& services) {
    MainRuntimeSlots slots;
    slots.createBarManager = [&platform, services](std::shared_ptr<WindowStore> store,
                                                   const BarMetrics& metrics) {
        return std::static_pointer_cast<BarPanelSync>(
            BarManager::create(platform, std::move(store), metrics, services.settings, services.badges));
    };
    return slots;
}

}  // namespace qv
