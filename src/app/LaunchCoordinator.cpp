#include "app/LaunchCoordinator.h"

#include "app/PermissionsGateModel.h"
#include "platform/Application.h"

namespace qv {

std::shared_ptr<LaunchCoordinator> LaunchCoordinator::create(Platform& platform,
                                                             std::function<void()> startMainRuntime) {
    return std::make_shared<LaunchCoordinator>(Token{}, platform, std::move(startMainRuntime));
}

LaunchCoordinator::LaunchCoordinator(Token, Platform& platform, std::function<void()> startMainRuntime)
    : platform_(platform), startMainRuntime_(std::move(startMainRuntime)) {}

void LaunchCoordinator::startMainRuntimeIfPossible() {
    if (didStartMainRuntime) return;
    if (!LaunchPermissionsState::read(platform_).allGranted()) return;
    // Set before the gate closes and the runtime starts, so that a call made meanwhile does nothing.
    didStartMainRuntime = true;
    if (permissionsController) {
        permissionsController->close();
        permissionsController = nullptr;
    }
    if (startMainRuntime_) startMainRuntime_();
}

void LaunchCoordinator::showPermissionsGate() {
    std::weak_ptr<LaunchCoordinator> weak = weak_from_this();
    Application& application = platform_.application;
    permissionsController = PermissionsGateWindowController::create(
        platform_,
        [weak] {
            if (auto self = weak.lock()) self->startMainRuntimeIfPossible();
        },
        [&application] { application.terminate(); });
    permissionsController->show();
}

}  // namespace qv
