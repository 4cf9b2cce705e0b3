#pragma once

#include "platform/LoginItems.h"

namespace qv {

class SimDesktop;

// The login-item service of the simulated system: one item, the main application.
class SimLoginItems : public LoginItems {
  public:
    explicit SimLoginItems(SimDesktop& sim) : sim_(sim) {}

    LoginItemStatus mainAppStatus() override;
    std::optional<std::string> registerMainApp() override;
    std::optional<std::string> unregisterMainApp() override;

    LoginItemStatus status = LoginItemStatus::notRegistered;
    // register() fails with an error and changes nothing.
    bool refuseRegistration = false;
    // register() succeeds, but the user still has to approve the item.
    bool registrationRequiresApproval = false;
    bool refuseUnregistration = false;

  private:
    SimDesktop& sim_;
};

}  // namespace qv
