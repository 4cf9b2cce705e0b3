// One avoidance pass over 500 tracked windows on three displays with bars and a fourth display
// showing a mirror bar, as every window-store change schedules it.
#include <benchmark/benchmark.h>

#include "bar/WindowAvoidanceManager.h"
#include "dispatch/ManualRuntime.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

struct BusyDesktop {
    ManualRuntime rt;
    SimDesktop sim{rt};
    std::shared_ptr<WindowStore> store;
    std::set<uint64_t> panelSpaces;
    std::shared_ptr<WindowAvoidanceManager> manager;
    BusyDesktop();
};

BusyDesktop::BusyDesktop() {
    sim.recordCalls = false;  // a log of every call would grow without bound
    const std::vector<uint32_t> displays = {sim.addDisplay("Main", Rect{0, 0, 2560, 1440}),
                                            sim.addDisplay("Left", Rect{-1920, 0, 1920, 1080}),
                                            sim.addDisplay("Right", Rect{2560, 0, 1920, 1200})};
    sim.addDisplay("Projector", Rect{0, 1440, 1280, 720});  // no desktops of its own: a mirror bar
    std::vector<uint64_t> spaces;
    for (uint32_t d : displays) {
        spaces.push_back(sim.addSpace(d));
        sim.addSpace(d);
    }
    std::vector<int32_t> apps;
    for (int i = 0; i < 10; ++i) {
        const int32_t pid = sim.launchApp("com.example.app" + std::to_string(i), "App " + std::to_string(i));
        sim.accessibility().faults(pid).refusedWrites.insert("AXSize");  // every pass finds work again
        apps.push_back(pid);
    }
    for (int i = 0; i < 500; ++i) {
        const SimDisplay* d = sim.display(displays[size_t(i) % displays.size()]);
        // One window in five reaches under the bar.
        const double height = i % 5 == 0 ? d->frame.height() - 40 : 500;
        SimWindowSpec spec;
        spec.pid = apps[size_t(i) % apps.size()];
        spec.title = "Window " + std::to_string(i);
        spec.frame = Rect{d->frame.minX() + double(7 * (i % 60)), double(3 * (i % 10)), 900, height};
        spec.space = spaces[size_t(i) % spaces.size()];
        sim.openWindow(spec);
    }
    store = WindowStore::create(sim.platform());
    store->populate();
    rt.runUntilIdle();  // the applications' answers are in
    panelSpaces = std::set<uint64_t>(spaces.begin(), spaces.end());
    manager = WindowAvoidanceManager::make(
        sim.platform(), store, [this] { return panelSpaces; }, [] { return std::vector<int64_t>{3}; },
        BarSize::medium);
}

void BM_AdjustNow500WindowsOnThreeDisplaysAndAMirror(benchmark::State& state) {
    BusyDesktop p;
    if (p.store->windows().size() != 500) state.SkipWithError("not every window was tracked");
    size_t requests = 0;
    for (auto _ : state) {
        requests = p.manager->adjustNow().size();
        state.PauseTiming();
        p.rt.runUntilIdle();  // the resizes run on their own queue, outside the pass
        state.ResumeTiming();
    }
    state.counters["requests"] = double(requests);
}
BENCHMARK(BM_AdjustNow500WindowsOnThreeDisplaysAndAMirror)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
