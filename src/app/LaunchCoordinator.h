#pragma once

#include <functional>
#include <memory>

#include "app/PermissionsGatePanel.h"
#include "platform/Platform.h"

namespace qv {

// Decides whether the runtime may start, keeps the permissions gate while it may not, and starts
// the runtime exactly once. Main thread.
class LaunchCoordinator : public std::enable_shared_from_this<LaunchCoordinator> {
    struct Token {};

  public:
    // `startMainRuntime` builds and starts the runtime.
    static std::shared_ptr<LaunchCoordinator> create(Platform& platform,
                                                     std::function<void()> startMainRuntime);
    LaunchCoordinator(Token, Platform& platform, std::function<void()> startMainRuntime);

    bool didStartMainRuntime = false;
    std::shared_ptr<PermissionsGateWindowController> permissionsController;

    // Starts the runtime when both permissions are granted now; safe to call any number of times.
    void startMainRuntimeIfPossible();
    // Opens the gate, whose "continue" asks again and whose quit terminates the application.
    void showPermissionsGate();

  private:
    Platform& platform_;
    std::function<void()> startMainRuntime_;
};

}  // namespace qv
