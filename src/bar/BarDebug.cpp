#include "bar/BarDebug.h"

namespace qv {

BarDebug BarDebug::fromEnvironment(SystemInfo& system) {
    return BarDebug{isOn(system.environmentVariable(kEdgeReservationVariable)),
                    isOn(system.environmentVariable(kCursorOwnershipLogVariable))};
}

}  // namespace qv
