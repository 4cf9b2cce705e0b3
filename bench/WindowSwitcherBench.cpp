// Opening the window switcher: Option-Tab pressed in the tap chain, the snapshot of 100 windows of
// 20 applications on one desktop (20 of them dialogs the store does not track, admitted through
// Accessibility), the grid laid out and the panel's display list built with every window's picture
// cached and fresh, so no capture starts. The clock is carried past the show delay, so the delay
// itself is not measured.
#include <benchmark/benchmark.h>

#include "model/BadgeService.h"
#include "platform/dispatch/ManualRuntime.h"
#include "platform/sim/SimDesktop.h"
#include "previews/ThumbnailService.h"
#include "previews/WindowSwitcherController.h"

namespace qv {
namespace {

struct SwitcherWorld {
    ManualRuntime runtime;
    SimDesktop sim{runtime};
    std::shared_ptr<WindowStore> store;
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<BarViewModel> viewModel;
    std::shared_ptr<ThumbnailService> thumbnails;
    std::shared_ptr<WindowSwitcherController> controller;
    std::vector<uint32_t> windows;
    Seconds picturesTakenAt = -1e9;

    SwitcherWorld() {
        sim.recordCalls = false;
        const uint32_t display = sim.addDisplay("Main", Rect{0, 0, 2560, 1440});
        const uint64_t space = sim.addSpace(display);
        std::vector<int32_t> apps;
        for (int a = 0; a < 20; ++a)
            apps.push_back(sim.launchApp(std::string("com.example.app") + std::to_string(a),
                                         "App " + std::to_string(a)));
        for (int w = 0; w < 100; ++w) {
            const bool dialog = w % 5 == 4;
            windows.push_back(sim.openWindow(apps[static_cast<size_t>(w % 20)], "Window " + std::to_string(w),
                                             space, Rect{double(40 + w * 7), double(60 + w * 5), 800, 600},
                                             [&](SimWindowSpec& s) {
                                                 if (dialog) s.subrole = "AXDialog";
                                             }));
        }
        sim.activateApp(apps.front());
        sim.mouseMove(Point{1280, 720});
        store = WindowStore::create(sim.platform());
        store->populate();
        runtime.runUntilIdle();  // the applications' answers are in
        settings = UserSettings::create(sim.platform());
        settings->setWindowSwitcherEnabled(true);
        auto badges =
            std::make_shared<BadgeService>(runtime, sim.platform().processes, sim.platform().launchServices);
        viewModel = BarViewModel::create(sim.platform(), store, settings, badges);
        thumbnails = ThumbnailService::create(runtime, sim.platform().screenCapture);
        controller = WindowSwitcherController::create(sim.platform(), store, viewModel, settings, thumbnails);
        runtime.runUntilIdle();
    }

    // Every window's switcher picture younger than the switcher's refresh age.
    void keepPicturesFresh() {
        if (runtime.now() - picturesTakenAt < WindowSwitcherController::kThumbnailMaxAge - 1) return;
        for (uint32_t id : windows) thumbnails->captureSwitcherThumbnail(id, nullptr, nullptr);
        runtime.runUntilIdle();
        picturesTakenAt = runtime.now();
    }
};

void BM_OptionTabToDisplayList(benchmark::State& state) {
    SwitcherWorld world;
    world.keepPicturesFresh();
    for (auto _ : state) {
        world.sim.flagsChanged(eventflags::kAlternate);
        world.sim.keyDown(48, "\t", eventflags::kAlternate);
        world.runtime.runUntilIdle();
        world.runtime.advance(WindowSwitcherController::kShowDelay);
        world.controller->panel()->contentView()->layoutNow();
        benchmark::DoNotOptimize(world.controller->panel()->contentView()->displayList().ops.size());

        state.PauseTiming();
        if (world.controller->model().entries->size() != 100 || !world.controller->panel()->isVisible())
            state.SkipWithError("the switcher did not open on 100 windows");
        if (world.controller->model().thumbnails->size() != 100 ||
            world.thumbnails->runningSwitcherCaptures())
            state.SkipWithError("the switcher opened without its cached pictures");
        world.sim.keyDown(53, "", eventflags::kAlternate);
        world.sim.keyUp(48, eventflags::kAlternate);
        world.sim.keyUp(53, eventflags::kAlternate);
        world.sim.flagsChanged(0);
        world.runtime.runUntilIdle();
        world.keepPicturesFresh();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OptionTabToDisplayList)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
