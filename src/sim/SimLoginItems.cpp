#include "sim/SimLoginItems.h"

#include "sim/SimDesktop.h"

namespace qv {

LoginItemStatus SimLoginItems::mainAppStatus() {
    sim_.record("SMAppService.status", Value::number(static_cast<int>(status)));
    return status;
}

std::optional<std::string> SimLoginItems::registerMainApp() {
    sim_.record("SMAppService.register");
    if (refuseRegistration) return "Operation not permitted";
    status = registrationRequiresApproval ? LoginItemStatus::requiresApproval : LoginItemStatus::enabled;
    return std::nullopt;
}

std::optional<std::string> SimLoginItems::unregisterMainApp() {
    sim_.record("SMAppService.unregister");
    if (refuseUnregistration) return "Operation not permitted";
    if (status == LoginItemStatus::notRegistered || status == LoginItemStatus::notFound)
        return "Item not found";
    status = LoginItemStatus::notRegistered;
    return std::nullopt;
}

}  // namespace qv
