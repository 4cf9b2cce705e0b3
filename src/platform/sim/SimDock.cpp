#include "platform/sim/SimDock.h"

#include "platform/sim/SimDesktop.h"

namespace qv {

bool SimDock::hasEntryPoint(std::string_view name) {
    std::lock_guard lock(sim_.worldMutex());
    if (sim_.missingEntryPoints.contains(std::string(name))) return false;
    return name == dockentry::kSendNotification;
}

void SimDock::sendNotification(const std::string& name, int64_t argument) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record(std::string(dockentry::kSendNotification),
                Value::array({Value::string(name), Value::number(argument)}));
}

}  // namespace qv
