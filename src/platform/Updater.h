#pragma once

#include <string>

#include "dispatch/Published.h"

namespace qv {

// The software-update framework's standard updater controller, created without starting its
// updater and with the framework's own user interface.
class Updater {
  public:
    virtual ~Updater() = default;
    // SPUUpdater.startUpdater(_:): false with a description of the error when it cannot start.
    virtual bool startUpdater(std::string& error) = 0;
    // SPUUpdater.canCheckForUpdates, observable: subscribing delivers the current value first.
    virtual Published<bool>& canCheckForUpdates() = 0;
    // SPUStandardUpdaterController.checkForUpdates(_:): a check started by the user.
    virtual void checkForUpdates() = 0;
};

}  // namespace qv
