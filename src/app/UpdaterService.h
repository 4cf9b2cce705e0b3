#pragma once

#include <memory>

#include "dispatch/Published.h"
#include "platform/Updater.h"

namespace qv {

// The program's one link to the software-update framework: starts its updater once the runtime
// starts and publishes whether a check may be started now. Main thread.
class UpdaterService {
  public:
    // Follows the updater's can-check flag from now on, starting with its current value.
    explicit UpdaterService(Updater& updater);
    UpdaterService(const UpdaterService&) = delete;
    UpdaterService& operator=(const UpdaterService&) = delete;

    // The instance the composition root installed.
    static std::shared_ptr<UpdaterService> shared();
    static void setShared(std::shared_ptr<UpdaterService> service);

    Published<bool> canCheckForUpdates{false};
    // The framework's controller; the settings window starts user checks on it.
    Updater& updaterController;

    // Starts the updater; a failure is dropped: nothing is shown, logged or retried.
    void startUpdater();

  private:
    Subscription canCheckSubscription_;
};

}  // namespace qv
