#pragma once

#include <optional>
#include <string>

namespace qv {

// SMAppService.Status, with the service's raw values.
enum class LoginItemStatus : int { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

// The login-item service for the main application (SMAppService.mainAppService).
class LoginItems {
  public:
    virtual ~LoginItems() = default;
    virtual LoginItemStatus mainAppStatus() = 0;
    // register() and unregister(); they answer the service's error text when they throw.
    virtual std::optional<std::string> registerMainApp() = 0;
    virtual std::optional<std::string> unregisterMainApp() = 0;
};

}  // namespace qv
