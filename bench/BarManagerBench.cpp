// The bar manager's sync on every desktop change and wake: three displays with 16 desktops each and
// a fourth without desktops of its own, which mirrors all 48 bars.
#include <benchmark/benchmark.h>

#include "bar/BarManager.h"
#include "dispatch/ManualRuntime.h"
#include "launcher/HotkeyManager.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

constexpr int kDesktopsPerDisplay = 16;

struct Desk {
    ManualRuntime runtime;
    SimDesktop sim{runtime};
    uint32_t first = 0;
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<BarManager> bar;

    Desk() {
        sim.recordCalls = false;
        const std::vector<Rect> frames = {{0, 0, 2560, 1440}, {2560, 0, 1920, 1080}, {-1920, 0, 1920, 1200}};
        for (const Rect& frame : frames) {
            const uint32_t display = sim.addDisplay("Display", frame);
            if (!first) first = display;
            for (int i = 0; i < kDesktopsPerDisplay; ++i) sim.addSpace(display);
        }
        sim.addDisplay("Projector", Rect{4480, 0, 1280, 720});
        settings = UserSettings::create(sim.platform());
        settings->setShowOnAllDisplays(true);
        auto badges =
            std::make_shared<BadgeService>(runtime, sim.platform().processes, sim.platform().launchServices);
        auto store = WindowStore::create(sim.platform());
        // The shared services the bar reaches when it is made.
        MouseDisplayTracker::setShared(MouseDisplayTracker::create(sim.platform()));
        HotkeyManager::setShared(HotkeyManager::create(sim.platform(), *settings));
        bar =
            BarManager::create(sim.platform(), store, BarMetrics::forSize(BarSize::medium), settings, badges);
        runtime.runUntilIdle();
    }
    ~Desk() {
        bar.reset();
        HotkeyManager::setShared(nullptr);
        MouseDisplayTracker::setShared(nullptr);
    }
};

void BM_SyncPanelsNothingToChange(benchmark::State& state) {
    Desk desk;
    if (desk.bar->panels().size() != 48 || desk.bar->mirrorPanels().size() != 48)
        state.SkipWithError("bad set-up");
    for (auto _ : state) desk.bar->syncPanels();
}
BENCHMARK(BM_SyncPanelsNothingToChange)->Unit(benchmark::kMicrosecond);

void BM_SyncPanelsAddingADesktop(benchmark::State& state) {
    Desk desk;
    for (auto _ : state) {
        state.PauseTiming();
        const uint64_t added = desk.sim.addSpace(desk.first);
        state.ResumeTiming();
        desk.bar->syncPanels();  // its bar, and its mirror on the projector
        state.PauseTiming();
        desk.runtime.runUntilIdle();
        desk.sim.removeSpace(added);
        desk.bar->syncPanels();
        desk.runtime.runUntilIdle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SyncPanelsAddingADesktop)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
