#include "app/QuillVorn.h"

#include "platform/Application.h"

namespace qv {

QuillVorn::QuillVorn(Platform& platform, SharedServices services, MainRuntimeSlots slots)
    : platform_(platform), services_(std::move(services)), slots_(std::move(slots)) {}

QuillVorn::~QuillVorn() = default;

void QuillVorn::main() {
    Application& app = platform_.application;
    app.setActivationPolicy(ActivationPolicy::accessory);
    coordinator_ = LaunchCoordinator::create(platform_, [this] { startMainRuntime(); });
    // Both are always read; neither asks the user anything.
    const bool trusted = platform_.accessibility.isProcessTrusted();
    const bool canRecord = platform_.screenCapture.preflightScreenCaptureAccess();
    if (trusted && canRecord) {
        coordinator_->startMainRuntimeIfPossible();
    } else {
        coordinator_->showPermissionsGate();
    }
    app.run();
}

void QuillVorn::startMainRuntime() {
    runtime_ =
        MainRuntime::create(platform_, services_.settings, services_.badges, services_.updater, slots_);
    runtime_->start();
}

}  // namespace qv
