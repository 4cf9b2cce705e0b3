// Opening the window switcher: Option-Tab pressed in the tap chain, the snapshot of the windows of
// 20 applications on one desktop (a fifth of them dialogs the store does not track, admitted
// through Accessibility), the grid laid out and the panel's display list built. With 100 windows
// every picture is cached and fresh, so no capture starts; with 2,000 the switcher's cache holds
// the last 120 pictures and the captures of the others are held unanswered, so only the opening
// itself is measured. The clock is carried past the show delay, so the delay itself is not
// measured.
#include <benchmark/benchmark.h>

#include "dispatch/ManualRuntime.h"
#include "model/BadgeService.h"
#include "previews/ThumbnailService.h"
#include "sim/SimDesktop.h"
#include "sim/SimScreenCapture.h"
#include "switcher/WindowSwitcherController.h"

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

    explicit SwitcherWorld(int windowCount) {
        sim.recordCalls = false;
        const uint32_t display = sim.addDisplay("Main", Rect{0, 0, 2560, 1440});
        const uint64_t space = sim.addSpace(display);
        std::vector<int32_t> apps;
        for (int a = 0; a < 20; ++a)
            apps.push_back(sim.launchApp(std::string("com.example.app") + std::to_string(a),
                                         "App " + std::to_string(a)));
        for (int w = 0; w < windowCount; ++w) {
            const bool dialog = w % 5 == 4;
            windows.push_back(
                sim.openWindow(apps[static_cast<size_t>(w % 20)], "Window " + std::to_string(w), space,
                               Rect{double(40 + (w * 7) % 1200), double(60 + (w * 5) % 600), 800, 600},
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

    // Every window's switcher picture taken younger than the switcher's refresh age; the cache keeps
    // the last of them. Captures asked meanwhile are held.
    void keepPicturesFresh() {
        if (runtime.now() - picturesTakenAt < WindowSwitcherController::kThumbnailMaxAge - 1) return;
        sim.screenCapture().setCaptureFault(CaptureFault::none);
        for (uint32_t id : windows) thumbnails->captureSwitcherThumbnail(id, nullptr, nullptr);
        runtime.runUntilIdle();
        sim.screenCapture().setCaptureFault(CaptureFault::hold);
        picturesTakenAt = runtime.now();
    }

    // Escape closes the switcher; what it asked is answered and dropped.
    void closeSwitcher() {
        sim.keyDown(53, "", eventflags::kAlternate);
        sim.keyUp(48, eventflags::kAlternate);
        sim.keyUp(53, eventflags::kAlternate);
        sim.flagsChanged(0);
        runtime.runUntilIdle();
        sim.screenCapture().releaseHeldCaptures(std::nullopt);
        runtime.runUntilIdle();
    }
};

void BM_OptionTabToDisplayList(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    SwitcherWorld world(count);
    world.keepPicturesFresh();
    const size_t cached = std::min<size_t>(world.windows.size(), ThumbnailService::kMaxSwitcherCacheSize);
    for (auto _ : state) {
        world.sim.flagsChanged(eventflags::kAlternate);
        world.sim.keyDown(48, "\t", eventflags::kAlternate);
        world.runtime.runUntilIdle();
        world.runtime.advance(WindowSwitcherController::kShowDelay);
        world.controller->panel()->contentView()->layoutNow();
        benchmark::DoNotOptimize(world.controller->panel()->contentView()->displayList().ops.size());

        state.PauseTiming();
        if (world.controller->model().entries->size() != world.windows.size() ||
            !world.controller->panel()->isVisible())
            state.SkipWithError("the switcher did not open on every window");
        if (world.controller->model().thumbnails->size() != cached)
            state.SkipWithError("the switcher opened without its cached pictures");
        if (count <= 120 && world.thumbnails->runningSwitcherCaptures())
            state.SkipWithError("the switcher captured fresh pictures again");
        world.closeSwitcher();
        world.keepPicturesFresh();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OptionTabToDisplayList)
    ->Arg(100)
    ->Arg(2000)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
