#pragma once

#include <memory>

#include "app/LaunchCoordinator.h"
#include "app/MainRuntime.h"

namespace qv {

// The program's single shared instances, made by the composition root.
struct SharedServices {
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<BadgeService> badges;
    std::shared_ptr<UpdaterService> updater;
};

// The program: brings the application up as an accessory application, waits behind the
// permissions gate while a permission is missing, and starts the main runtime once.
class QuillVorn {
  public:
    QuillVorn(Platform& platform, SharedServices services, MainRuntimeSlots slots = {});
    ~QuillVorn();
    QuillVorn(const QuillVorn&) = delete;
    QuillVorn& operator=(const QuillVorn&) = delete;

    // The entry point's steps: the accessory policy, the coordinator, both permissions read, the
    // runtime or the gate, then the application's run loop.
    void main();

    const std::shared_ptr<LaunchCoordinator>& coordinator() const { return coordinator_; }
    // None until the runtime has started.
    const std::shared_ptr<MainRuntime>& mainRuntime() const { return runtime_; }

  private:
    void startMainRuntime();

    Platform& platform_;
    SharedServices services_;
    MainRuntimeSlots slots_;
    std::shared_ptr<LaunchCoordinator> coordinator_;
    std::shared_ptr<MainRuntime> runtime_;
};

}  // namespace qv
