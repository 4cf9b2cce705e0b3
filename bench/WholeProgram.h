#pragma once

// The whole program on a simulated desktop, built and started as the program's entry point does,
// for the benchmarks that measure what one user action costs all of it.
#include <functional>
#include <memory>

#include "app/ProgramServices.h"
#include "app/ProgramSlots.h"
#include "app/QuillVorn.h"
#include "bar/BarManager.h"
#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"

namespace qv::bench {

struct WholeProgram {
    ManualRuntime runtime;
    SimDesktop sim{runtime};
    SharedServices services;
    std::unique_ptr<QuillVorn> program;

    // `world` builds what the program finds when it starts and `configure` the settings it reads;
    // the program then settles for `settle` seconds of the clock.
    explicit WholeProgram(const std::function<void(SimDesktop&)>& world,
                          const std::function<void(UserSettings&)>& configure = {}, Seconds settle = 10) {
        sim.recordCalls = false;
        world(sim);
        Platform& platform = sim.platform();
        services.settings = UserSettings::create(platform);
        UserSettings::setShared(services.settings);
        if (configure) configure(*services.settings);
        services.badges =
            std::make_shared<BadgeService>(runtime, platform.processes, platform.launchServices);
        BadgeService::setShared(services.badges);
        services.updater = std::make_shared<UpdaterService>(platform.updater);
        UpdaterService::setShared(services.updater);
        MainRuntimeSlots slots = programSlots(platform, services);
        fillDockAndWallpaperSlots(slots, platform, services.settings);
        installBarServices(platform, *services.settings);
        startThumbnailService(platform);
        installSettingsWindow(platform);
        program = std::make_unique<QuillVorn>(platform, services, std::move(slots));
        program->main();
        runtime.runUntilIdle();
        runtime.advance(settle);
    }
    ~WholeProgram() {
        program.reset();
        releaseProgramServices();
        UpdaterService::setShared(nullptr);
        BadgeService::setShared(nullptr);
        UserSettings::setShared(nullptr);
    }

    BarManager& bar() { return *std::dynamic_pointer_cast<BarManager>(program->mainRuntime()->barManager); }
};

}  // namespace qv::bench
