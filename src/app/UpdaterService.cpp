#include "app/UpdaterService.h"

#include <string>

namespace qv {

namespace {

std::shared_ptr<UpdaterService>& sharedSlot() {
    static std::shared_ptr<UpdaterService> instance;
    return instance;
}

}  // namespace

UpdaterService::UpdaterService(Updater& updater) : updaterController(updater) {
    canCheckSubscription_ = updaterController.canCheckForUpdates().subscribe(
        [this](const bool& canCheck) { canCheckForUpdates = canCheck; });
}

std::shared_ptr<UpdaterService> UpdaterService::shared() {
    return sharedSlot();
}

void UpdaterService::setShared(std::shared_ptr<UpdaterService> service) {
    sharedSlot() = std::move(service);
}

void UpdaterService::startUpdater() {
    std::string error;
    (void)updaterController.startUpdater(error);
}

}  // namespace qv
